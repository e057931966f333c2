#include "history/ui/historypage.h"

#include "core/operator.h"
#include "core/settings.h"
#include "history/historypage.h"
#include "history/historyretrieval.h"
#include "history/ui/historygrid.h"
#include "history/ui/historygridmodel.h"
#include "history/ui/historyheaderbar.h"
#include "history/ui/historysearchwindow.h"
#include "services/unitservices.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace vork {

namespace {

struct KindBox
{
    int bit;
    const char *caption;
};
// In the order the panel shows them.
constexpr KindBox kindBoxes[] = {{historykind::labels, "Labels"},
                                 {historykind::errors, "Errors"},
                                 {historykind::diagnostics, "Diagnostics"},
                                 {historykind::alarms, "Alarms"},
                                 {historykind::boot, "Boot"}};

std::size_t slot(int bit)
{
    std::size_t s = 0;
    while (bit > 1) {
        bit >>= 1;
        ++s;
    }
    return s;
}

const QString none = QStringLiteral("None");

} // namespace

HistoryPage::HistoryPage(UnitServices &services, HistoryPageController &controller, Settings &settings,
                         SettingsFile &settingsFile, QWidget *parent)
    : QWidget(parent), m_services(services), m_retrieval(controller.retrieval()), m_settings(settings),
      m_settingsFile(settingsFile), m_model(new HistoryGridModel(m_retrieval, this)),
      m_header(new HistoryHeaderBar(this)), m_grid(new HistoryGrid(*m_model, settings.colors, this))
{
    m_model->setContextSource([this] { return cellContext(); });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(buildFilterPanel());
    layout->addWidget(buildButtons());
    layout->addWidget(m_header);
    layout->addWidget(m_grid, 1);

    m_menu = new QMenu(this);
    m_menu->addAction(QStringLiteral("Search"), this, &HistoryPage::openSearch);
    m_menu->addAction(QStringLiteral("Clear Grid"), this, &HistoryPage::clearGridAndHeader);
    m_search = new HistorySearchWindow(services.op(), *m_grid, this);
    m_filterDialog = new HistoryFilterDialog(this);
    wire();
    followRunning(m_retrieval.running());
    followRows();
}

HistoryPage::~HistoryPage()
{
    // The grid and its scroll bar still signal while the base class hides them on the way out.
    m_grid->verticalScrollBar()->disconnect(this);
    m_grid->disconnect(this);
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
}

QString HistoryPage::noMatchText()
{
    return QStringLiteral("No records found that match current search criteria");
}

QWidget *HistoryPage::buildFilterPanel()
{
    m_filterPanel = new QWidget(this);
    auto *row = new QHBoxLayout(m_filterPanel);
    row->setContentsMargins(0, 0, 0, 0);
    for (const KindBox &k : kindBoxes) {
        auto *box = new QCheckBox(QString::fromLatin1(k.caption), m_filterPanel);
        box->setChecked(true);
        box->setProperty("tag", k.bit);
        m_kinds[slot(k.bit)] = box;
        row->addWidget(box);
    }
    m_reader = new QComboBox(m_filterPanel);
    m_reader->setToolTip(QStringLiteral("Filter on Selected Reader"));
    row->addWidget(m_reader);
    m_count = new QLineEdit(QString::number(m_retrieval.wanted()), m_filterPanel);
    m_count->setToolTip(QStringLiteral("Number of Records to Retrieve"));
    m_count->setMaxLength(5);
    m_count->setValidator(new HistoryCountValidator(m_count));
    m_count->setMaximumWidth(70);
    row->addWidget(m_count);
    m_startField = new QLineEdit(none, m_filterPanel);
    m_startField->setReadOnly(true);
    m_startField->setToolTip(QStringLiteral("Retrieve records starting from this date and older"));
    m_startField->installEventFilter(this);
    row->addWidget(m_startField);
    m_filterButton = new QPushButton(QStringLiteral("Filter"), m_filterPanel);
    m_filterButton->setToolTip(QStringLiteral("Show Advanced Filter Setup Form"));
    row->addWidget(m_filterButton);
    m_refresh = new QPushButton(QStringLiteral("Refresh"), m_filterPanel);
    m_refresh->setToolTip(QStringLiteral("Refresh Grid Data"));
    row->addWidget(m_refresh);
    row->addStretch(1);
    return m_filterPanel;
}

