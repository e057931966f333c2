#pragma once

#include "history/historyfilter.h"
#include "history/ui/historyfilterdialog.h"

#include <QStringList>
#include <QPointer>
#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;

namespace vork {

class HistoryGrid;
class HistoryGridModel;
class HistoryHeaderBar;
class HistoryPageController;
class HistoryRetrieval;
class HistorySearchWindow;
class SettingsFile;
class UnitServices;
struct Settings;

// The HISTORY page: the filter panel, the retrieval's buttons and counters,
// the header bar and the grid. The retrieval does the talking; the page shows
// its records and drives the filter and the search over them.
class HistoryPage : public QWidget
{
    Q_OBJECT
public:
    HistoryPage(UnitServices &services, HistoryPageController &controller, Settings &settings,
                SettingsFile &settingsFile, QWidget *parent = nullptr);
    ~HistoryPage() override;

    static QString noMatchText();

    HistoryRetrieval &retrieval() const { return m_retrieval; }
    HistoryGrid *grid() const { return m_grid; }
    HistoryGridModel &model() const { return *m_model; }
    HistoryHeaderBar *headerBar() const { return m_header; }
    HistorySearchWindow *searchWindow() const { return m_search; }
    QPushButton *retrieveButton() const { return m_retrieve; }
    QPushButton *nextButton() const { return m_next; }
    QPushButton *prevButton() const { return m_prev; }
    QPushButton *clearButton() const { return m_clear; }
    QPushButton *filterButton() const { return m_filterButton; }
    QPushButton *refreshButton() const { return m_refresh; }
    // By shown-kinds bit: 1 errors, 2 labels, 4 diagnostics, 8 alarms, 16 boot.
    QCheckBox *kindBox(int bit) const;
    QComboBox *readerChoice() const { return m_reader; }
    QLineEdit *countField() const { return m_count; }
    // The warning a Retrieve gets while the count field holds no number the buffer can take.
    static QString countRefusedText();
    QLineEdit *startField() const { return m_startField; }
    QLineEdit *fetchedField() const { return m_fetched; }
    QProgressBar *progressBar() const { return m_progress; }
    QWidget *filterPanel() const { return m_filterPanel; }
    QMenu *gridMenu() const { return m_menu; }

    // The shown-kinds bits of the ticked boxes.
    int shownKinds() const;
    // Rebuilds the view buffer from the master buffer with the page's filter.
    void refresh();
    // The filter window's values as the page holds them now, and applying the window's OK.
    HistoryFilterValues filterValues() const;
    void applyFilterValues(const HistoryFilterValues &values);
    void openFilterDialog();
    void openSearch();
    // "Clear History Grid", and the grid menu's "Clear Grid" (which also clears the header).
    void clearGrid();
    void clearGridAndHeader();
    // The header from the current unit.
    void updateHeader(bool clear = false);

Q_SIGNALS:
    // The rows the search put in the grid, one line each, for the log window's text.
    void foundRowsWritten(const QStringList &lines);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildFilterPanel();
    QWidget *buildButtons();
    void wire();
    void retrieveClicked();
    void nextClicked();
    void pageOpened();
    void kindsChanged();
    void readerChanged(int index);
    void countEdited(const QString &text);
    void followRunning(bool running);
    void followRows();
    void rowsFit(int visibleRows);
    void countFollowsWindow();
    void showFoundRows(const std::vector<int> &rows);
    void showMenu(const QPoint &globalPos);
    void scrollGrid(int topRow);
    HistoryCellContext cellContext() const;
    HistoryFilter currentFilter() const;

    UnitServices &m_services;
    HistoryRetrieval &m_retrieval;
    Settings &m_settings;
    SettingsFile &m_settingsFile;
    HistoryGridModel *m_model;
    HistoryHeaderBar *m_header;
    HistoryGrid *m_grid;
    QWidget *m_filterPanel = nullptr;
    std::array<QCheckBox *, 5> m_kinds{};
    QComboBox *m_reader = nullptr;
    QLineEdit *m_count = nullptr;
    QLineEdit *m_startField = nullptr;
    QPushButton *m_filterButton = nullptr;
    QPushButton *m_refresh = nullptr;
    QPushButton *m_retrieve = nullptr;
    QPushButton *m_next = nullptr;
    QPushButton *m_prev = nullptr;
    QPushButton *m_clear = nullptr;
    QLineEdit *m_fetched = nullptr;
    QProgressBar *m_progress = nullptr;
    QMenu *m_menu = nullptr;
    HistorySearchWindow *m_search = nullptr;
    HistoryFilterDialog *m_filterDialog = nullptr;
    bool m_openedBefore = false;
    bool m_filling = false;   // the reader list is being refilled
    bool m_scrolling = false; // the page itself moves the grid
    QPointer<QWidget> m_watchedWindow; // whose resizes set the record number
};

} // namespace vork
