#pragma once

#include "core/operator.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <array>
#include <functional>

class QLabel;
class QStatusBar;
class QWidget;

namespace vork {

// The operator port of the desktop program: message boxes, the status bar's
// six panels and the log window's lines.
class GuiOperator : public QObject, public Operator
{
    Q_OBJECT
public:
    explicit GuiOperator(QWidget *window, QObject *parent = nullptr);

    void attachStatusBar(QStatusBar *bar);

    void log(const QString &message) override;
    void tone(Tone kind, bool force) override;
    void message(MessageKind kind, const QString &text) override;
    Answer ask(const QString &text) override;
    Answer askChoice(const QString &text, Choices choices) override;
    Answer askYesNo(const QString &title, const QString &text, bool &dontAskAgain) override;
    bool input(const QString &caption, const QString &prompt, QString &value) override;
    using Operator::panel;
    using Operator::setPanel;
    void setPanel(int panel, const QString &text) override;
    QString panel(int panel) const override;
    void setPanelHint(int panel, const QString &hint);
    QString panelHint(int panel) const;
    void setBusy(bool busy) override;
    void breathe() override;

    const QStringList &logLines() const { return m_lines; }

    // How messages and questions reach the operator; message boxes unless replaced
    // (tests replace them so nothing modal stops them).
    std::function<void(MessageKind, const QString &)> showMessage;
    std::function<Answer(const QString &)> askQuestion;
    void clearLog();

Q_SIGNALS:
    void logged(const QString &line);
    void toneRequested(vork::Tone kind, bool force);
    void logCleared();

private:
    QPointer<QWidget> m_window;
    std::array<QLabel *, statusPanelCount> m_panels{};
    std::array<QString, statusPanelCount> m_panelTexts;
    QStringList m_lines;
    int m_busy = 0;
};

} // namespace vork
