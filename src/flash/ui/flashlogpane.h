#pragma once

#include <QPlainTextEdit>

#include <functional>

namespace vork {

class Operator;

// The flash page's log pane: its menu clears (after asking) or saves the lines.
class FlashLogPane : public QPlainTextEdit
{
    Q_OBJECT
public:
    FlashLogPane(Operator &op, const QString &programDir, QWidget *parent = nullptr);

    static QString clearQuestion();
    // Menu actions, also reachable without the menu.
    void clearAsked();
    void save();

    // Where "Save" asks for the file name; replaceable so it runs without a dialog.
    std::function<QString(const QString &startDir)> chooseSaveFile;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    Operator &m_op;
    QString m_programDir;
};

} // namespace vork
