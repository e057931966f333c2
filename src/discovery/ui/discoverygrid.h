#pragma once

#include <QHash>
#include <QTableView>
#include <QTimer>

class QLabel;
class QMenu;

namespace vork {

class DiscoveryGridModel;
class Operator;

// Commands of the discovery list's pop-up menu, in menu order.
enum class GridCommand {
    Configure,
    ShowInfo,
    Monitor,
    History,
    Webpage,
    SyncTime,
    GotoTimeSetup,
    Telnet,
    Reboot,
    Connect,
    Disconnect,
    RestartWebpages,
    RestartTelnet,
    RestartRemoteAccess,
    Update,
    Netstat,
    CreateArchive,
    RestoreArchive,
    DeleteArchive,
    CompareArchive,
    RamSpeedZero,
    RamSpeedOne,
    EnableSafeMode,
    DisableSafeMode,
};

// The discovery list (SG1): the view with its pointer rules, hints and pop-up menu.
class DiscoveryGrid : public QTableView
{
    Q_OBJECT
public:
    static constexpr int headerRowHeight = 24;
    static constexpr int unitRowHeight = 20;
    static constexpr int hintWindowMs = 5000;
    static constexpr int hintWindowMaxWidth = 500;

    DiscoveryGrid(DiscoveryGridModel &model, Operator &op, QWidget *parent = nullptr);

    DiscoveryGridModel &gridModel() const { return m_model; }

    // A column's starting width at this font: the default widths grow with a larger
    // font, and a column is never narrower than its bold header.
    int scaledInitialWidth(int column) const;
    void applyInitialWidths();

    // The grid's own hint (shown over column 1 of unit rows) as written.
    QString hintText() const { return m_hintText; }
    // The hint window of a description wider than its column.
    QLabel *descriptionHintWindow() const { return m_hintWindow; }

    QMenu *popupMenu() const { return m_menu; }
    QAction *commandAction(GridCommand command) const { return m_commands.value(command); }
    QAction *closeMenuAction() const { return m_closeMenu; }
    QAction *setTimeMenuAction() const;
    QAction *restartMenuAction() const;
    QAction *configFileMenuAction() const;
    QAction *ramMenuAction() const;
    // Entries stay disabled until the feature behind them is wired in.
    void setCommandEnabled(GridCommand command, bool enabled);
    // IP of the unit the pop-up menu acts on; empty when the press was not on a unit row.
    QString menuUnitIP() const { return m_menuIP; }

    // "Export History Records" is down: presses only explain how to abort.
    void setHistoryExportRunning(bool running) { m_exportRunning = running; }
    // A history import freezes the highlight.
    void setHistoryImportRunning(bool running) { m_importRunning = running; }
    // The guided help window keeps the highlight off.
    void setGuidedHelpShowing(bool showing) { m_helpShowing = showing; }

    static QString exportWaitingText();

    // Forget the row under the pointer (pointer over the rest of the page).
    void forgetPointer();
    // Scrolls a page of rows at a time until the unit at ip shows, and puts the
    // pointer on its row; false when no row shows that unit.
    bool bringUnitIntoView(const QString &ip);

Q_SIGNALS:
    // A click on a unit's row outside the selection column.
    void connectRequested(const QString &ip);
    void commandTriggered(vork::GridCommand command, const QString &ip);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    void buildMenu();
    QAction *addCommand(QMenu *menu, const QString &text, GridCommand command);
    void pointerAt(const QPoint &pos);
    void highlightRow(int row);
    void clearHighlight();
    void setPointerCursor(Qt::CursorShape shape);
    void updateHintWindow(int row);
    void closeHintWindow();
    void openMenu(const QPoint &pos, const QPoint &globalPos);
    // The unit row the keyboard is on, -1 when none.
    int keyboardRow() const;

    DiscoveryGridModel &m_model;
    Operator &m_op;
    QString m_hintText;
    bool m_showHint = false;
    QLabel *m_hintWindow = nullptr;
    QTimer m_hintTimer;
    int m_hintRow = -1;

    QMenu *m_menu = nullptr;
    QMenu *m_setTimeMenu = nullptr;
    QMenu *m_restartMenu = nullptr;
    QMenu *m_configFileMenu = nullptr;
    QMenu *m_ramMenu = nullptr;
    QAction *m_closeMenu = nullptr;
    QHash<GridCommand, QAction *> m_commands;
    QString m_menuIP;

    bool m_exportRunning = false;
    bool m_importRunning = false;
    bool m_helpShowing = false;
    int m_wheelRemainder = 0;
};

} // namespace vork
