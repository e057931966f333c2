#include "tools/pingtool.h"

#include "core/operator.h"
#include "tools/ping.h"

#include <QPointer>

namespace vork {

QString PingTool::resultText(Result r)
{
    switch (r) {
    case Result::Found:
        return QStringLiteral("Found");
    case Result::NotFound:
        return QStringLiteral("Not Found");
    case Result::None:
        break;
    }
    return QString();
}

PingTool::PingTool(Operator &op, Pinger &pinger, QObject *parent) : QObject(parent), m_op(op), m_pinger(pinger)
{
    m_reset.setSingleShot(true);
    m_reset.setInterval(resetMs);
    connect(&m_reset, &QTimer::timeout, this, &PingTool::resetFired);
}

void PingTool::setAddress(Place place, const QString &text)
{
    State &s = state(place);
    s.address = text;
    // A ping in flight keeps its button down until it ends.
    if (!m_pinging)
        s.pingEnabled = isValidIPv4(text);
    if (place == Place::Toolbar)
        s.result = Result::None;
    Q_EMIT changed(place);
}

void PingTool::press(Place place)
{
    // The ping waits in a nested loop: a second press meanwhile is not a new ping.
    if (m_pinging)
        return;
    State &s = state(place);
    s.pingEnabled = false;
    Q_EMIT changed(place);
    Q_EMIT telnetCloseRequested();

    if (!isValidIPv4(s.address)) {
        m_op.log(invalidAddressText());
        m_op.warning(invalidAddressText());
        Q_EMIT focusAddress(place);
    } else {
        m_pinging = true;
        const QPointer<PingTool> alive(this);
        const bool found = m_pinger.ping(s.address, pingTimeoutMs, true);
        if (!alive)
            return;
        m_pinging = false;
        m_op.tone(found ? Tone::PingFound : Tone::PingNotFound, true);
        s.result = found ? Result::Found : Result::NotFound;
        s.pingEnabled = true;
        if (place == Place::Manual && found)
            m_connectEnabled = true;
        Q_EMIT changed(place);
        if (place == Place::Manual && found)
            Q_EMIT focusConnect();
    }
    m_reset.start();
}

void PingTool::resetFired()
{
    const Showing now = showing ? showing() : Showing::DiscoverTab;
    if (now == Showing::ManualTab) {
        m_manual.pingEnabled = true;
        m_manual.result = Result::None;
        m_connectEnabled = false;
        Q_EMIT changed(Place::Manual);
        return;
    }
    // "Connect ?" is only good for three seconds after a reply, wherever the operator went meanwhile.
    if (m_connectEnabled) {
        m_connectEnabled = false;
        Q_EMIT changed(Place::Manual);
    }
    if (now == Showing::DiscoverTab) {
        m_toolbar.pingEnabled = isValidIPv4(m_toolbar.address);
        Q_EMIT changed(Place::Toolbar);
    }
    Q_EMIT timedOut();
}

} // namespace vork
