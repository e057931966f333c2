#include "tools/telnetconsole.h"

#include "core/boundedwait.h"
#include "core/operator.h"

#include <QPointer>

namespace vork {

bool TelnetRing::put(char16_t c)
{
    m_chars[static_cast<std::size_t>(m_in)] = c;
    m_in = next(m_in);
    if (m_in != m_out)
        return false;
    // Full: the oldest character makes room.
    m_out = next(m_out);
    return true;
}

QString TelnetRing::take()
{
    QString text;
    while (m_out != m_in) {
        text.append(QChar(m_chars[static_cast<std::size_t>(m_out)]));
        m_out = next(m_out);
    }
    return text;
}

void TelnetRing::unput()
{
    const bool wasEmpty = isEmpty();
    m_in = prev(m_in);
    if (wasEmpty)
        m_out = prev(m_out);
}

TelnetConsole::TelnetConsole(Operator &op, QObject *parent)
    : QObject(parent), m_op(op), m_session(this)
{
    connect(&m_session, &TelnetSession::dataReceived, this, &TelnetConsole::receive);
    connect(&m_session, &TelnetSession::statusChanged, this,
            [this](const QString &status) { setPanel(StatusPanel, QStringLiteral("Status: ") + status); });
    connect(&m_session, &TelnetSession::disconnected, this, [this] {
        setBusy(false);
        Q_EMIT closeRequested();
    });
    // The unit opens with its option negotiation; once it offers to echo, it is
    // waiting for the built-in user name.
    connect(&m_session, &TelnetSession::negotiated, this, [this](TelnetProtocol::Negotiation kind, int option) {
        if (m_userSent || option != TelnetProtocol::optEcho
            || (kind != TelnetProtocol::Negotiation::Will && kind != TelnetProtocol::Negotiation::Do))
            return;
        m_userSent = true;
        for (const char c : QByteArrayLiteral("kivo\r")) {
            if (!m_session.send(QByteArrayView(&c, 1)))
                return;
        }
    });
}

void TelnetConsole::setPanel(int index, const QString &text)
{
    QString &slot = m_panels.at(static_cast<std::size_t>(index));
    if (slot == text)
        return;
    slot = text;
    Q_EMIT panelChanged(index, text);
}

void TelnetConsole::setBusy(bool on)
{
    if (on == m_busy)
        return;
    m_busy = on;
    m_op.setBusy(on);
}

void TelnetConsole::open(const QString &host, quint16 port)
{
    m_lines = QStringList{QString()};
    m_current = 0;
    m_exitState = 0;
    m_closing = false;
    Q_EMIT textChanged();
    setPanel(LinesPanel, QStringLiteral("Lines: 1"));
    setPanel(StatusPanel, QStringLiteral("Status: ") + m_session.statusText());
    if (m_session.isConnected() && m_session.host() == host && m_session.port() == port)
        return;
    m_userSent = false;
    m_session.open(host, port);
}

void TelnetConsole::windowClosing()
{
    if (!m_closing)
        gracefulLogout(true);
    setBusy(false);
}

void TelnetConsole::bumpTyped()
{
    // An 8-bit count that stops at its top instead of wrapping to zero.
    if (m_typed < 0xFF)
        ++m_typed;
}

void TelnetConsole::receive(const QByteArray &chunk)
{
    setPanel(ReceivedPanel, QStringLiteral("Received ") + QString::number(chunk.size()) + QStringLiteral(" character(s)"));
    if (chunk.contains('\b')) {
        // The unit's answer to a backspace: never queued.
        if (chunk.startsWith('\b'))
            eraseOne();
    } else {
        bool overflowShown = false;
        for (const char ch : chunk) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == '\n') {
                newLine();
                Q_EMIT textChanged();
            } else if (c == '\r') {
                if (chunk.size() > 1)
                    moveQueued();
                m_typed = 0;
            } else if ((c >= 0x20 && c <= 0x7E) || c == '\t') {
                if (m_ring.put(char16_t(c)) && !overflowShown) {
                    overflowShown = true;
                    m_op.information(overflowText());
                }
            }
            // Other control characters and bytes above 0x7E are dropped.
        }
    }
    if (!m_ring.isEmpty())
        moveQueued();
    updatePasswordMode();
    setPanel(LinesPanel, QStringLiteral("Lines: ") + QString::number(m_lines.size()));
}

