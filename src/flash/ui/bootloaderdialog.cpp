#include "flash/ui/bootloaderdialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vork {

BootLoaderDialog::BootLoaderDialog(QWidget *parent)
    : QDialog(parent), m_manager(new QRadioButton(QStringLiteral("Boot Loader Manager"))),
      m_a(new QRadioButton(QStringLiteral("Boot Loader A"))), m_b(new QRadioButton(QStringLiteral("Boot Loader B"))),
      m_primary(new QCheckBox(QStringLiteral("Make Primary"))), m_ok(new QPushButton(QStringLiteral("OK")))
{
    setWindowTitle(QStringLiteral("Flash"));
    setModal(true);
    auto *group = new QGroupBox(QStringLiteral("Select"), this);
    auto *radios = new QVBoxLayout(group);
    auto *buttons = new QButtonGroup(this);
    for (QRadioButton *r : {m_manager, m_a, m_b}) {
        radios->addWidget(r);
        buttons->addButton(r);
        connect(r, &QRadioButton::toggled, this, &BootLoaderDialog::follow);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(m_primary);
    layout->addWidget(m_ok);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    reset();
}

void BootLoaderDialog::reset()
{
    // An exclusive group cannot have all of its buttons cleared.
    if (QButtonGroup *g = m_manager->group()) {
        g->setExclusive(false);
        for (QAbstractButton *b : g->buttons())
            b->setChecked(false);
        g->setExclusive(true);
    }
    m_primary->setChecked(false);
    follow();
}

void BootLoaderDialog::follow()
{
    // Only a region of its own can become the primary one.
    const bool region = m_a->isChecked() || m_b->isChecked();
    m_primary->setEnabled(region);
    if (!region)
        m_primary->setChecked(false);
}

BootLoaderChoice BootLoaderDialog::choice() const
{
    BootLoaderChoice c;
    if (m_manager->isChecked())
        c.region = BootLoaderChoice::Region::Manager;
    else if (m_a->isChecked())
        c.region = BootLoaderChoice::Region::A;
    else if (m_b->isChecked())
        c.region = BootLoaderChoice::Region::B;
    c.makePrimary = c.region != BootLoaderChoice::Region::Manager && c.region != BootLoaderChoice::Region::None
                    && m_primary->isChecked();
    return c;
}

bool BootLoaderDialog::ask(QWidget *parent, BootLoaderChoice &choice)
{
    BootLoaderDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    choice = dialog.choice();
    return choice.region != BootLoaderChoice::Region::None;
}

} // namespace vork
