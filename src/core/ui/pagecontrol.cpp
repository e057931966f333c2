#include "core/ui/pagecontrol.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTabBar>

namespace vork {

PageControl::PageControl(QWidget *parent) : QTabWidget(parent)
{
    tabBar()->installEventFilter(this);
    // Reachable by Tab; its arrow keys go through the request like a click.
    tabBar()->setFocusPolicy(Qt::TabFocus);
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
        case QEvent::KeyPress: {
            const int to = keyTarget(static_cast<QKeyEvent *>(event)->key());
            if (to == -2)
                break;
            if (to >= 0)
                requestPage(to);
            return true;
        }
        default:
            break;
        }
    }
    return QTabWidget::eventFilter(watched, event);
}

int PageControl::keyTarget(int key) const
{
    const auto usable = [this](int i) { return tabBar()->isTabVisible(i) && tabBar()->isTabEnabled(i); };
    int step = 0;
    int from = currentIndex();
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Up: step = -1; break;
    case Qt::Key_Right:
    case Qt::Key_Down: step = 1; break;
    case Qt::Key_Home: step = 1; from = -1; break;
    case Qt::Key_End: step = -1; from = count(); break;
    default: return -2; // not a key that changes the page
    }
    for (int i = from + step; i >= 0 && i < count(); i += step)
        if (usable(i))
            return i;
    return -1;
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