QWidget *HistoryPage::buildButtons()
{
    auto *bar = new QWidget(this);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    m_retrieve = new QPushButton(QStringLiteral("Retrieve"), bar);
    m_retrieve->setToolTip(QStringLiteral("Send History Command"));
    m_next = new QPushButton(QStringLiteral("Next"), bar);
    m_next->setToolTip(QStringLiteral("Show Next Page"));
    m_prev = new QPushButton(QStringLiteral("Prev"), bar);
    m_prev->setToolTip(QStringLiteral("Show Previous Page"));
    m_clear = new QPushButton(QStringLiteral("Clear History Grid"), bar);
    m_fetched = new QLineEdit(QStringLiteral("0"), bar);
    m_fetched->setReadOnly(true);
    m_fetched->setMaximumWidth(70);
    m_progress = new QProgressBar(bar);
    m_progress->setTextVisible(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    for (QWidget *w : std::initializer_list<QWidget *>{m_retrieve, m_next, m_prev, m_clear, m_fetched})
        row->addWidget(w);
    row->addWidget(m_progress, 1);
    return bar;
}

void HistoryPage::wire()
{
    HistoryRetrieval &r = m_retrieval;
    connect(m_retrieve, &QPushButton::clicked, this, &HistoryPage::retrieveClicked);
    connect(m_next, &QPushButton::clicked, this, &HistoryPage::nextClicked);
    connect(m_prev, &QPushButton::clicked, this, [this] { m_retrieval.prev(); });
    connect(m_clear, &QPushButton::clicked, this, &HistoryPage::clearGrid);
    connect(m_filterButton, &QPushButton::clicked, this, &HistoryPage::openFilterDialog);
    connect(m_refresh, &QPushButton::clicked, this, &HistoryPage::refresh);
    for (QCheckBox *box : m_kinds)
        connect(box, &QCheckBox::toggled, this, &HistoryPage::kindsChanged);
    connect(m_reader, &QComboBox::currentIndexChanged, this, &HistoryPage::readerChanged);
    connect(m_count, &QLineEdit::textEdited, this, &HistoryPage::countEdited);

    connect(&r, &HistoryRetrieval::runningChanged, this, &HistoryPage::followRunning);
    connect(&r, &HistoryRetrieval::filterEnabledChanged, m_filterPanel, &QWidget::setEnabled);
    connect(&r, &HistoryRetrieval::progressChanged, this, [this](int value, int maximum) {
        m_progress->setRange(0, qMax(1, maximum));
        m_progress->setValue(qMin(value, qMax(1, maximum)));
    });
    connect(&r, &HistoryRetrieval::recordsAdded, this, &HistoryPage::followRows);
    connect(&r, &HistoryRetrieval::cleared, this, &HistoryPage::followRows);
    connect(&r, &HistoryRetrieval::viewReplaced, this, &HistoryPage::followRows);
    connect(&r, &HistoryRetrieval::finished, this, [this] {
        m_model->sync();
        scrollGrid(m_retrieval.topRow());
        followRows();
    });
    connect(&r, &HistoryRetrieval::topRowChanged, this, [this](int row) {
        m_model->sync();
        scrollGrid(row);
        m_prev->setEnabled(m_retrieval.prevEnabled());
    });
    // Opening the page rebuilds the reader choice: the page's cue that it opened.
    connect(&r, &HistoryRetrieval::readerChoiceChanged, this, &HistoryPage::pageOpened);
    // The operator's own scrolling moves the retrieval's top row; the page's does not.
    connect(m_grid->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (!m_scrolling)
            m_retrieval.scrolledTo(m_grid->topRow());
        m_prev->setEnabled(m_retrieval.prevEnabled());
    });
    // The range can settle after the rows came: the top row asked for is applied again.
    connect(m_grid->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
        if (m_grid->topRow() != m_retrieval.topRow())
            scrollGrid(m_retrieval.topRow());
    });
    connect(m_grid, &HistoryGrid::visibleRowsChanged, this, &HistoryPage::rowsFit);
    connect(m_grid, &HistoryGrid::searchRequested, this, [this] {
        if (!m_search->isVisible())
            openSearch();
    });
    connect(m_grid, &HistoryGrid::searchRepeated, this, [this] {
        if (m_search->isVisible())
            m_search->search();
    });
    connect(m_grid, &HistoryGrid::menuRequested, this, &HistoryPage::showMenu);
    connect(m_search, &HistorySearchWindow::resultsAccepted, this, &HistoryPage::showFoundRows);
}

