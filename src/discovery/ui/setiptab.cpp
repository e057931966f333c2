#include "discovery/ui/setiptab.h"

#include "discovery/factoryreset.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace vork {

SetIpTab::SetIpTab(SetIp &setIp, FactoryReset &reset, QWidget *parent)
    : QWidget(parent), m_setIp(setIp), m_resetter(reset)
{
    auto *macRow = new QHBoxLayout;
    const char *defaults[] = {"00", "50", "C2", "2C", "", ""};
    const QRegularExpression hex(QStringLiteral("[0-9a-fA-F]{0,2}"));
    for (int i = 0; i < 6; ++i) {
        auto *box = new QLineEdit(QString::fromLatin1(defaults[i]), this);
        box->setObjectName(QStringLiteral("mac%1").arg(i + 1));
        box->setMaxLength(2);
        box->setValidator(new QRegularExpressionValidator(hex, box));
        box->setFixedWidth(32);
        box->installEventFilter(this);
        connect(box, &QLineEdit::textEdited, this, [this, box, i](const QString &text) {
            const QString upper = text.toUpper();
            if (upper != text)
                box->setText(upper);
            if (upper.size() == 2 && i < 5)
                m_mac[std::size_t(i + 1)]->setFocus();
        });
        m_mac[std::size_t(i)] = box;
        if (i > 0)
            macRow->addWidget(new QLabel(QStringLiteral("-"), this));
        macRow->addWidget(box);
    }
    macRow->addStretch();

    m_ip = new QLineEdit(QStringLiteral("0.0.0.0"), this);
    m_ip->setObjectName(QStringLiteral("newIp"));
    m_mask = new QComboBox(this);
    m_mask->setObjectName(QStringLiteral("subnetMask"));
    m_mask->setEditable(true);
    m_mask->addItems({QStringLiteral("255.255.255.0"), QStringLiteral("255.255.0.0"), QStringLiteral("255.0.0.0")});
    m_mask->setCurrentIndex(0);
    m_gateway = new QLineEdit(QStringLiteral("0.0.0.0"), this);
    m_gateway->setObjectName(QStringLiteral("gateway"));

    m_set = new QPushButton(QStringLiteral("Set IP Address"), this);
    m_set->setObjectName(QStringLiteral("setIpButton"));
    m_reset = new QPushButton(QStringLiteral("Factory Reset"), this);
    m_reset->setObjectName(QStringLiteral("factoryResetButton"));
    m_reset->setToolTip(QStringLiteral("Reset specified unit to factory defaults"));
    m_guide = new QPushButton(QStringLiteral("Guide Me"), this);
    m_guide->setObjectName(QStringLiteral("guideMeButton"));
    m_guide->setVisible(false);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, SetIp::progressMax);
    m_progress->setValue(0);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("MAC Address"), macRow);
    form->addRow(QStringLiteral("New IP Address"), m_ip);
    form->addRow(QStringLiteral("Subnet Mask"), m_mask);
    form->addRow(QStringLiteral("Default Gateway"), m_gateway);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_set);
    buttons->addWidget(m_guide);
    buttons->addStretch();
    buttons->addWidget(m_reset);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(m_progress);
    layout->addStretch();

    connect(m_ip, &QLineEdit::returnPressed, this, [this] { m_mask->setFocus(); });
    connect(m_mask->lineEdit(), &QLineEdit::returnPressed, this, [this] { m_gateway->setFocus(); });
    connect(m_gateway, &QLineEdit::returnPressed, this, [this] { m_set->setFocus(); });
    connect(m_set, &QPushButton::clicked, this, [this] {
        m_set->setEnabled(false);
        QPointer<SetIpTab> self(this);
        m_setIp.start(request());
        if (self)
            m_set->setEnabled(true);
    });
    connect(m_reset, &QPushButton::clicked, this, [this] { m_resetter.run(); });
    connect(m_guide, &QPushButton::clicked, this, &SetIpTab::guideMeRequested);
    connect(&m_setIp, &SetIp::progressChanged, m_progress, &QProgressBar::setValue);
    connect(&m_setIp, &SetIp::guideMeEnabled, m_guide, &QPushButton::setEnabled);
}

void SetIpTab::setGuideAvailable(bool available)
{
    m_guide->setVisible(available);
}

SetIp::Request SetIpTab::request() const
{
    SetIp::Request r;
    for (int i = 0; i < 6; ++i)
        r.mac[std::size_t(i)] = m_mac[std::size_t(i)]->text();
    r.ip = m_ip->text().trimmed();
    r.mask = m_mask->currentText().trimmed();
    r.gateway = m_gateway->text().trimmed();
    return r;
}

void SetIpTab::entered(bool guideShowing)
{
    m_progress->setValue(0);
    m_guide->setEnabled(!guideShowing);
    m_mac[0]->setFocus();
}

bool SetIpTab::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Backspace) {
        for (int i = 1; i < 6; ++i) {
            if (watched == m_mac[std::size_t(i)] && m_mac[std::size_t(i)]->text().isEmpty()) {
                m_mac[std::size_t(i - 1)]->setFocus();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vork
