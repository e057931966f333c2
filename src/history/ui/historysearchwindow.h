#pragma once

#include "history/historyfilter.h"

#include <QDialog>
#include <QStringList>

#include <array>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vork {

class HistoryGrid;
class Operator;

// "Search - Exclusion Strings": texts that keep a field from matching.
class HistoryExclusionWindow : public QDialog
{
    Q_OBJECT
public:
    HistoryExclusionWindow(Operator &op, QWidget *parent = nullptr);
    QStringList texts() const;
    void setTexts(const QStringList &texts);
    void add();
    void removeSelected();
    QListWidget *list() const { return m_list; }
    QPushButton *addButton() const { return m_add; }
    QPushButton *deleteButton() const { return m_delete; }

private:
    void follow();
    Operator &m_op;
    QListWidget *m_list;
    QPushButton *m_add;
    QPushButton *m_delete;
};

// "Search": finds text in the grid's rows, one match at a time from the
// current cell, or every matching row at once for the grid to show.
class HistorySearchWindow : public QDialog
{
    Q_OBJECT
public:
    enum class Status { Neutral, Searching, Found, NotFound, Fault };

    HistorySearchWindow(Operator &op, HistoryGrid &grid, QWidget *parent = nullptr);

    // Shows the window over the grid's records, building their texts first.
    void open();
    void search();

    HistorySearchOptions options() const;
    bool down() const { return m_down; }
    void setDown(bool down);
    void setCaseSensitive(bool on);
    bool resultsInGrid() const { return m_results; }
    void setResultsInGrid(bool on);
    bool exclusionsOn() const { return m_exclusionsOn; }
    // Enabling asks for the texts when there are none yet; with none it stays off.
    void setExclusionsOn(bool on);
    HistoryExclusionWindow *exclusionWindow() const { return m_exclusions; }

    QLineEdit *searchField() const { return m_text; }
    QPushButton *searchButton() const { return m_searchButton; }
    // Field buttons: 0 "All", then "Rdr" ... "Data"; type buttons: 0 "All", then "Errors" ... "Alarms".
    QPushButton *fieldButton(int i) const { return m_fields.at(std::size_t(i)); }
    QPushButton *typeButton(int i) const { return m_types.at(std::size_t(i)); }
    QPushButton *optionButton(int i) const { return m_options.at(std::size_t(i)); }
    QString statusText() const;
    Status status() const { return m_status; }
    // The letters of the options: direction, case, exclusions, results.
    QString optionLetters() const;
    const HistorySearchIndex &index() const { return m_index; }

Q_SIGNALS:
    // The operator chose to see the found rows in the grid: record indexes of the grid's rows.
    void resultsAccepted(const std::vector<int> &rows);

private:
    void setStatus(const QString &text, Status status);
    void buttonGroupClicked(std::array<QPushButton *, 7> &group, int count, int clicked);
    void refreshLetters();
    void buildIndex();
    void searchOne(const HistorySearchOptions &o);
    void searchAll(const HistorySearchOptions &o);

    Operator &m_op;
    HistoryGrid &m_grid;
    HistorySearchIndex m_index;
    QLineEdit *m_text;
    QPushButton *m_searchButton;
    std::array<QPushButton *, 7> m_fields{};
    std::array<QPushButton *, 7> m_types{}; // five used
    std::array<QPushButton *, 4> m_options{};
    QLabel *m_letters;
    QLabel *m_statusLabel;
    Status m_status = Status::Neutral;
    HistoryExclusionWindow *m_exclusions;
    bool m_down = true;
    bool m_caseSensitive = false;
    bool m_exclusionsOn = false;
    bool m_results = false;
};

} // namespace vork
