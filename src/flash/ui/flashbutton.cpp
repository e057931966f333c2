#include "flash/ui/flashbutton.h"

#include "core/operator.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace vork {

FlashButton::FlashButton(Operator &op, QWidget *parent) : QWidget(parent), m_op(op)
{
    using flashpictures::Picture;
    m_pictures = {flashpictures::image(Picture::ButtonDisabled, op), flashpictures::image(Picture::ButtonReady, op),
                  flashpictures::image(Picture::ButtonProgramPressed, op),
                  flashpictures::image(Picture::ButtonBootLoaderPressed, op)};
    setObjectName(QStringLiteral("Iflashbtns"));
    setToolTip(hint());
    setAccessibleName(hint());
    setAccessibleDescription(QStringLiteral("Up: program flash, Down: boot-loader flash, Return: flash"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(m_pictures[0].size());
    setEnabled(false);
    m_back.setSingleShot(true);
    m_back.setInterval(pressedShownMs);
    connect(&m_back, &QTimer::timeout, this, [this] {
        if (m_state == ProgramPressed || m_state == BootLoaderPressed)
            setState(Ready);
    });
}

QSize FlashButton::sizeHint() const
{
    return m_pictures[0].size();
}

FlashButton::Region FlashButton::regionAt(const QPoint &pos)
{
    if (programRegion().contains(pos))
        return Region::Program;
    if (bootLoaderRegion().contains(pos))
        return Region::BootLoader;
    return Region::None;
}

void FlashButton::setState(State state)
{
    m_state = state;
    // State 0 is the disabled control: nothing to flash yet.
    setEnabled(state != Disabled && !m_blocked);
    if (state != Ready)
        hover(Region::None);
    update();
}

void FlashButton::setBlocked(bool blocked)
{
    m_blocked = blocked;
    setState(m_state);
}

void FlashButton::hover(Region region)
{
    m_hovered = region;
    setCursor(region == Region::None ? Qt::ArrowCursor : Qt::PointingHandCursor);
    update();
}

void FlashButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawImage(0, 0, m_pictures[std::size_t(m_state)]);
    // The region the keyboard or the mouse points at.
    if (m_hovered != Region::None && (hasFocus() || underMouse())) {
        p.setPen(QPen(palette().highlight().color(), 2, Qt::DotLine));
        p.drawRect((m_hovered == Region::Program ? programRegion() : bootLoaderRegion()).adjusted(-3, -3, 3, 3));
    }
}

void FlashButton::mouseMoveEvent(QMouseEvent *event)
{
    if (m_state == Ready)
        hover(regionAt(event->position().toPoint()));
}

void FlashButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // A press without a move before it still names the region under it.
    if (m_state == Ready)
        hover(regionAt(event->position().toPoint()));
    m_latched = m_state == Ready ? m_hovered : Region::None;
    m_pressed = true;
}

void FlashButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    if (rect().contains(event->position().toPoint()))
        click();
}

void FlashButton::leaveEvent(QEvent *)
{
    if (!hasFocus())
        hover(Region::None);
}

void FlashButton::focusOutEvent(QFocusEvent *)
{
    if (!underMouse())
        hover(Region::None);
}

void FlashButton::keyPressEvent(QKeyEvent *event)
{
    if (m_state != Ready) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Up:
        hover(Region::Program);
        break;
    case Qt::Key_Down:
        hover(Region::BootLoader);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        m_latched = m_hovered;
        click();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void FlashButton::click()
{
    m_op.tone(Tone::Button);
    const Region region = m_latched;
    if (region == Region::None)
        return;
    setState(region == Region::Program ? ProgramPressed : BootLoaderPressed);
    m_back.start();
    Q_EMIT flashRequested(region);
}

} // namespace vork
