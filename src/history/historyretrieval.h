#pragma once

#include "connection/replyrouter.h"
#include "history/historyprotocol.h"
#include "unit/eventrecord.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

namespace vork {

class ScopedOperation;
class UnitServices;
struct udppack;

// The HISTORY page's retrieval: the request with its record-type mask, the
// single ('H') and multi-record ('h') replies into the master and view buffers,
// completion by the unit's ACK (or by a bound when it stays silent), paging
// with Next and Prev, and the abort. Widgets read its state and follow its signals.
class HistoryRetrieval : public QObject
{
    Q_OBJECT
public:
    static constexpr int bufferSize = 32768;
    static constexpr int defaultSilenceBoundMs = 15000;
    static constexpr int defaultAbortBoundMs = 3000;
    static constexpr int autoRetrieveDelayMs = 100;
    static constexpr int defaultWanted = 17;
    static constexpr int defaultVisibleRows = 20;

    // What a Retrieve or Next press did.
    enum class Start {
        Sent,      // the request went out; the retrieval runs
        Scrolled,  // Next: the grid had more rows below, nothing was sent
        Aborting,  // pressed while running: the abort went out
        Cancelled, // the readers question was cancelled
        NoKind,    // no kind ticked: warned
        NoUnit,    // no connected current unit
        Busy,      // another operation holds the units
        SendFailed,
    };
    Q_ENUM(Start)
    // How the last retrieval ended.
    enum class End {
        None,           // none ended yet
        Acknowledged,   // the unit's ACK
        Silent,         // no record and no ACK within the silence bound: stopped, reported
        RecordsMissing, // the unit's ACK, but replies were lost on the way
        Aborted,        // ABORT, then the unit's ACK
        AbortUnanswered,// ABORT, and no ACK within its bound
        ConnectionLost, // the unit's connection closed under it
        Closed,         // ended here because the unit is being closed
    };
    Q_ENUM(End)

    explicit HistoryRetrieval(UnitServices &services, QObject *parent = nullptr);
    ~HistoryRetrieval() override;

    static QString killReadersQuestion();
    static QString noKindWarning();
    static QString bufferFullText();
    // "Vork Unit a stopped answering after n records"
    static QString stoppedText(const QString &address, int records);
    // "History from Vork Unit a: n records missing (replies arrived incomplete)"
    QString missingText() const;

    // The filter panel's settings.
    HistoryKinds kinds() const { return m_kinds; }
    void setKinds(const HistoryKinds &kinds) { m_kinds = kinds; }
    int wanted() const { return m_wanted; }
    // The record number field: 1 to the buffer's size; anything else is refused.
    bool setWanted(int records);
    const QStringList &readerChoice() const { return m_readerChoice; }
    int readerIndex() const { return m_readerIndex; }
    bool setReaderIndex(int index);
    // The choice for unit, with one reader of it chosen; false when the unit offers no such reader.
    bool chooseReader(const udppack &unit, int reader);
    // The request's reader byte: 8 for "ALL" (or no choice), else the chosen index.
    std::uint8_t readerByte() const;
    bool killReaders() const { return m_killReaders; }
    void setKillReaders(bool on) { m_killReaders = on; }
    bool multiRecord() const { return m_multiRecord; }
    void setMultiRecord(bool on) { m_multiRecord = on; }
    std::optional<QDateTime> startDate() const { return m_start; }
    void setStartDate(std::optional<QDateTime> start) { m_start = std::move(start); }
    // The "History Upload" option: a Retrieve shortly after the page opens.
    bool autoRetrieve() const { return m_autoRetrieve; }
    void setAutoRetrieve(bool on) { m_autoRetrieve = on; }

    // The page opened (before history mode): reader choice for the current unit,
    // the grid cleared for another unit.
    void pageEntered();
    // History mode was asked for: the automatic retrieve is armed when the option is on.
    void historyModeEntered();
    void pageLeft();
    bool pageShowing() const { return m_pageShowing; }
    bool autoRetrievePending() const { return m_autoTimer.isActive(); }

    // The Retrieve button (an abort while it reads "ABORT").
    Start retrieve();
    // The Next button: one page further down the grid, or a Next request.
    Start next();
    void prev();
    void abort();
    // Empties both buffers; refused while a retrieval runs.
    bool clear();
    // The view buffer rebuilt by the filter, or emptied by the grid's clear (the master
    // buffer stays); refused while a retrieval runs and for more than the buffer holds.
    bool replaceView(std::vector<DataPack> view);
    // Ends a running retrieval here, as when the unit's connection is about to close.
    void endLocally();

    bool running() const { return m_running; }
    bool aborting() const { return m_aborting; }
    bool complete() const { return m_complete; }
    bool nextRequest() const { return m_next; }
    QString retrieveCaption() const;
    bool filterEnabled() const { return m_filterEnabled; }
    End lastEnd() const { return m_lastEnd; }
    bool bufferFull() const { return m_fullLogged; }
    // A silent unit was stopped with the quit: it is out of history mode.
    bool historyModeLeft() const { return m_modeLeft; }

