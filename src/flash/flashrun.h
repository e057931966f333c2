#pragma once

#include "flash/flashfitness.h"
#include "flash/flashimage.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class QTcpSocket;

namespace vork {

class ScopedOperation;
class UnitServices;
struct udppack;

// A flash run over the selected units, one at a time: connect, check the image
// against the unit, the flash command and the erase wait, the lines one by one
// with an answer each, the reboot wait by ping, the refreshed identity, and the
// outcome in a status word, a progress row and the summary log. Every wait is
// bounded and keeps the event loop running; the abort request ends the transfer
// after the line in flight. Widgets and the command line follow its signals.
class FlashRun : public QObject
{
    Q_OBJECT
public:
    enum class Speed { FullThrottle = 0, Fast, Medium, Slow };
    Q_ENUM(Speed)
    enum class Phase { None, Erasing, Downloading, Rebooting };
    Q_ENUM(Phase)

    // Every bound of the run; tests shorten them.
    struct Timings
    {
        int connectMs = 5000;
        int eraseAckSeconds = 30;
        int lineDeadlineMs = 30000;  // wall clock per line, resends included
        int abortGraceMs = 2000;     // an abort waits this long for the answer to the line in flight
        int abortAckSeconds = 5;
        int rebootPauseMs = 5000;
        int rebootTicks = 1000;
        int rebootTickMs = 10;
        int pingEveryTicks = 100;
        int pingTimeoutMs = 200;
        int queryWaitMs = 2000;      // the announcement after the flash
        int bootLoaderPauseMs = 2000;
        int speedStepMs = 100;       // pause per "Speed" step after each acknowledged line
        int closeWaitMs = 1000;
    };

    // One progress row: a unit flashed in this run.
    struct Row
    {
        QString mac;
        QString ip;
        QString flashDate;
        QString startTime;
        QString elapsed;
        QString oldVersion;
        QString newVersion;
        std::uint16_t status = 0;
    };

    // What became of a unit the run reached.
    struct Outcome
    {
        enum Kind { Passed, Failed, Refused, Skipped, Cancelled, NotReached };
        QString ip;
        Kind kind = Failed;
        QString reason;  // why it did not pass: the check's reason, the failed line, "run aborted"
        std::uint16_t status = 0;
        int linesAcknowledged = 0;
        QString newVersion;
    };

    // A line refused this often is sent again; one more refusal ends the transfer.
    static constexpr int maxResends = 10;

    explicit FlashRun(UnitServices &services, QObject *parent = nullptr);
    ~FlashRun() override;

    // The image every unit of the next run gets (the open file's lines as checked).
    void setImage(const FlashImage &image) { m_image = image; }
    const FlashImage &image() const { return m_image; }

    FlashMode mode() const { return m_mode; }
    void setMode(FlashMode mode) { m_mode = mode; }
    bool dontReboot() const { return m_dontReboot; }
    void setDontReboot(bool on) { m_dontReboot = on; }
    Speed speed() const { return m_speed; }
    void setSpeed(Speed speed) { m_speed = speed; }
    static QStringList speedItems();
    // The "Flash" dialog of a boot-loader flash; without one the flash is refused.
    void setBootLoaderChooser(std::function<bool(BootLoaderChoice &)> choose) { m_chooseBootLoader = std::move(choose); }
    // The caller checked every unit's fitness already (the command line does it first):
    // each unit's own flash line list by address. A unit without one is refused.
    void setPrechecked(const QHash<QString, QStringList> &linesByUnit)
    {
        m_prechecked = linesByUnit;
        m_fitnessChecked = true;
    }
    void setTimings(const Timings &t) { m_t = t; }
    const Timings &timings() const { return m_t; }
    // The clock of the stamps (tests pin it).
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // Runs over the selected units of the active list; returns when the run ends.
    // False when it did not start (another operation runs, or one is running here).
    bool run();
    bool running() const { return m_running; }

