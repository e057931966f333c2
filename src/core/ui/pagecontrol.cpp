#include "core/ui/pagecontrol.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTabBar>

namespace vork {

PageControl::PageControl(QWidget *parent) : QTabWidget(parent)
{
    tabBar()->installEventFilter(this);
    tabBar()->setFocusPolicy(Qt::NoFocus);
}

bool PageControl::allowed(int to)
{
    return to < 0 || to == currentIndex() || !m_request || m_request(currentIndex(), to);
}

bool PageControl::requestPage(int index)
{
    if (index < 0 || index >= count() || !allowed(index))
        return false;
    setCurrentIndex(index);
    return true;
}

bool PageControl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == tabBar()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const auto *me = static_cast<QMouseEvent *>(event);
            const int to = tabBar()->tabAt(me->position().toPoint());
            if (me->button() == Qt::LeftButton && to >= 0 && to != currentIndex()) {
                requestPage(to);
                return true;
            }
            break;
        }
        case QEvent::Wheel:
            return true; // the wheel never flips pages
        default:
            break;
        }
    }
    return QTabWidget::eventFilter(watched, event);
}

void PageControl::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Tab && (event->modifiers() & Qt::ControlModifier)) {
        requestPage((currentIndex() + 1) % count());
        return;
    }
    if (event->key() == Qt::Key_Backtab && (event->modifiers() & Qt::ControlModifier)) {
        requestPage((currentIndex() + count() - 1) % count());
        return;
    }
    QTabWidget::keyPressEvent(event);
}

} // namespace vork
