#include "cli/consoleoperator.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

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
        err() << logLine(message) << Qt::endl;
}

void ConsoleOperator::message(MessageKind kind, const QString &text)
{
    switch (kind) {
    case MessageKind::Information:
        if (!quiet)
            err() << displayText(text) << Qt::endl;
        break;
    case MessageKind::Warning:
        err() << displayText(text) << Qt::endl;
        break;
    case MessageKind::Error:
        ++errors;
        err() << displayText(text) << Qt::endl;
        break;
    }
}

Answer ConsoleOperator::ask(const QString &text)
{
    if (assumeYes)
        return Answer::Yes;
    err() << displayText(text) << " [y/N] " << Qt::flush;
    char buf[16] = {};
    if (!std::fgets(buf, sizeof buf, stdin))
        return Answer::Cancel;
    return (buf[0] == 'y' || buf[0] == 'Y') ? Answer::Yes : Answer::No;
}

bool ConsoleOperator::input(const QString &caption, const QString &prompt, QString &value)
{
    err() << caption << ": " << displayText(prompt) << " [" << value << "] " << Qt::flush;
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