    // The abort button: asks first; Yes deselects every unit and requests the abort.
    void abortAsked();
    // The abort itself (the command line's Ctrl+C).
    void requestAbort();
    bool abortRequested() const { return m_abort; }

    const QStringList &summary() const { return m_summary; }
    void clearSummary() { m_summary.clear(); }
    const QList<Row> &rows() const { return m_rows; }
    void clearRows()
    {
        m_rows.clear();
        Q_EMIT rowsCleared();
    }
    const QList<Outcome> &outcomes() const { return m_outcomes; }
    // Every unit the run reached passed, and it reached at least one.
    bool allPassed() const;

    static QString abortQuestion();
    static QString noUnitsText();
    static QString noImageText();
    static QString closeRefusalText();
    static QString abortedBeforeText();
    // Stamps and versions as the summary writes them.
    static QString dateStamp(const QDateTime &t);
    static QString timeStamp(const QDateTime &t);
    static QString dateTimeStamp(const QDateTime &t);
    static QString versionDateText(const udppack &unit);

Q_SIGNALS:
    void runningChanged(bool running);
    void summaryLine(const QString &line);
    void rowAdded(int row);
    void rowChanged(int row);
    void rowsCleared();
    void phaseChanged(const QString &ip, vork::FlashRun::Phase phase);
    // Lines acknowledged of the unit's image so far.
    void lineProgress(const QString &ip, int done, int total);
    // Once a second while a transfer runs.
    void statistics(const QString &ip, qint64 bytesSent, int seconds);
    // The padded bytes of every line sent so far (resends not counted), after each line.
    void bytesSent(const QString &ip, qint64 bytes);
    void unitFinished(const QString &ip, bool passed);

private:
    enum class LineResult { Accepted, Failed, Aborted };
    enum class Turn { Next, EndRun };

    Turn unitTurn(ScopedOperation &operation, int selectedCount);
    void flashUnit(ScopedOperation &operation, Outcome &outcome, std::uint8_t command);
    bool transfer(ScopedOperation &operation, Outcome &outcome);
    LineResult sendLine(ScopedOperation &operation, QTcpSocket *socket, const QString &ip, const QString &line);
    bool rebootWait(ScopedOperation &operation, const QString &ip);
    bool refreshIdentity(ScopedOperation &operation, Outcome &outcome, const QString &ip);
    void complete(ScopedOperation &operation, Outcome &outcome);
    void endTurn(ScopedOperation &operation);
    // The units chosen for the run that it never reached, as outcomes and summary lines.
    void reportNotReached(const QStringList &chosen);

    udppack *unitOf(const ScopedOperation &operation) const;
    void add(const QString &line);
    void addTimed(const QString &text); // tab, time, text
    void setStatus(std::uint16_t status);
    void setPhase(const QString &ip, Phase phase);
    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }

    UnitServices &m_services;
    FlashImage m_image;       // as opened and checked
    QStringList m_lines;      // the flash line list of the unit being flashed
    FlashMode m_mode = FlashMode::Program;
    bool m_dontReboot = false;
    Speed m_speed = Speed::FullThrottle;
    bool m_fitnessChecked = false;
    QHash<QString, QStringList> m_prechecked;
    bool m_unitDontReboot = false; // this unit's command leaves it running its old program
    std::function<bool(BootLoaderChoice &)> m_chooseBootLoader;
    BootLoaderChoice m_choice;
    Timings m_t;
    std::function<QDateTime()> m_clock;

    bool m_running = false;
    bool m_abort = false;
    QDateTime m_startTime;
    QElapsedTimer m_startClock;
    qint64 m_bytesSent = 0;
    int m_acknowledged = 0;
    QString m_lineFailure;     // why the line in flight failed, naming it
    QStringList m_abortedSelection; // the units still to come when the abort came
    QString m_expectedVersion; // from the image's build block; empty when it has none
    QStringList m_summary;
    QList<Row> m_rows;
    QList<Outcome> m_outcomes;
};

} // namespace vork
