#include "app/ui/logwindow.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QSaveFile>
#include <QScrollBar>
#include <QVBoxLayout>

namespace vork {

LogView::LogView(QWidget *parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setObjectName(QStringLiteral("logView"));
    chooseSaveFile = [this] {
        QFileDialog dialog(this);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters({QStringLiteral("text files (*.txt)"), QStringLiteral("text files (*.TXT)")});
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                        : QString();
    };
}

void LogView::appendLine(const QString &line)
{
    appendPlainText(line);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

bool LogView::saveTo(const QString &path) const
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    f.write(toPlainText().toLocal8Bit());
    f.write("\n");
    return f.commit();
}

void LogView::clearLog()
{
    clear();
    Q_EMIT clearedByOperator();
}

void LogView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *clearAction = menu.addAction(QStringLiteral("Clear"));
    QAction *saveAction = menu.addAction(QStringLiteral("Save"));
    QAction *exitAction = menu.addAction(QStringLiteral("Exit"));
    clearAction->setEnabled(!isEmptyLog());
    saveAction->setEnabled(!isEmptyLog());
    QAction *chosen = menu.exec(event->globalPos());
    if (chosen == clearAction) {
        clearLog();
    } else if (chosen == saveAction) {
        const QString path = chooseSaveFile ? chooseSaveFile() : QString();
        if (!path.isEmpty())
            saveTo(path); // a failed save is not reported: the log stays as it is
    } else if (chosen == exitAction) {
        Q_EMIT exitRequested();
    }
}

void LogView::mouseDoubleClickEvent(QMouseEvent *)
{
    clearLog();
}

LogWindow::LogWindow(const QString &mainCaption, QWidget *parent)
    : QWidget(parent, Qt::Window), m_view(new LogView(this))
{
    setWindowTitle(mainCaption + QStringLiteral(" Status"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    resize(640, 360);
    connect(m_view, &LogView::exitRequested, this, &QWidget::close);
}

void LogWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_view->verticalScrollBar()->setValue(m_view->verticalScrollBar()->maximum());
    Q_EMIT visibilityChanged(true);
}

void LogWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    Q_EMIT visibilityChanged(false);
}

} // namespace vork