QCheckBox *HistoryPage::kindBox(int bit) const
{
    return bit > 0 && bit <= historykind::boot ? m_kinds[slot(bit)] : nullptr;
}

int HistoryPage::shownKinds() const
{
    int mask = 0;
    for (QCheckBox *box : m_kinds)
        if (box->isChecked())
            mask |= box->property("tag").toInt();
    return mask;
}

HistoryCellContext HistoryPage::cellContext() const
{
    HistoryCellContext c;
    UnitTable &units = m_services.units();
    const udppack *unit = units.current();
    c.readerBaseKnown = unit != nullptr;
    c.readerBase = unit ? unit->naddr : 0;
    c.versionNumber = versionNumber(unit ? unit->ver : units.mansvrk().ver);
    return c;
}

HistoryFilter HistoryPage::currentFilter() const
{
    HistoryFilter f;
    f.kinds = shownKinds();
    f.reader = m_retrieval.readerByte() == allReaders ? -1 : m_retrieval.readerIndex();
    f.alarmsAllReaders = m_settings.alarmAllRdrs;
    f.start = m_retrieval.startDate();
    return f;
}

QString HistoryPage::countRefusedText()
{
    return QStringLiteral("Number of Records to Retrieve must be 1 to ") + QString::number(HistoryRetrieval::bufferSize);
}

void HistoryPage::retrieveClicked()
{
    if (!m_retrieval.running() && !m_count->hasAcceptableInput()) {
        m_services.op().warning(countRefusedText());
        return;
    }
    m_model->leaveResults();
    if (m_retrieval.retrieve() == HistoryRetrieval::Start::Sent)
        updateHeader();
}

void HistoryPage::nextClicked()
{
    m_model->leaveResults();
    if (m_retrieval.next() == HistoryRetrieval::Start::Sent)
        updateHeader();
}

void HistoryPage::scrollGrid(int topRow)
{
    m_scrolling = true;
    m_grid->setTopRow(topRow);
    m_scrolling = false;
}

void HistoryPage::pageOpened()
{
    m_filling = true;
    m_reader->clear();
    m_reader->addItems(m_retrieval.readerChoice());
    m_reader->setCurrentIndex(m_retrieval.readerIndex());
    m_filling = false;
    const udppack *unit = m_services.units().current();
    if (!m_openedBefore) {
        m_openedBefore = true;
        // Units before 5.0.3 keep no boot records.
        if (unit && versionNumber(unit->ver) < nextNewFromVersion)
            m_kinds[slot(historykind::boot)]->setChecked(false);
    }
    // The option as it stands now, before history mode arms the automatic retrieve.
    m_retrieval.setAutoRetrieve(m_settings.options.HistoryUpload);
    if (unit)
        updateHeader();
}

