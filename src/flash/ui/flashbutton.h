#pragma once

#include "flash/ui/flashpictures.h"

#include <QImage>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <array>

namespace vork {

class Operator;

// The flash button picture: four states, two active regions (program flash and
// boot-loader flash). A click on a region shows its pressed state for a while and
// asks for a run; anywhere else it starts nothing. The keyboard reaches both
// regions: Up and Down choose one, Return or Space presses it.
class FlashButton : public QWidget
{
    Q_OBJECT
public:
    enum State { Disabled = 0, Ready = 1, ProgramPressed = 2, BootLoaderPressed = 3 };
    enum class Region { None, Program, BootLoader };
    static constexpr int pressedShownMs = 400;

    explicit FlashButton(Operator &op, QWidget *parent = nullptr);

    static QRect programRegion() { return QRect(QPoint(40, 52), QPoint(72, 77)); }
    static QRect bootLoaderRegion() { return QRect(QPoint(40, 112), QPoint(72, 138)); }
    static QString hint() { return QStringLiteral("Flash to Alternate Location"); }
    static Region regionAt(const QPoint &pos);

    State state() const { return m_state; }
    void setState(State state);
    // While a run goes on the picture takes no clicks, whatever it shows.
    void setBlocked(bool blocked);
    bool blocked() const { return m_blocked; }
    Region hovered() const { return m_hovered; }
    // The region latched by the last press (the flash mode of the next run).
    Region latched() const { return m_latched; }
    const QImage &picture(State state) const { return m_pictures[std::size_t(state)]; }

    QSize sizeHint() const override;

Q_SIGNALS:
    // A region was clicked: the page starts a run in that mode.
    void flashRequested(vork::FlashButton::Region region);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void hover(Region region);
    void click();

    Operator &m_op;
    std::array<QImage, 4> m_pictures;
    State m_state = Disabled;
    Region m_hovered = Region::None;
    Region m_latched = Region::None;
    bool m_pressed = false;
    bool m_blocked = false;
    QTimer m_back;
};

} // namespace vork
