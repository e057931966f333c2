#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace vork {

class Operator;

// The platform's own telnet client in a terminal window, for the WinTelnet option.
struct SystemTelnetCommand
{
    QString program; // empty: no terminal emulator found
    QStringList arguments;
};

// Finds a program on PATH by name; empty when absent.
using ExecutableFinder = std::function<QString(const QString &name)>;

// The terminal emulators tried, in order (x-terminal-emulator first: the system's choice).
QStringList terminalEmulators();

// The argument vector that runs "telnet ip" in the first terminal emulator found.
SystemTelnetCommand systemTelnetCommand(const QString &ip, const ExecutableFinder &find);

// Starts it detached (no shell in between); says through the operator when it cannot.
bool startSystemTelnet(Operator &op, const QString &ip, const ExecutableFinder &find = {});

QString noTerminalText();
QString noTelnetClientText();

} // namespace vork
