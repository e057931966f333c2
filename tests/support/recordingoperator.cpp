#include "recordingoperator.h"

#include "core/boundedwait.h"

#include <QCoreApplication>

namespace vork {

Answer RecordingOperator::ask(const QString &text)
{
    questions.append(text);
    // A real question box runs the event loop while it is open: the unit may
    // drop the link and the operator may click elsewhere meanwhile.
    if (whileAsking) {
        const auto action = whileAsking;
        action();
    }
    if (questionOpenMs > 0)
        wait::delay(questionOpenMs);
    return answers.isEmpty() ? Answer::Cancel : answers.takeFirst();
}

bool RecordingOperator::input(const QString &caption, const QString &prompt, QString &value)
{
    inputPrompts.append(caption + QLatin1Char('|') + prompt);
    if (inputs.isEmpty())
        return false;
    value = inputs.takeFirst();
    return true;
}

void RecordingOperator::setPanel(int panel, const QString &text)
{
    if (panel < 0 || panel >= statusPanelCount)
        return;
    panels[static_cast<std::size_t>(panel)] = text;
    panelHistory.append({panel, text});
}

QString RecordingOperator::panel(int panel) const
{
    if (panel < 0 || panel >= statusPanelCount)
        return {};
    return panels[static_cast<std::size_t>(panel)];
}

void RecordingOperator::breathe()
{
    ++breaths;
    QCoreApplication::processEvents();
}

QStringList RecordingOperator::messageTexts(MessageKind kind) const
{
    QStringList out;
    for (const Message &m : messages)
        if (m.kind == kind)
            out.append(m.text);
    return out;
}

QStringList RecordingOperator::messageTexts() const
{
    QStringList out;
    for (const Message &m : messages)
        out.append(m.text);
    return out;
}

} // namespace vork
