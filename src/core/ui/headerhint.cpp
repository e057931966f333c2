#include "core/ui/headerhint.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>

namespace vork {

bool headerHintEvent(QHeaderView *header, QEvent *event, const std::function<QString(int column)> &hint)
{
    if (event->type() == QEvent::MouseMove) {
        const int column = header->logicalIndexAt(static_cast<QMouseEvent *>(event)->position().toPoint());
        if (hint(column).isEmpty())
            header->viewport()->unsetCursor();
        else
            header->viewport()->setCursor(Qt::PointingHandCursor);
        return false;
    }
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = hint(header->logicalIndexAt(help->pos()));
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, header->viewport());
        return true;
    }
    return false;
}

} // namespace vork
