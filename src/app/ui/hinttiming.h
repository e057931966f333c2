#pragma once

#include <QObject>

class QApplication;

namespace vork {

// Hints show 150 ms after the pointer stops and stay 4 s.
class HintTiming : public QObject
{
    Q_OBJECT
public:
    static constexpr int showDelayMs = 150;
    static constexpr int shownMs = 4000;

    // Applies the timing to every widget of the application.
    static void install(QApplication &app);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};

} // namespace vork
