#include "tools/telnetlogin.h"

#include "core/boundedwait.h"
#include "core/operator.h"

#include <QPointer>

namespace vork {

bool typeTelnetCommand(TelnetSession &session, const QString &command, int pauseMs)
{
    QPointer<TelnetSession> alive(&session);
    const QByteArray bytes = command.toLatin1();
    for (const char c : bytes) {
        if (!alive || !alive->send(QByteArrayView(&c, 1)))
            return false;
        wait::delay(pauseMs);
    }
    return alive && alive->send("\r");
}

QString TelnetLogin::reAccessHint(const QString &lastConnectedIP)
{
    if (lastConnectedIP.isEmpty())
        return QStringLiteral("Restart Access Port Processes for last connected Vork Unit");
    return QStringLiteral("Restart Access Port Processes for ") + lastConnectedIP;
}

TelnetLogin::TelnetLogin(Operator &op, PingTool &ping, QObject *parent)
    : QObject(parent), m_op(op), m_ping(ping), m_session(this)
{
    connect(&m_session, &TelnetSession::dataReceived, this, &TelnetLogin::chunkReceived);
    connect(&m_session, &TelnetSession::disconnected, this, [this] {
        const bool wasShowing = showing();
        setLoggedIn(false);
        if (wasShowing)
            m_op.log(QStringLiteral("Telnet Disconnected from ") + address());
    });
    connect(&m_session, &TelnetSession::errorOccurred, this, [this](int code) {
        // The unit hanging up is its way of ending the session: the disconnect says so.
        if (code == QAbstractSocket::RemoteHostClosedError)
            return;
        // Handled here: a refused or dropped link is a log line, never an exception.
        m_op.log(QStringLiteral("Socket Error ") + QString::number(code));
        m_op.setPanel(Panel::Status, QString());
    });
    // A new ping starts from a closed link.
    connect(&m_ping, &PingTool::telnetCloseRequested, this, [this] {
        if (m_session.isOpenOrOpening())
            m_session.close();
    });
    connect(&m_ping, &PingTool::changed, this, [this](PingTool::Place p) {
        if (p == PingTool::Place::Manual)
            Q_EMIT changed();
    });
}

void TelnetLogin::setAddress(const QString &ip)
{
    m_ping.setAddress(PingTool::Place::Manual, ip);
}

void TelnetLogin::setUserName(const QString &name)
{
    m_user = name;
}

void TelnetLogin::setPassword(const QString &password)
{
    m_password = password;
}

void TelnetLogin::setLastConnectedIP(const QString &ip)
{
    if (ip == m_lastIP)
        return;
    m_lastIP = ip;
    Q_EMIT changed();
}

void TelnetLogin::setLoggedIn(bool on)
{
    if (on == m_loggedIn)
        return;
    m_loggedIn = on;
    Q_EMIT changed();
}

void TelnetLogin::pressPing()
{
    m_ping.press(PingTool::Place::Manual);
}

void TelnetLogin::pressConnect()
{
    if (!m_ping.connectEnabled())
        return;
    if (m_user.isEmpty() || m_password.isEmpty()) {
        m_op.log(QStringLiteral("Invalid User Name or Password"));
        Q_EMIT focusUserName();
        return;
    }
    m_chunk.clear();
    m_session.open(address(), m_port);
}

void TelnetLogin::pressAccess()
{
    if (!m_loggedIn)
        return;
    QPointer<TelnetLogin> alive(this);
    if (!typeTelnetCommand(m_session, QStringLiteral("reAccess"), m_charPause) || !alive)
        return;
    wait::delay(accessExitPauseMs);
    if (alive)
        typeTelnetCommand(m_session, QStringLiteral("exit"), m_charPause);
}

void TelnetLogin::pressExit()
{
    if (m_loggedIn)
        typeTelnetCommand(m_session, QStringLiteral("exit"), m_charPause);
}

void TelnetLogin::pressRestart()
{
    if (!m_loggedIn)
        return;
    QPointer<TelnetLogin> alive(this);
    typeTelnetCommand(m_session, QStringLiteral("restart"), m_charPause);
    if (!alive)
        return;
    wait::delay(restartClosePauseMs);
    if (alive)
        m_session.close();
}

bool TelnetLogin::poll(const std::function<bool()> &test)
{
    QPointer<TelnetLogin> alive(this);
    for (int pauses = 0;; ++pauses) {
        if (!alive)
            return false;
        if (test())
            return true;
        if (pauses == pollPauses)
            return false;
        wait::delay(pollPauseMs);
    }
}

void TelnetLogin::pressReAccess()
{
    if (m_lastIP.isEmpty() || m_running)
        return;
    QPointer<TelnetLogin> alive(this);
    m_running = true;
    m_op.setBusy(true);
    m_op.log(QStringLiteral("ReAccess Sequence Started"));
    setAddress(m_lastIP);
    m_user = builtInUser();
    m_password = builtInPassword();
    Q_EMIT fieldsChanged();
    m_op.breathe();

    bool reached = false;
    if (alive) {
        pressPing();
        if (alive && poll([this] { return m_ping.connectEnabled(); })) {
            pressConnect();
            if (alive && poll([this] { return m_loggedIn; })) {
                reached = true;
                pressAccess();
            }
        }
    }
    if (!alive)
        return;
    // Given up before the login: no half-open session is left behind with its fields gone.
    if (!reached && m_session.isOpenOrOpening())
        m_session.close();
    // Whatever happened, the page is left clean.
    m_op.setBusy(false);
    setAddress(QString());
    m_user.clear();
    m_password.clear();
    m_running = false;
    Q_EMIT fieldsChanged();
    Q_EMIT changed();
}

void TelnetLogin::chunkReceived(const QByteArray &chunk)
{
    // Only while talking to the unit's telnet port.
    if (m_session.port() != m_port)
        return;
    m_chunk = chunk;
    if (!chunk.contains('\n'))
        return;
    QString filtered;
    filtered.reserve(chunk.size());
    for (const char c : chunk) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u <= 0x7F)
            filtered.append(QLatin1Char(c));
    }
    QPointer<TelnetLogin> alive(this);
    const auto take = [&filtered](const QString &prompt) {
        const int at = filtered.indexOf(prompt);
        if (at < 0)
            return false;
        filtered.remove(at, prompt.size());
        return true;
    };
    if (take(loginPrompt())) {
        typeTelnetCommand(m_session, m_user, m_charPause);
        if (!alive)
            return;
    }
    if (take(passwordPrompt())) {
        typeTelnetCommand(m_session, m_password, m_charPause);
        if (!alive)
            return;
    }
    if (take(commandPrompt())) {
        if (showing()) {
            setLoggedIn(true);
            Q_EMIT focusAccess();
        }
        m_op.log(QStringLiteral("Telnet Connection to ") + address());
    }
    if (take(loginIncorrect())) {
        m_op.log(QStringLiteral("Invalid User Name or Password Entered"));
        m_session.close();
    }
}

} // namespace vork