void HistoryPage::kindsChanged()
{
    m_retrieval.setKinds(historyKindsFromMask(shownKinds()));
    if (!m_settings.useRefreshBtn)
        refresh();
}

void HistoryPage::readerChanged(int index)
{
    if (m_filling || index < 0)
        return;
    m_retrieval.setReaderIndex(index);
    if (!m_settings.useRefreshBtn)
        refresh();
}

void HistoryPage::countEdited(const QString &text)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    const bool taken = ok && m_retrieval.setWanted(n);
    m_count->setStyleSheet(taken || text.isEmpty() ? QString() : QStringLiteral("QLineEdit { background: #f4c0c0; }"));
    m_count->setToolTip(taken || text.isEmpty() ? QStringLiteral("Number of Records to Retrieve") : countRefusedText());
}

void HistoryPage::followRunning(bool running)
{
    m_retrieve->setText(m_retrieval.retrieveCaption());
    m_filterPanel->setEnabled(m_retrieval.filterEnabled());
    m_clear->setEnabled(!running && m_retrieval.clearEnabled());
    m_prev->setEnabled(m_retrieval.prevEnabled());
}

void HistoryPage::followRows()
{
    const int n = m_model->resultsShown() ? m_model->rowCount() : m_retrieval.viewCount();
    m_fetched->setText(QString::number(m_retrieval.viewCount()));
    m_header->update(nullptr, false, n);
    m_clear->setEnabled(!m_retrieval.running() && n + 1 > 2);
    m_prev->setEnabled(m_retrieval.prevEnabled());
}

void HistoryPage::rowsFit(int visibleRows)
{
    m_retrieval.setVisibleRows(visibleRows);
    m_retrieval.setPageHeight(visibleRows);
}

void HistoryPage::countFollowsWindow()
{
    // The record number follows the rows that fit below the header row, when the
    // operator resizes the window; a scroll bar coming and going leaves a typed count alone.
    const int step = HistoryGrid::rowHeight + (m_settings.colors.GridLines ? 1 : 0);
    const int fit = qBound(1, m_grid->height() / step - 1, HistoryRetrieval::bufferSize);
    if (m_retrieval.running())
        return;
    m_retrieval.setWanted(fit);
    m_count->setText(QString::number(fit));
}

void HistoryPage::refresh()
{
    if (m_retrieval.running())
        return;
    m_model->leaveResults();
    if (m_retrieval.masterCount() == 0) {
        updateHeader();
        return;
    }
    Operator &op = m_services.op();
    op.setBusy(true);
    m_filterPanel->setEnabled(false);
    m_progress->setRange(0, m_retrieval.masterCount());
    std::vector<DataPack> view = historyFilterRecords(m_retrieval.master(), currentFilter());
    const bool empty = view.empty();
    m_retrieval.replaceView(std::move(view));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_filterPanel->setEnabled(m_retrieval.filterEnabled());
    op.setBusy(false);
    if (empty)
        op.information(noMatchText());
    followRows();
}

HistoryFilterValues HistoryPage::filterValues() const
{
    HistoryFilterValues v;
    v.kinds = shownKinds();
    v.readerChoice = m_retrieval.readerChoice();
    v.readerIndex = m_retrieval.readerIndex();
    v.records = m_count->text();
    v.useStart = m_retrieval.startDate().has_value();
    // A start date in use is offered afresh from now.
    v.start = m_startField->text() != none ? QDateTime::currentDateTime() : m_retrieval.startDate().value_or(QDateTime());
    v.multiRecord = m_retrieval.multiRecord();
    v.killReaders = m_retrieval.killReaders();
    v.refreshButton = m_settings.useRefreshBtn;
    v.alarmsAllReaders = m_settings.alarmAllRdrs;
    v.announceIndex = m_settings.histTalkCnt;
    return v;
}

