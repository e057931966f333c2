#include "history/ui/historysearchwindow.h"

#include "core/operator.h"
#include "history/ui/historygrid.h"
#include "history/ui/historygridmodel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vork {

HistoryExclusionWindow::HistoryExclusionWindow(Operator &op, QWidget *parent)
    : QDialog(parent), m_op(op), m_list(new QListWidget(this)), m_add(new QPushButton(QStringLiteral("Add"), this)),
      m_delete(new QPushButton(QStringLiteral("Delete"), this))
{
    setWindowTitle(QStringLiteral("Search - Exclusion Strings"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto *close = new QPushButton(QStringLiteral("OK"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_delete);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    connect(m_add, &QPushButton::clicked, this, &HistoryExclusionWindow::add);
    connect(m_delete, &QPushButton::clicked, this, &HistoryExclusionWindow::removeSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    follow();
}

QStringList HistoryExclusionWindow::texts() const
{
    QStringList out;
    for (int i = 0; i < m_list->count(); ++i)
        out << m_list->item(i)->text();
    return out;
}

void HistoryExclusionWindow::setTexts(const QStringList &texts)
{
    m_list->clear();
    m_list->addItems(texts);
    follow();
}

void HistoryExclusionWindow::add()
{
    QString text;
    if (m_op.input(QStringLiteral("Exclude"), QStringLiteral("Enter Text to Exclude"), text) && !text.isEmpty())
        m_list->addItem(text);
    follow();
}

void HistoryExclusionWindow::removeSelected()
{
    const QList<QListWidgetItem *> chosen = m_list->selectedItems();
    if (chosen.isEmpty()) {
        m_op.warning(QStringLiteral("No Items selectd. Delete aborted"));
        return;
    }
    qDeleteAll(chosen);
    follow();
}

void HistoryExclusionWindow::follow()
{
    m_delete->setEnabled(m_list->count() > 0);
}

namespace {
const char *const fieldCaptions[] = {"All", "Rdr", "Type", "Value", "Time", "Date", "Data"};
const char *const typeCaptions[] = {"All", "Errors", "Labels", "Diags", "Alarms"};
constexpr int fieldCount = 7;
constexpr int typeCount = 5;
} // namespace

HistorySearchWindow::HistorySearchWindow(Operator &op, HistoryGrid &grid, QWidget *parent)
    : QDialog(parent), m_op(op), m_grid(grid), m_text(new QLineEdit(this)),
      m_searchButton(new QPushButton(QStringLiteral("Search"), this)), m_letters(new QLabel(this)),
      m_statusLabel(new QLabel(this)), m_exclusions(new HistoryExclusionWindow(op, this))
{
    setWindowTitle(QStringLiteral("Search"));
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    top->addWidget(m_text, 1);
    top->addWidget(m_searchButton);
    layout->addLayout(top);

    auto *buttons = new QGridLayout;
    for (int i = 0; i < fieldCount; ++i) {
        m_fields[std::size_t(i)] = new QPushButton(QString::fromLatin1(fieldCaptions[i]), this);
        m_fields[std::size_t(i)]->setCheckable(true);
        buttons->addWidget(m_fields[std::size_t(i)], 0, i);
        connect(m_fields[std::size_t(i)], &QPushButton::clicked, this,
                [this, i] { buttonGroupClicked(m_fields, fieldCount, i); });
    }
    for (int i = 0; i < typeCount; ++i) {
        m_types[std::size_t(i)] = new QPushButton(QString::fromLatin1(typeCaptions[i]), this);
        m_types[std::size_t(i)]->setCheckable(true);
        buttons->addWidget(m_types[std::size_t(i)], 1, i);
        connect(m_types[std::size_t(i)], &QPushButton::clicked, this,
                [this, i] { buttonGroupClicked(m_types, typeCount, i); });
    }
    m_fields[0]->setChecked(true);
    m_types[0]->setChecked(true);
    layout->addLayout(buttons);

    const char *const optionCaptions[] = {"Direction", "Case", "Exclusions", "Results"};
    auto *options = new QHBoxLayout;
    for (std::size_t i = 0; i < m_options.size(); ++i) {
        m_options[i] = new QPushButton(QString::fromLatin1(optionCaptions[i]), this);
        options->addWidget(m_options[i]);
    }
    connect(m_options[0], &QPushButton::clicked, this, [this] { setDown(!m_down); });
    connect(m_options[1], &QPushButton::clicked, this, [this] { setCaseSensitive(!m_caseSensitive); });
    connect(m_options[2], &QPushButton::clicked, this, [this] { setExclusionsOn(!m_exclusionsOn); });
    connect(m_options[3], &QPushButton::clicked, this, [this] { setResultsInGrid(!m_results); });
    layout->addLayout(options);

    auto *status = new QHBoxLayout;
    status->addWidget(m_letters);
    status->addWidget(m_statusLabel, 1);
    m_statusLabel->setAutoFillBackground(true);
    layout->addLayout(status);
    connect(m_searchButton, &QPushButton::clicked, this, &HistorySearchWindow::search);
    connect(m_text, &QLineEdit::returnPressed, this, &HistorySearchWindow::search);
    refreshLetters();
}

void HistorySearchWindow::buttonGroupClicked(std::array<QPushButton *, 7> &group, int count, int clicked)
{
    if (clicked == 0) {
        // "All" stands alone.
        for (int i = 1; i < count; ++i)
            group[std::size_t(i)]->setChecked(false);
        group[0]->setChecked(true);
        return;
    }
    group[0]->setChecked(false);
    bool any = false;
    for (int i = 1; i < count; ++i)
        any = any || group[std::size_t(i)]->isChecked();
    if (!any)
        group[0]->setChecked(true);
}

HistorySearchOptions HistorySearchWindow::options() const
{
    HistorySearchOptions o;
    o.terms = historySearchTerms(m_text->text());
    o.caseSensitive = m_caseSensitive;
    o.exclusionsOn = m_exclusionsOn;
    o.exclusions = m_exclusions->texts();
    o.fields = 0;
    if (m_fields[0]->isChecked())
        o.fields = historysearch::allFields;
    else
        for (int i = 1; i < fieldCount; ++i)
            if (m_fields[std::size_t(i)]->isChecked())
                o.fields |= 1 << (i - 1);
    o.types = 0;
    if (m_types[0]->isChecked())
        o.types = historysearch::allTypes;
    else
        for (int i = 1; i < typeCount; ++i)
            if (m_types[std::size_t(i)]->isChecked())
                o.types |= 1 << (i - 1);
    return o;
}

void HistorySearchWindow::setDown(bool down)
{
    m_down = down;
    refreshLetters();
}

void HistorySearchWindow::setCaseSensitive(bool on)
{
    m_caseSensitive = on;
    refreshLetters();
}

void HistorySearchWindow::setResultsInGrid(bool on)
{
    m_results = on;
    m_options[3]->setToolTip(on ? QStringLiteral("Display Search Results in Grid")
                                : QStringLiteral("Don't Display Search Results in Grid"));
    refreshLetters();
}

void HistorySearchWindow::setExclusionsOn(bool on)
{
    if (on) {
        m_exclusions->exec();
        if (m_exclusions->texts().isEmpty()) {
            m_op.warning(QStringLiteral("No exclusions were entered. Exclusions are disabled"));
            on = false;
        }
    }
    m_exclusionsOn = on;
    refreshLetters();
}

QString HistorySearchWindow::optionLetters() const
{
    return QString(m_down ? QLatin1Char('D') : QLatin1Char('U')) + QLatin1Char(' ')
           + (m_caseSensitive ? QLatin1Char('C') : QLatin1Char('N')) + QLatin1Char(' ')
           + (m_exclusionsOn ? QLatin1Char('E') : QLatin1Char('-')) + QLatin1Char(' ')
           + (m_results ? QLatin1Char('G') : QLatin1Char('-'));
}

void HistorySearchWindow::refreshLetters()
{
    m_letters->setText(optionLetters());
}

QString HistorySearchWindow::statusText() const
{
    return m_statusLabel->text();
}

void HistorySearchWindow::setStatus(const QString &text, Status status)
{
    m_status = status;
    m_statusLabel->setText(text);
    QPalette pal = m_statusLabel->palette();
    switch (status) {
    case Status::Searching: pal.setColor(QPalette::Window, Qt::blue); break;
    case Status::Found: pal.setColor(QPalette::Window, Qt::green); break;
    case Status::NotFound: pal.setColor(QPalette::Window, Qt::yellow); break;
    case Status::Fault: pal.setColor(QPalette::Window, Qt::red); break;
    case Status::Neutral: pal.setColor(QPalette::Window, palette().color(QPalette::Window)); break;
    }
    m_statusLabel->setPalette(pal);
}

void HistorySearchWindow::buildIndex()
{
    const HistoryGridModel &model = m_grid.gridModel();
    m_index.build(model.shown(), model.context());
}

void HistorySearchWindow::open()
{
    m_grid.gridModel().leaveResults();
    show();
    raise();
    m_text->setFocus();
    m_searchButton->setEnabled(false);
    setStatus(QStringLiteral("Initializing"), Status::Searching);
    buildIndex();
    setStatus(QString(), Status::Neutral);
    m_searchButton->setEnabled(true);
}

void HistorySearchWindow::search()
{
    if (m_text->text().isEmpty()) {
        setStatus(QStringLiteral("Search string not entered"), Status::Fault);
        m_op.warning(QStringLiteral("You must enter a search string(s)\n(coma separated if more than one)"));
        return;
    }
    HistoryGridModel &model = m_grid.gridModel();
    if (model.rowCount() == 0) {
        setStatus(QStringLiteral("Grid is empty"), Status::Fault);
        m_op.warning(QStringLiteral("Grid is empty - search aborted"));
        return;
    }
    const HistorySearchOptions o = options();
    if (m_results) {
        // A new search over the whole grid leaves the results shown before.
        model.leaveResults();
        if (m_index.size() != model.rowCount())
            buildIndex();
        searchAll(o);
        return;
    }
    if (m_index.size() < model.rowCount())
        buildIndex();
    searchOne(o);
}

void HistorySearchWindow::searchOne(const HistorySearchOptions &o)
{
    HistoryGridModel &model = m_grid.gridModel();
    const QModelIndex at = m_grid.currentIndex();
    const int row = at.isValid() ? at.row() : -1;
    const int column = at.isValid() ? at.column() : -1;
    setStatus(QStringLiteral("Index: ") + QString::number(row + 1), Status::Searching);
    HistorySearchIndex::Hit hit = m_index.findFrom(row, column, m_down, o);
    if (!hit.valid() && row >= 0) {
        const Answer a = m_op.ask(m_down ? QStringLiteral("End of data reached, start from begining?")
                                         : QStringLiteral("Begining of data reached, start from end?"));
        if (a == Answer::Yes)
            hit = m_index.findFrom(-1, -1, m_down, o);
    }
    if (!hit.valid()) {
        setStatus(QStringLiteral("String not found"), Status::NotFound);
        return;
    }
    const QModelIndex cell = model.index(hit.row, hit.column);
    m_grid.setCurrentIndex(cell);
    m_grid.scrollTo(cell, QAbstractItemView::PositionAtCenter);
    setStatus(QStringLiteral("String Found"), Status::Found);
}

void HistorySearchWindow::searchAll(const HistorySearchOptions &o)
{
    setStatus(QStringLiteral("Index: 1"), Status::Searching);
    const std::vector<int> rows = m_index.findAll(o);
    setStatus(QStringLiteral("Search Complete"), rows.empty() ? Status::NotFound : Status::Found);
    if (rows.empty()) {
        m_op.information(QStringLiteral("No items found"));
        m_grid.scrollToTop();
        return;
    }
    const QString question = QString::number(rows.size()) + QStringLiteral(" items found")
                             + QStringLiteral("\nUpdate the grid to show these results?");
    if (m_op.ask(question) != Answer::Yes)
        return;
    Q_EMIT resultsAccepted(rows);
    close();
}

} // namespace vork
