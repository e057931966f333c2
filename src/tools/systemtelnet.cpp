#include "tools/systemtelnet.h"

#include "core/address.h"
#include "core/operator.h"

#include <QProcess>
#include <QStandardPaths>

namespace vork {

QStringList terminalEmulators()
{
    return {QStringLiteral("x-terminal-emulator"), QStringLiteral("gnome-terminal"), QStringLiteral("konsole"),
            QStringLiteral("xfce4-terminal"),      QStringLiteral("mate-terminal"),  QStringLiteral("lxterminal"),
            QStringLiteral("xterm")};
}

QString noTerminalText()
{
    return QStringLiteral("No terminal emulator found to run telnet in");
}

QString noTelnetClientText()
{
    return QStringLiteral("No telnet client found (install the telnet package)");
}

SystemTelnetCommand systemTelnetCommand(const QString &ip, const ExecutableFinder &find)
{
    const QString telnet = find(QStringLiteral("telnet"));
    for (const QString &name : terminalEmulators()) {
        const QString path = find(name);
        if (path.isEmpty())
            continue;
        // gnome-terminal and mate-terminal take the command after "--"; the rest after "-e".
        const bool dashes = name == QStringLiteral("gnome-terminal") || name == QStringLiteral("mate-terminal");
        QStringList args{dashes ? QStringLiteral("--") : QStringLiteral("-e"),
                         telnet.isEmpty() ? QStringLiteral("telnet") : telnet, ip};
        return {path, args};
    }
    return {};
}

bool startSystemTelnet(Operator &op, const QString &ip, const ExecutableFinder &find)
{
    const ExecutableFinder finder =
        find ? find : [](const QString &name) { return QStandardPaths::findExecutable(name); };
    // The address ends up as a program argument: only a plain dotted IPv4 address goes.
    if (!isValidIPv4(ip)) {
        op.error(QStringLiteral("Invalid IP address entered"));
        return false;
    }
    if (finder(QStringLiteral("telnet")).isEmpty()) {
        op.error(noTelnetClientText());
        return false;
    }
    const SystemTelnetCommand cmd = systemTelnetCommand(ip, finder);
    if (cmd.program.isEmpty()) {
        op.error(noTerminalText());
        return false;
    }
    if (!QProcess::startDetached(cmd.program, cmd.arguments)) {
        op.error(QStringLiteral("Cannot start ") + cmd.program);
        return false;
    }
    op.log(QStringLiteral("Telnet started in ") + cmd.program + QStringLiteral(" for ") + ip);
    return true;
}

} // namespace vork
