#pragma once

#include "core/operator.h"

#include <array>

namespace vork {

// The operator port of the command-line tool: results to stdout, log lines,
// warnings and errors to stderr, questions answered by --yes or at the terminal.
// Without --yes and without a terminal on stdin a question is declined, and a
// declined question says so on stderr. Everything printed has control
// characters escaped: core texts quote what units sent.
class ConsoleOperator : public Operator
{
public:
    bool assumeYes = false;
    bool verbose = false;   // log lines are printed only with --verbose
    bool quiet = false;     // information messages suppressed

    void log(const QString &message) override;
    void tone(Tone, bool) override {}
    void message(MessageKind kind, const QString &text) override;
    Answer ask(const QString &text) override;
    bool input(const QString &caption, const QString &prompt, QString &value) override;
    using Operator::panel;
    using Operator::setPanel;
    void setPanel(int panel, const QString &text) override;
    QString panel(int panel) const override;
    void setBusy(bool) override {}
    void breathe() override;

    // Messages and warnings shown so far (the exit status may depend on them).
    int errors = 0;
    // Questions answered with anything but Yes.
    int declined = 0;
    // Whether stdin is a terminal; tests and pipes are not.
    bool terminal() const;

private:
    std::array<QString, statusPanelCount> m_panels;
};

} // namespace vork
