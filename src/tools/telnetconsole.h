#pragma once

#include "core/ports.h"
#include "tools/telnetsession.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace vork {

class Operator;

// The receive queue of the console: a ring of 2048 characters with explicit
// in and out indexes (0..2047, wrapping); empty when they are equal.
class TelnetRing
{
public:
    static constexpr int size = 2048;

    int in() const { return m_in; }
    int out() const { return m_out; }
    bool isEmpty() const { return m_in == m_out; }
    // Queues c; true when the queue became full and its oldest character was dropped.
    bool put(char16_t c);
    // Everything from out to in; out moves to in.
    QString take();
    // Takes back the newest character; when the queue was empty, out moves back with it.
    void unput();

private:
    static int next(int i) { return (i + 1) % size; }
    static int prev(int i) { return (i + size - 1) % size; }

    std::array<char16_t, size> m_chars{};
    int m_in = 0;
    int m_out = 0;
};

// The telnet console window's model: the unit's text as lines, the five status
// panels, the typed-key rules (password masking, the exit detector) and the
// connection. The window only draws what this holds and forwards key presses.
class TelnetConsole : public QObject
{
    Q_OBJECT
public:
    enum PanelIndex { LinesPanel = 0, StatusPanel = 1, ReceivedPanel = 2, QueuePanel = 3, PasswordPanel = 4 };
    static constexpr int panelCount = 5;
    static constexpr int logoutChecks = 3;
    // What the window keeps of a unit that never stops talking: the newest lines, each
    // at most this long (a longer one goes on in the next line).
    static constexpr int maxLines = 5000;
    static constexpr int maxLineLength = 4096;

    static QString caption(const QString &ip) { return QStringLiteral("Telnet ") + ip; }
    static QString overflowText() { return QStringLiteral("OverFlow"); }
    static QString connectionLostText() { return QStringLiteral("Connection lost. Closing Telnet session"); }
    // The end of the unit's command prompt.
    static QString promptEnd() { return QStringLiteral("LLa]>"); }

    explicit TelnetConsole(Operator &op, QObject *parent = nullptr);

    // The window is shown for host: clears the text, resets the exit detector, connects.
    void open(const QString &host, quint16 port = telnetPort);
    // The window is closing: unless it closes itself after an error, log out with "exit".
    void windowClosing();
    // One key the operator pressed in the text area: the character it types
    // ('\r' for Enter, 0x08 for Backspace).
    void keyPressed(QChar key);
    // A chunk of decoded text from the unit.
    void receive(const QByteArray &chunk);

    const QStringList &lines() const { return m_lines; }
    int currentLine() const { return m_current; }
    QString panel(int index) const { return m_panels.at(static_cast<std::size_t>(index)); }
    bool passwordMode() const { return m_passwordMode; }
    int typedCount() const { return m_typed; }
    int exitState() const { return m_exitState; }
    bool closing() const { return m_closing; }
    const TelnetRing &ring() const { return m_ring; }
    QString host() const { return m_session.host(); }
    TelnetSession &session() { return m_session; }

    // Tests start from a given count.
    void setTypedCount(std::uint8_t n) { m_typed = n; }

Q_SIGNALS:
    // The text changed; the view redraws from lines().
    void textChanged();
    void panelChanged(int index, const QString &text);
    // The window should close (the unit closed, or an error).
    void closeRequested();

private:
    void setPanel(int index, const QString &text);
    void moveQueued();
    void newLine();
    void eraseOne();
    void updatePasswordMode();
    void gracefulLogout(bool sendExit);
    void lost();
    void setBusy(bool on);
    QString lastLine() const { return m_lines.isEmpty() ? QString() : m_lines.constLast(); }
    void bumpTyped();

    Operator &m_op;
    TelnetSession m_session;
    QStringList m_lines{QString()};
    int m_current = 0;
    TelnetRing m_ring;
    std::uint8_t m_typed = 0;
    bool m_passwordMode = false;
    int m_exitState = 0;
    bool m_closing = false;
    bool m_busy = false;
    bool m_userSent = false;
    std::array<QString, panelCount> m_panels;
};

} // namespace vork
