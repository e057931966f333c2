#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace vork {

class Operator;
class Pinger;

// The operator's ping tools: the DISCOVER toolbar's field and button, and the
// "Manual " page's field, "Ping" button and "Connect ?" button. Widgets show
// this state and forward the operator's actions; one 3-second reset timer
// serves both.
class PingTool : public QObject
{
    Q_OBJECT
public:
    enum class Place { Toolbar, Manual };
    enum class Result { None, Found, NotFound };
    // The page showing when the reset timer fires.
    enum class Showing { DiscoverTab, ManualTab, Elsewhere };

    static constexpr int pingTimeoutMs = 200;
    static constexpr int resetMs = 3000;

    static QString invalidAddressText() { return QStringLiteral("Invalid IP address entered"); }
    static QString resultText(Result r);

    PingTool(Operator &op, Pinger &pinger, QObject *parent = nullptr);

    // The IP field's text changed.
    void setAddress(Place place, const QString &text);
    QString address(Place place) const { return state(place).address; }

    // The button (toolbar) or "Ping" (Manual) was pressed; Enter in the Manual field does the same.
    void press(Place place);

    bool pingEnabled(Place place) const { return state(place).pingEnabled; }
    Result result(Place place) const { return state(place).result; }
    bool connectEnabled() const { return m_connectEnabled; }
    bool pinging() const { return m_pinging; }

    QTimer &resetTimer() { return m_reset; }
    // Tests shorten the reset.
    void setResetInterval(int ms) { m_reset.setInterval(ms); }

    // Asked when the reset timer fires; the discovery tab by default.
    std::function<Showing()> showing;

Q_SIGNALS:
    // Something shown at this place changed; views re-read the state.
    void changed(vork::PingTool::Place place);
    void focusAddress(vork::PingTool::Place place);
    void focusConnect();
    // The reset fired while the "Manual " tab was not showing: the general time-out.
    void timedOut();
    // A ping starts: the console's telnet connection, when one is open, closes first.
    void telnetCloseRequested();

private:
    struct State
    {
        QString address;
        bool pingEnabled = false;
        Result result = Result::None;
    };
    State &state(Place place) { return place == Place::Toolbar ? m_toolbar : m_manual; }
    const State &state(Place place) const { return place == Place::Toolbar ? m_toolbar : m_manual; }
    void resetFired();

    Operator &m_op;
    Pinger &m_pinger;
    State m_toolbar;
    State m_manual;
    bool m_connectEnabled = false;
    bool m_pinging = false;
    QTimer m_reset;
};

} // namespace vork
