#pragma once

#include "core/ports.h"
#include "tools/pingtool.h"
#include "tools/telnetsession.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

namespace vork {

class Operator;

// Types a command the way the unit's console expects it: one byte per write,
// pauseMs after each with events handled, then a carriage return (no line feed).
// False when the link went before the command was out.
bool typeTelnetCommand(TelnetSession &session, const QString &command, int pauseMs);

// The "Manual " page's telnet side: after a ping, connect, answer the unit's
// login and password prompts from the fields, then offer "Access", "Exit" and
// "Restart". The re-access button runs the whole sequence with the built-in
// credentials against the last connected unit. Widgets show this state.
class TelnetLogin : public QObject
{
    Q_OBJECT
public:
    static constexpr int charPauseMs = 100;
    static constexpr int accessExitPauseMs = 300;
    static constexpr int restartClosePauseMs = 200;
    static constexpr int pollPauseMs = 500;
    static constexpr int pollPauses = 10;

    static QString builtInUser() { return QStringLiteral("kivo"); }
    static QString builtInPassword() { return QStringLiteral("dulm"); }

    static QString loginPrompt() { return QStringLiteral("Login : "); }
    static QString passwordPrompt() { return QStringLiteral("Password:"); }
    static QString commandPrompt() { return QStringLiteral("[BRIVELLa]>"); }
    static QString loginIncorrect() { return QStringLiteral("Login Incorrect"); }

    static QString accessHint() { return QStringLiteral("Restart Access Port Processes"); }
    static QString restartHint() { return QStringLiteral("Restart the specified Vork Unit"); }
    static QString reAccessHint(const QString &lastConnectedIP);

    TelnetLogin(Operator &op, PingTool &ping, QObject *parent = nullptr);

    // Fields of the page.
    void setAddress(const QString &ip);
    QString address() const { return m_ping.address(PingTool::Place::Manual); }
    void setUserName(const QString &name);
    QString userName() const { return m_user; }
    void setPassword(const QString &password);
    QString password() const { return m_password; }

    // Set by the connection side each time a unit connection opens; empty at start-up.
    void setLastConnectedIP(const QString &ip);
    QString lastConnectedIP() const { return m_lastIP; }
    bool reAccessEnabled() const { return !m_lastIP.isEmpty(); }

    bool accessEnabled() const { return m_loggedIn; }
    bool exitEnabled() const { return m_loggedIn; }
    bool restartEnabled() const { return m_loggedIn; }
    bool connectEnabled() const { return m_ping.connectEnabled(); }
    bool pingEnabled() const { return m_ping.pingEnabled(PingTool::Place::Manual); }
    bool running() const { return m_running; }

    // Buttons.
    void pressPing();
    void pressConnect();
    void pressAccess();
    void pressExit();
    void pressRestart();
    void pressReAccess();

    // The last received chunk, as read.
    QByteArray lastChunk() const { return m_chunk; }
    TelnetSession &session() { return m_session; }

    // Tests reach the simulator on a port of their own.
    void setPort(quint16 port) { m_port = port; }
    // Pause between typed characters (tests may shorten it; the unit wants 100 ms).
    void setCharPause(int ms) { m_charPause = ms; }
    // Whether the "Manual " page is showing; it is when nobody says otherwise.
    std::function<bool()> manualShowing;

Q_SIGNALS:
    // Something shown on the page changed; views re-read the state.
    void changed();
    // The fields were filled or emptied by the re-access sequence.
    void fieldsChanged();
    void focusUserName();
    void focusAccess();

private:
    void chunkReceived(const QByteArray &chunk);
    void setLoggedIn(bool on);
    bool showing() const { return !manualShowing || manualShowing(); }
    // Polls until test holds: up to pollPauses pauses of pollPauseMs.
    bool poll(const std::function<bool()> &test);

    Operator &m_op;
    PingTool &m_ping;
    TelnetSession m_session;
    QString m_user;
    QString m_password;
    QString m_lastIP;
    QByteArray m_chunk;
    quint16 m_port = telnetPort;
    int m_charPause = charPauseMs;
    bool m_loggedIn = false;
    bool m_running = false;
};

} // namespace vork
