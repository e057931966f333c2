#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;

namespace vork {

class ForceRead;

// "Force Read  ": a label forced on a reader of the chosen unit, once or in test mode.
class ForceReadPanel : public QWidget
{
    Q_OBJECT
public:
    ForceReadPanel(ForceRead &force, QWidget *parent = nullptr);

    QComboBox *unitChoice() const { return m_unit; }
    QSpinBox *readerField() const { return m_reader; }
    QSpinBox *labelField() const { return m_label; }
    QSpinBox *delayField() const { return m_delay; }
    QPushButton *forceButton() const { return m_force; }
    QPushButton *testToggle() const { return m_test; }
    QCheckBox *infiniteLoop() const { return m_infinite; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow();

    ForceRead &m_forceRead;
    QComboBox *m_unit;
    QSpinBox *m_reader;
    QSpinBox *m_label;
    QSpinBox *m_delay;
    QPushButton *m_force;
    QPushButton *m_test;
    QCheckBox *m_infinite;
};

} // namespace vork