    int masterCount() const { return int(m_master.size()); }
    int viewCount() const { return int(m_view.size()); }
    quint16 requestedCount() const { return m_requested; }
    const std::vector<DataPack> &master() const { return m_master; }
    const std::vector<DataPack> &view() const { return m_view; }
    int progress() const { return m_progress; }
    int progressMaximum() const { return m_progressMax; }
    // Records that came while no retrieval of their unit ran, and were not kept.
    int ignoredRecords() const { return m_ignored; }
    // Records of the last retrieval lost in replies that arrived incomplete; a lower bound
    // when a lost reply did not say how many it held.
    int missingRecords() const { return m_missing; }
    // The unit the buffers came from.
    QString unitAddress() const { return m_address; }
    QString unitMac() const { return m_mac; }

    // Paging: the grid's first shown row (1-based), the rows it shows and its page height.
    int topRow() const { return m_topRow; }
    void setVisibleRows(int rows) { m_visibleRows = qMax(1, rows); }
    void setPageHeight(int rows) { m_pageHeight = qMax(1, rows); }
    bool prevEnabled() const { return m_topRow != 1; }
    // The grid was scrolled by other means than Next and Prev.
    void scrolledTo(int topRow) { setTopRow(topRow); }
    // Clear and export: while the grid (records and its header row) has more than 2 rows.
    bool clearEnabled() const { return !m_running && viewCount() + 1 > 2; }

    // Bounds, shorter in tests.
    void setSilenceBoundMs(int ms) { m_silenceMs = qMax(1, ms); }
    void setAbortBoundMs(int ms) { m_abortMs = qMax(1, ms); }

Q_SIGNALS:
    // View rows [first, first + count) were added.
    void recordsAdded(int first, int count);
    // The count announcement: the view count after a record.
    void countAnnounced(int viewCount);
    void progressChanged(int value, int maximum);
    void runningChanged(bool running);
    void filterEnabledChanged(bool enabled);
    void topRowChanged(int topRow);
    void readerChoiceChanged();
    void cleared();
    // The view buffer was replaced as a whole.
    void viewReplaced();
    void finished(vork::HistoryRetrieval::End end);

private:
    class PacketSink;
    Start start(bool next);
    udppack *connectedCurrent() const;
    udppack *target() const;
    bool fromTarget(const ReplySource &from) const;
    void single(udppack &unit, const ReplySource &from, const QByteArray &block);
    void packet(udppack &unit, const ReplySource &from, const QByteArray &block);
    bool admit(const ReplySource &from);
    bool store(const DataPack &pack);
    void afterRecords(int first);
    void reachedWanted();
    void acknowledged(int index);
    void unitGone(int index);
    void dropped(int index, std::uint8_t type, const QByteArray &partial);
    void stopSilentUnit();
    bool reenterMode(udppack &unit);
    void finish(End end);
    void clearBuffers();
    void setProgress(int value);
    void setFilterEnabled(bool on);
    void setTopRow(int row);
    void rebuildReaderChoice(const udppack *unit);
    QString unitsFoundText() const;

    UnitServices &m_services;
    std::unique_ptr<FixedSizeSink> m_singleSink;
    std::unique_ptr<PacketSink> m_packetSink;
    ReplyRegistration m_singleRegistration;
    ReplyRegistration m_packetRegistration;

    HistoryKinds m_kinds;
    int m_wanted = defaultWanted;
    QStringList m_readerChoice{QStringLiteral("ALL")};
    int m_readerIndex = 0;
    bool m_killReaders = false;
    bool m_multiRecord = true;
    std::optional<QDateTime> m_start;
    bool m_autoRetrieve = false;
    bool m_pageShowing = false;

    std::vector<DataPack> m_master;
    std::vector<DataPack> m_view;
    quint16 m_requested = 0;
    bool m_running = false;
    bool m_aborting = false;
    bool m_holdEnd = false;       // inside the abort's pause
    End m_heldEnd = End::None;    // what ended the retrieval during that pause
    bool m_complete = false;
    bool m_next = false;
    bool m_filterEnabled = true;
    bool m_fullLogged = false;
    bool m_ignoredLogged = false;
    int m_ignored = 0;
    int m_missing = 0;
    bool m_missingExact = true;
    bool m_modeLeft = false; // a silent unit was sent the quit: the next request enters the mode again
    int m_progress = 0;
    int m_progressMax = 0;
    End m_lastEnd = End::None;
    QString m_address;
    QString m_mac;
    quint64 m_link = 0;
    std::unique_ptr<ScopedOperation> m_operation;

    int m_topRow = 1;
    int m_visibleRows = defaultVisibleRows;
    int m_pageHeight = defaultVisibleRows;

    int m_silenceMs = defaultSilenceBoundMs;
    int m_abortMs = defaultAbortBoundMs;
    QTimer m_silence;   // restarted by every record; ends a unit that went quiet
    QTimer m_autoTimer; // the automatic retrieve after the page opens
};

} // namespace vork
