#include "app/ui/hinttiming.h"

#include <QApplication>
#include <QHelpEvent>
#include <QProxyStyle>
#include <QToolTip>
#include <QWidget>

namespace vork {

namespace {
class HintStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay)
            return HintTiming::showDelayMs;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
} // namespace

void HintTiming::install(QApplication &app)
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QApplication::setStyle(new HintStyle);
    app.installEventFilter(new HintTiming(&app));
}

bool HintTiming::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    // Widgets that set their own duration, or draw their own hints, keep them.
    if (!widget || widget->toolTip().isEmpty() || widget->toolTipDuration() > 0)
        return false;
    const auto *help = static_cast<QHelpEvent *>(event);
    QToolTip::showText(help->globalPos(), widget->toolTip(), widget, {}, shownMs);
    return true;
}

} // namespace vork
