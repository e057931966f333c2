#include "flash/ui/flashlogpane.h"

#include "core/operator.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QSaveFile>

namespace vork {

FlashLogPane::FlashLogPane(Operator &op, const QString &programDir, QWidget *parent)
    : QPlainTextEdit(parent), m_op(op), m_programDir(programDir)
{
    setReadOnly(true);
    setObjectName(QStringLiteral("Mlog"));
    chooseSaveFile = [this](const QString &startDir) {
        QFileDialog dialog(this, QString(), startDir);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(QStringLiteral("Text File *.txt (*.txt *.TXT)"));
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                        : QString();
    };
}

QString FlashLogPane::clearQuestion()
{
    return QStringLiteral("Are you sure you want to clear the flash log?");
}

void FlashLogPane::clearAsked()
{
    if (m_op.ask(clearQuestion()) == Answer::Yes)
        clear();
}

void FlashLogPane::save()
{
    if (document()->isEmpty())
        return;
    const QString path = chooseSaveFile ? chooseSaveFile(m_programDir) : QString();
    if (path.isEmpty())
        return;
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Text)) {
        f.write(toPlainText().toLocal8Bit() + '\n');
        f.commit(); // a failed save leaves the pane as it is
    }
}

void FlashLogPane::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *clearAction = menu.addAction(QStringLiteral("Clear"));
    QAction *saveAction = menu.addAction(QStringLiteral("Save"));
    QAction *chosen = menu.exec(event->globalPos());
    if (chosen == clearAction)
        clearAsked();
    else if (chosen == saveAction)
        save();
}

} // namespace vork