void TelnetConsole::newLine()
{
    m_lines.append(QString());
    while (m_lines.size() > maxLines)
        m_lines.removeFirst();
    m_current = int(m_lines.size()) - 1;
}

void TelnetConsole::moveQueued()
{
    const QString text = m_ring.take();
    setPanel(QueuePanel, QStringLiteral("Queue IN: ") + QString::number(m_ring.in()) + QStringLiteral(" OUT: ")
                             + QString::number(m_ring.out()));
    QString &line = m_lines[m_current];
    // The unit redraws its progress line in place.
    if (text.contains(QStringLiteral("Calculating")))
        line = text;
    else
        line += text;
    while (m_lines[m_current].size() > maxLineLength) {
        const QString rest = m_lines[m_current].mid(maxLineLength);
        m_lines[m_current].truncate(maxLineLength);
        newLine();
        m_lines[m_current] = rest;
    }
    Q_EMIT textChanged();
    if (text.size() > 1)
        setBusy(false);
}

void TelnetConsole::eraseOne()
{
    if (lastLine().contains(QStringLiteral("Password")))
        return;
    if (m_typed == 0)
        return;
    m_ring.unput();
    --m_typed;
    QString &line = m_lines[m_current];
    if (!line.isEmpty())
        line.chop(1);
    Q_EMIT textChanged();
}

void TelnetConsole::updatePasswordMode()
{
    m_passwordMode = lastLine().contains(QStringLiteral("Password:"));
    if (m_passwordMode)
        setPanel(PasswordPanel, QStringLiteral("PW"));
    else if (m_panels[PasswordPanel] == QStringLiteral("PW"))
        setPanel(PasswordPanel, QString());
}

void TelnetConsole::keyPressed(QChar key)
{
    m_op.tone(Tone::KeyClick);
    if (!m_session.isConnected())
        return;
    const char16_t c = key.unicode();
    const bool enter = c == u'\r';
    setBusy(enter);
    setPanel(ReceivedPanel, QString());
    const bool printable = c >= 0x20 && c <= 0x7E;
    if (printable)
        bumpTyped();

    const char byte = static_cast<char>(c & 0xFF);
    if (c > 0xFF || !m_session.send(QByteArrayView(&byte, 1))) {
        if (!m_session.isConnected())
            lost();
        return;
    }

    switch (m_exitState) {
    case 0: if (c == u'e') m_exitState = 1; break;
    case 1: if (c == u'x') m_exitState = 2; break;
    case 2: if (c == u'i') m_exitState = 3; break;
    case 3: if (c == u't') m_exitState = 4; break;
    case 4:
        if (enter) {
            if (lastLine().contains(promptEnd())) {
                // "exit" went out as it was typed; only wait for the unit to go.
                gracefulLogout(false);
                return;
            }
            m_exitState = 0;
        }
        break;
    default: m_exitState = 0; break;
    }

    // The unit echoes what is typed, except a password: that is shown here as stars.
    if (!m_passwordMode)
        return;
    QString &line = m_lines[m_current];
    if (c == u'\b') {
        if (m_typed > 0) {
            --m_typed;
            if (line.endsWith(QLatin1Char('*')))
                line.chop(1);
            Q_EMIT textChanged();
        }
    } else if (printable) {
        line += QLatin1Char('*');
        Q_EMIT textChanged();
    }
}

void TelnetConsole::gracefulLogout(bool sendExit)
{
    if (!m_session.isConnected())
        return;
    QPointer<TelnetConsole> alive(this);
    if (sendExit) {
        for (const char c : QByteArrayLiteral("exit\r")) {
            if (!m_session.send(QByteArrayView(&c, 1))) {
                m_closing = true;
                Q_EMIT closeRequested();
                return;
            }
        }
    }
    for (int i = 0; i < logoutChecks && alive && m_session.isConnected(); ++i)
        wait::delay(1);
    if (alive && m_session.isConnected())
        m_session.close();
}

void TelnetConsole::lost()
{
    m_op.information(connectionLostText());
    m_closing = true;
    setBusy(false);
    Q_EMIT closeRequested();
}

} // namespace vork
