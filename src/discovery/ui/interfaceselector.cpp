#include "discovery/ui/interfaceselector.h"

#include "core/operator.h"
#include "discovery/broadcast.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

namespace vork {

InterfaceSelector::InterfaceSelector(Operator &op, TBroadcast &transport, const QStringList &addresses,
                                     QWidget *parent)
    : QWidget(parent), m_op(op), m_transport(transport), m_choice(new QComboBox(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("Interface"), this));
    layout->addWidget(m_choice);
    m_choice->setObjectName(QStringLiteral("cmbNetworkInterfaces"));
    m_choice->addItems(addresses);
    if (!addresses.isEmpty())
        m_transport.setLocalIP(addresses.first());
    connect(m_choice, &QComboBox::activated, this, [this](int index) {
        const QString address = m_choice->itemText(index);
        m_op.tone(Tone::CheckBox);
        m_transport.setLocalIP(address);
        Q_EMIT picked(address);
    });
}

void InterfaceSelector::applyStored(const QString &address)
{
    const int i = m_choice->findText(address, Qt::MatchExactly);
    if (i < 0)
        return;
    m_choice->setCurrentIndex(i);
    m_transport.setLocalIP(address);
}

} // namespace vork
