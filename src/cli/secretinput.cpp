#include "cli/secretinput.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace vork::cli {

namespace {

constexpr qint64 longestLine = 4096;

QString firstLine(QByteArray line)
{
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromLocal8Bit(line);
}

} // namespace

bool secretFromFile(const QString &path, QString &secret, QString &why)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        why = QStringLiteral("not a regular file"); // a pipe would be read for ever
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        why = f.errorString();
        return false;
    }
    secret = firstLine(f.readLine(longestLine));
    return true;
}

bool secretFromTerminal(const QString &prompt, QString &secret)
{
    if (::isatty(STDIN_FILENO) != 1)
        return false;
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    termios saved{};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    char buffer[longestLine] = {};
    const bool got = std::fgets(buffer, sizeof buffer, stdin) != nullptr;
    if (quiet)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
    if (!got)
        return false;
    secret = firstLine(QByteArray(buffer));
    return true;
}

} // namespace vork::cli
