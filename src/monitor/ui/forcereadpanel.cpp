#include "monitor/ui/forcereadpanel.h"

#include "monitor/forceread.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace vork {

ForceReadPanel::ForceReadPanel(ForceRead &force, QWidget *parent)
    : QWidget(parent), m_forceRead(force), m_unit(new QComboBox(this)), m_reader(new QSpinBox(this)),
      m_label(new QSpinBox(this)), m_delay(new QSpinBox(this)), m_force(new QPushButton(this)),
      m_test(new QPushButton(QStringLiteral("TEST"), this)),
      m_infinite(new QCheckBox(QStringLiteral("Infinite Loop"), this))
{
    m_reader->setRange(0, ForceRead::maxReader);
    m_label->setRange(0, ForceRead::maxLabel);
    m_label->setToolTip(QStringLiteral("Max Label 16383"));
    m_label->findChild<QLineEdit *>()->installEventFilter(this);
    m_delay->setRange(0, ForceRead::maxDelaySeconds);
    m_delay->setValue(force.delay());
    m_delay->setToolTip(QStringLiteral("Delay Between Forced Reads in Test Mode (secs)"));
    m_force->setToolTip(QStringLiteral("Force a Read on the Connected Vork Unit"));
    m_test->setCheckable(true);
    m_test->setToolTip(QStringLiteral("TEST mode: Auto-Increment Label and Force a Read at a Specified Interval"));
    m_infinite->setToolTip(QStringLiteral("Start over when max label is forced"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Unit"), m_unit);
    form->addRow(QStringLiteral("Reader"), m_reader);
    form->addRow(QStringLiteral("Label"), m_label);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_force);
    buttons->addWidget(m_test);
    buttons->addWidget(new QWidget(this));
    auto *test = new QFormLayout;
    test->addRow(QStringLiteral("Delay (s)"), m_delay);
    test->addRow(m_infinite);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addLayout(test);
    layout->addStretch(1);

    connect(m_unit, &QComboBox::currentTextChanged, &force, &ForceRead::setUnitAddress);
    connect(m_reader, &QSpinBox::valueChanged, &force, &ForceRead::setReader);
    connect(m_label, &QSpinBox::valueChanged, this, [this](int label) {
        m_forceRead.setLabel(label);
        follow();
    });
    connect(m_delay, &QSpinBox::valueChanged, &force, &ForceRead::setDelay);
    connect(m_infinite, &QCheckBox::toggled, &force, &ForceRead::setInfiniteLoop);
    connect(m_force, &QPushButton::clicked, &force, &ForceRead::force);
    connect(m_test, &QPushButton::toggled, this, [this](bool on) {
        if (on != m_forceRead.testMode())
            m_forceRead.setTestMode(on);
        follow();
    });
    connect(&force, &ForceRead::labelChanged, this, [this](int label) {
        const QSignalBlocker block(m_label);
        m_label->setValue(label);
        follow();
    });
    connect(&force, &ForceRead::stateChanged, this, &ForceReadPanel::follow);
    follow();
}

void ForceReadPanel::follow()
{
    m_force->setText(m_forceRead.buttonCaption());
    {
        const QSignalBlocker block(m_test);
        m_test->setChecked(m_forceRead.testMode());
    }
    m_force->setEnabled(m_forceRead.canForce());
    m_test->setEnabled(m_forceRead.canForce());
}

bool ForceReadPanel::eventFilter(QObject *watched, QEvent *event)
{
    // A double click on the label sets it to 1.
    if (event->type() == QEvent::MouseButtonDblClick && watched == m_label->findChild<QLineEdit *>()) {
        m_label->setValue(1);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vork
