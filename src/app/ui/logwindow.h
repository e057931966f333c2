#pragma once

#include <QPlainTextEdit>
#include <QWidget>

#include <functional>

namespace vork {

// The log's text pane: read-only, no wrapping, last line in view; its menu
// clears, saves or closes; a double click clears.
class LogView : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit LogView(QWidget *parent = nullptr);

    void appendLine(const QString &line);
    bool isEmptyLog() const { return document()->isEmpty(); }
    // Writes the lines as a text file; false when it could not be written.
    bool saveTo(const QString &path) const;

    // Where "Save" asks for the file name; replaceable so it can be driven without a dialog.
    std::function<QString()> chooseSaveFile;

Q_SIGNALS:
    void exitRequested();
    void clearedByOperator();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void clearLog();
};

// The log window: caption = main caption + " Status".
class LogWindow : public QWidget
{
    Q_OBJECT
public:
    LogWindow(const QString &mainCaption, QWidget *parent = nullptr);

    LogView *view() const { return m_view; }

Q_SIGNALS:
    void visibilityChanged(bool visible);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    LogView *m_view;
};

} // namespace vork
