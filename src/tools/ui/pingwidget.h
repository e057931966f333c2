#pragma once

#include "tools/pingtool.h"

#include <QColor>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vork {

// The ping field, button and result label of one place. The "Manual " variant
// adds "Connect ?" and colours its result; the page around it decides what
// "Connect ?" does.
class PingWidget : public QWidget
{
    Q_OBJECT
public:
    static inline const QColor foundColor{0, 128, 0};
    static inline const QColor notFoundColor{255, 0, 0};
    static inline const QColor plainColor{0, 0, 0};

    PingWidget(PingTool &tool, PingTool::Place place, QWidget *parent = nullptr);

    QLineEdit *addressField() const { return m_field; }
    QPushButton *pingButton() const { return m_button; }
    QLabel *resultLabel() const { return m_result; }
    // Only on the "Manual " variant.
    QPushButton *connectButton() const { return m_connect; }

Q_SIGNALS:
    void connectRequested();

private:
    void refresh();

    PingTool &m_tool;
    PingTool::Place m_place;
    QLineEdit *m_field;
    QPushButton *m_button;
    QLabel *m_result;
    QPushButton *m_connect = nullptr;
};

} // namespace vork
