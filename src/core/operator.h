#pragma once

#include <QString>
#include <QTime>

namespace vork {

// Feedback tone kinds; any other number plays as a button tone.
enum class Tone : int {
    DiscoveryStart = 0,
    DiscoveryEnd = 1,
    Connect = 2,
    Disconnect = 3,
    Error = 4,
    PingFound = 5,
    PingNotFound = 6,
    Button = 7,
    CheckBox = 8,
    KeyClick = 9,
};

enum class MessageKind { Information, Warning, Error };

enum class Answer { Yes, No, Cancel };

// The buttons of a question that is not Yes/No/Cancel: OK answers Yes, Cancel and
// Abort answer Cancel.
enum class Choices { YesNoCancel, OkCancel, OkAbort };

// The status bar's panels.
enum class Panel : int {
    Status = 0,         // counts, progress, "Info Received"
    Connection = 1,     // "Connected to " + address
    Version = 2,        // the current unit's version
    Description = 3,    // the current unit's description
    ProgramVersion = 4, // this program's own version
    Idle = 5,           // the current unit's idle text
};

// Everything core code says to or asks of the operator goes through here:
// the GUI shows message boxes and the status bar, the command-line tool
// prints, tests record and answer from a script.
class Operator
{
public:
    virtual ~Operator() = default;

    // One log line; the port adds the time of day.
    virtual void log(const QString &message) = 0;
    virtual void tone(Tone kind, bool force = false) = 0;
    virtual void message(MessageKind kind, const QString &text) = 0;
    // Yes/No/Cancel question.
    virtual Answer ask(const QString &text) = 0;
    // A question with other buttons; where a port has only one kind of question, that one.
    virtual Answer askChoice(const QString &text, Choices choices)
    {
        Q_UNUSED(choices);
        return ask(text);
    }
    // Yes/No question with a "Don't ask again." box; dontAskAgain carries the box's state.
    virtual Answer askYesNo(const QString &title, const QString &text, bool &dontAskAgain)
    {
        Q_UNUSED(title);
        Q_UNUSED(dontAskAgain);
        return ask(text);
    }
    // Input box; returns false when the operator cancels.
    virtual bool input(const QString &caption, const QString &prompt, QString &value) = 0;
    // Status bar panel 0..5.
    virtual void setPanel(int panel, const QString &text) = 0;
    virtual QString panel(int panel) const = 0;
    // Busy cursor, counted: every true is matched by a false.
    virtual void setBusy(bool busy) = 0;
    // Let the interface handle pending events.
    virtual void breathe() = 0;

    void setPanel(Panel p, const QString &text) { setPanel(static_cast<int>(p), text); }
    QString panel(Panel p) const { return panel(static_cast<int>(p)); }

    void information(const QString &text) { message(MessageKind::Information, text); }
    void warning(const QString &text) { message(MessageKind::Warning, text); }
    void error(const QString &text) { message(MessageKind::Error, text); }
};

// "message" + two spaces + the local time of day in the user's long time format.
QString logLine(const QString &message, const QTime &time);
QString logLine(const QString &message);

// Message texts keep their "\n\r" as written; a shown text has plain line feeds.
QString displayText(const QString &text);

constexpr int statusPanelCount = 6;

} // namespace vork
