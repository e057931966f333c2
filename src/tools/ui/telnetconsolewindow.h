#pragma once

#include "core/ports.h"
#include "tools/systemtelnet.h"
#include "tools/telnetconsole.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QStatusBar;

namespace vork {

class Operator;

// The telnet console window: the unit's text on black, every key sent at once,
// five status panels. It draws what its TelnetConsole holds.
class TelnetConsoleWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int tabStopPixels = 65;

    explicit TelnetConsoleWindow(TelnetConsole &console, QWidget *parent = nullptr);

    QPlainTextEdit *textArea() const { return m_text; }
    QLabel *panelLabel(int index) const { return m_panels.at(static_cast<std::size_t>(index)); }
    // The character a key event types, or a null QChar for keys that type nothing.
    static QChar keyCharacter(int key, const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void redraw();

    TelnetConsole &m_console;
    QPlainTextEdit *m_text;
    QStatusBar *m_status;
    std::array<QLabel *, TelnetConsole::panelCount> m_panels{};
};

// What the main window holds for telnet: opens the console window for a unit
// (created on first use, then reused), or the system's telnet client when the
// WinTelnet option asks for it.
class TelnetTools : public QObject
{
    Q_OBJECT
public:
    // useSystemTelnet reads the WinTelnet option at each open; windowParent owns the console window.
    TelnetTools(Operator &op, std::function<bool()> useSystemTelnet, QWidget *windowParent = nullptr);
    ~TelnetTools() override;

    void openTelnet(const QString &ip, quint16 port = telnetPort);
    // Where the system telnet client and terminal are looked for (tests: a fixed answer).
    void setExecutableFinder(ExecutableFinder find) { m_find = std::move(find); }

    TelnetConsole &console() { return m_console; }
    TelnetConsoleWindow *window() const { return m_window; }

private:
    Operator &m_op;
    std::function<bool()> m_useSystemTelnet;
    ExecutableFinder m_find;
    QWidget *m_windowParent;
    TelnetConsole m_console;
    QPointer<TelnetConsoleWindow> m_window;
};

} // namespace vork
