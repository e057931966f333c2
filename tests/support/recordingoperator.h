#pragma once

#include "core/operator.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace vork {

// The operator of a test: records every text, tone and panel write, and
// answers questions and input boxes from a script.
class RecordingOperator : public Operator
{
public:
    struct Message
    {
        MessageKind kind;
        QString text;
    };

    void log(const QString &message) override { logs.append(message); }
    void tone(Tone kind, bool force) override { tones.append(kind); forcedTones.append(force); }
    void message(MessageKind kind, const QString &text) override { messages.append({kind, text}); }
    Answer ask(const QString &text) override;
    Answer askChoice(const QString &text, Choices choices) override
    {
        questionChoices.append(choices);
        return ask(text);
    }
    Answer askYesNo(const QString &title, const QString &text, bool &dontAskAgain) override
    {
        questionTitles.append(title);
        if (tickDontAskAgain)
            dontAskAgain = true;
        return ask(text);
    }
    bool input(const QString &caption, const QString &prompt, QString &value) override;
    using Operator::panel;
    using Operator::setPanel;
    void setPanel(int panel, const QString &text) override;
    QString panel(int panel) const override;
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
    void breathe() override;

    // Texts of every message of one kind, in order.
    QStringList messageTexts(MessageKind kind) const;
    QStringList messageTexts() const;
    bool logged(const QString &message) const { return logs.contains(message); }

    QStringList logs;
    QList<Tone> tones;
    QList<bool> forcedTones;
    QList<Message> messages;
    QStringList questions;
    QStringList questionTitles;
    QList<Choices> questionChoices; // of the questions asked with other buttons
    bool tickDontAskAgain = false; // the operator ticks "Don't ask again." on the next Yes/No
    // While a question is open: this runs, then the event loop runs for questionOpenMs.
    std::function<void()> whileAsking;
    int questionOpenMs = 0;
    QList<Answer> answers;        // consumed in order; Cancel once exhausted
    QStringList inputs;           // consumed in order; an exhausted script cancels
    QStringList inputPrompts;
    std::array<QString, statusPanelCount> panels;
    QList<QPair<int, QString>> panelHistory;
    int busyDepth = 0;
    int breaths = 0;
};

} // namespace vork
