#include "cli/consoleoperator.h"

#include "cli/safetext.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

namespace vork {

namespace {
QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}
} // namespace

void ConsoleOperator::log(const QString &message)
{
    if (verbose)
        err() << cli::escapedKeepingLines(logLine(message)) << Qt::endl;
}

void ConsoleOperator::message(MessageKind kind, const QString &text)
{
    switch (kind) {
    case MessageKind::Information:
        if (!quiet)
            err() << cli::escapedKeepingLines(displayText(text)) << Qt::endl;
        break;
    case MessageKind::Warning:
        err() << cli::escapedKeepingLines(displayText(text)) << Qt::endl;
        break;
    case MessageKind::Error:
        ++errors;
        err() << cli::escapedKeepingLines(displayText(text)) << Qt::endl;
        break;
    }
}

Answer ConsoleOperator::ask(const QString &text)
{
    if (assumeYes)
        return Answer::Yes;
    err() << cli::escapedKeepingLines(displayText(text)) << " [y/N] " << Qt::flush;
    if (!terminal()) {
        ++declined;
        err() << "\ndeclined: no terminal to answer on (--yes answers Yes)" << Qt::endl;
        return Answer::Cancel;
    }
    char buf[16] = {};
    if (!std::fgets(buf, sizeof buf, stdin)) {
        ++declined;
        err() << "\ndeclined: end of input" << Qt::endl;
        return Answer::Cancel;
    }
    if (buf[0] == 'y' || buf[0] == 'Y')
        return Answer::Yes;
    ++declined;
    err() << "declined" << Qt::endl;
    return Answer::No;
}

bool ConsoleOperator::terminal() const
{
    return ::isatty(STDIN_FILENO) == 1;
}

bool ConsoleOperator::input(const QString &caption, const QString &prompt, QString &value)
{
    err() << cli::escapedKeepingLines(caption + QStringLiteral(": ") + displayText(prompt) + QStringLiteral(" [")
                                      + value + QStringLiteral("] "))
          << Qt::flush;
    char buf[256] = {};
    if (!std::fgets(buf, sizeof buf, stdin))
        return false;
    const QString typed = QString::fromLocal8Bit(buf).trimmed();
    if (!typed.isEmpty())
        value = typed;
    return true;
}

void ConsoleOperator::setPanel(int panel, const QString &text)
{
    if (panel >= 0 && panel < statusPanelCount)
        m_panels[static_cast<std::size_t>(panel)] = text;
}

QString ConsoleOperator::panel(int panel) const
{
    if (panel < 0 || panel >= statusPanelCount)
        return {};
    return m_panels[static_cast<std::size_t>(panel)];
}

void ConsoleOperator::breathe()
{
    QCoreApplication::processEvents();
}

} // namespace vork
