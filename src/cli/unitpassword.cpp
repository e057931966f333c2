#include "cli/unitpassword.h"

#include "cli/exitcodes.h"
#include "cli/unitsession.h"

#include "setup/setuprecord.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace vork::cli {

namespace {

const QString fileOption = QStringLiteral("password-file");
const QString showOption = QStringLiteral("show-password");
constexpr qint64 longestLine = 1024;

// The first line of the file, without its line end; nothing when it cannot be had.
bool passwordFromFile(const QString &path, QString &out, QString &why)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        why = path + (info.exists() ? QStringLiteral(" is not a regular file") : QStringLiteral(" not found"));
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        why = path + QStringLiteral(": ") + f.errorString();
        return false;
    }
    QByteArray line = f.readLine(longestLine);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    out = QString::fromLatin1(line);
    return true;
}

// Asks on the terminal with echo off.
bool passwordFromTerminal(QString &out)
{
    if (!isatty(STDIN_FILENO))
        return false;
    termios old{};
    const bool haveTerm = tcgetattr(STDIN_FILENO, &old) == 0;
    if (haveTerm) {
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::fputs("Enter original password to make changes: ", stderr);
    std::fflush(stderr);
    char buffer[longestLine] = {};
    const bool got = std::fgets(buffer, sizeof buffer, stdin) != nullptr;
    if (haveTerm)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::fputs("\n", stderr);
    if (!got)
        return false;
    QByteArray line(buffer);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    out = QString::fromLatin1(line);
    return true;
}

} // namespace

void addPasswordFileOption(QCommandLineParser &p)
{
    p.addOption({fileOption,
                 QStringLiteral("The unit's setup password, on the first line of FILE (needed when the unit's "
                                "setup is password protected and there is no terminal to ask)."),
                 QStringLiteral("FILE")});
}

void addShowPasswordOption(QCommandLineParser &p)
{
    p.addOption({showOption, QStringLiteral("Print the setup password (pw) instead of masking it.")});
}

bool showPassword(const QCommandLineParser &p)
{
    return p.isSet(showOption);
}

QString shownPassword(const QString &pw, bool show)
{
    return show || pw.isEmpty() ? pw : QStringLiteral("********");
}

int unitPasswordAllowed(UnitSession &s, const QCommandLineParser &p, const setuppack &unitRecord)
{
    if (!unitRecord.pwp())
        return exitOk;
    QString entered;
    if (p.isSet(fileOption)) {
        QString why;
        if (!passwordFromFile(p.value(fileOption), entered, why)) {
            s.op.error(QStringLiteral("Cannot read the password: ") + why);
            return exitUsage;
        }
    } else if (!passwordFromTerminal(entered)) {
        s.op.error(QStringLiteral("The setup of Vork Unit ") + s.address
                   + QStringLiteral(" is password protected: give --password-file FILE; nothing sent"));
        return exitDeclined;
    }
    if (entered != unitRecord.pw()) {
        s.op.error(QStringLiteral("Entered password does not match saved password"));
        return exitDeclined;
    }
    return exitOk;
}

} // namespace vork::cli