void HistoryPage::applyFilterValues(const HistoryFilterValues &v)
{
    m_settings.useRefreshBtn = v.refreshButton;
    m_settings.alarmAllRdrs = v.alarmsAllReaders;
    m_settings.histTalkCnt = v.announceIndex;
    m_retrieval.setMultiRecord(v.multiRecord);
    m_retrieval.setKillReaders(v.killReaders);
    if (v.useStart && v.start.isValid()) {
        m_retrieval.setStartDate(v.start);
        m_startField->setText(QLocale().toString(v.start.date(), QLocale::ShortFormat) + QLatin1Char(' ')
                              + QLocale().toString(v.start.time(), QLocale::LongFormat));
    } else {
        m_retrieval.setStartDate(std::nullopt);
        m_startField->setText(none);
    }
    const QString records = v.records.isEmpty() ? QString::fromLatin1(HistoryFilterDialog::defaultRecords) : v.records;
    m_count->setText(records);
    countEdited(records);
    {
        // One refresh for the whole change, below.
        const QSignalBlocker block(m_reader);
        if (v.readerIndex >= 0 && v.readerIndex < m_reader->count()) {
            m_reader->setCurrentIndex(v.readerIndex);
            m_retrieval.setReaderIndex(v.readerIndex);
        }
        for (QCheckBox *box : m_kinds) {
            const QSignalBlocker blockBox(box);
            box->setChecked(v.kinds & box->property("tag").toInt());
        }
    }
    m_retrieval.setKinds(historyKindsFromMask(shownKinds()));
    if (!m_settings.useRefreshBtn)
        refresh();
}

void HistoryPage::openFilterDialog()
{
    m_filterDialog->setValues(filterValues());
    if (m_filterDialog->exec() == QDialog::Accepted)
        applyFilterValues(m_filterDialog->values());
}

void HistoryPage::openSearch()
{
    m_search->open();
}

void HistoryPage::clearGrid()
{
    if (m_retrieval.running())
        return;
    if (m_model->resultsShown())
        m_model->showResults({});
    else
        m_retrieval.replaceView({});
    followRows();
}

void HistoryPage::clearGridAndHeader()
{
    if (m_retrieval.running())
        return;
    m_model->leaveResults();
    m_retrieval.replaceView({});
    m_services.units().mansvrk() = udppack{};
    updateHeader(true);
    followRows();
}

void HistoryPage::updateHeader(bool clear)
{
    const int n = m_model->resultsShown() ? m_model->rowCount() : m_retrieval.viewCount();
    m_header->update(clear ? nullptr : m_services.units().current(), clear, n);
}

void HistoryPage::showFoundRows(const std::vector<int> &rows)
{
    const HistorySearchIndex &index = m_search->index();
    const std::vector<DataPack> &shown = m_model->shown();
    std::vector<DataPack> found;
    QStringList lines;
    found.reserve(rows.size());
    for (int r : rows) {
        if (r < 0 || std::size_t(r) >= shown.size())
            continue;
        found.push_back(shown[std::size_t(r)]);
        lines << index.rowText(r);
    }
    m_model->showResults(std::move(found));
    followRows();
    Q_EMIT foundRowsWritten(lines);
}

void HistoryPage::showMenu(const QPoint &globalPos)
{
    const QList<QAction *> actions = m_menu->actions();
    actions.at(0)->setEnabled(m_model->rowCount() >= 2);
    m_menu->popup(globalPos);
}

void HistoryPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    QWidget *top = window();
    if (top != m_watchedWindow) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = top;
        top->installEventFilter(this);
        QTimer::singleShot(0, this, &HistoryPage::countFollowsWindow);
    }
}

bool HistoryPage::eventFilter(QObject *watched, QEvent *event)
{
    // After the layout has settled at the new size.
    if (watched == m_watchedWindow && event->type() == QEvent::Resize)
        QTimer::singleShot(0, this, &HistoryPage::countFollowsWindow);
    if (watched == m_startField && event->type() == QEvent::MouseButtonPress && m_filterPanel->isEnabled()) {
        openFilterDialog();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vork
