#pragma once

#include "connection/replyrouter.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <cstdint>

class QTimer;

namespace vork {

class ConnectionManager;
class Operator;
class UnitTable;

// The last checksum result a unit reported.
struct ChecksumResult
{
    std::uint32_t checksum = 0;
    std::uint32_t byteCount = 0;
    std::uint32_t location = 0;
    bool ramMatches() const { return location == 0x00FFFF; }
};

// The reply blocks of the command set itself: the unit clock ('T'), the
// version ('V'), the information block ('I') and the checksum result ('X').
class CommandReplies : public QObject
{
    Q_OBJECT
public:
    static constexpr int checksumBusyMs = 60000;

    CommandReplies(Operator &op, UnitTable &units, ConnectionManager &connections, QObject *parent = nullptr);
    ~CommandReplies() override;

    const ChecksumResult &lastChecksum() const { return m_checksum; }
    void clearLastChecksum() { m_checksum = {}; }
    // Version bytes of the last 'V' block.
    const QByteArray &lastVersion() const { return m_version; }

    // The checksum was acknowledged: busy cursor until the result, within a limit.
    void checksumRequested();
    void setChecksumBusyLimit(int ms) { m_checksumBusyLimit = ms; }
    // While quiet (the SETUP page is showing) a checksum result is kept without a message.
    void setChecksumQuiet(bool quiet) { m_checksumQuiet = quiet; }

    // " dddd, MMMM d, yyyy, hh:mm:ss AP" in English.
    static QString clockLabel(const QDateTime &t);

Q_SIGNALS:
    void clockReceived(const QDateTime &clock);
    void versionReceived(const QByteArray &bytes);
    void checksumReady(const vork::ChecksumResult &result);

private:
    void receiveTimeData(udppack &unit, const QByteArray &block);
    void receiveVersionData(udppack &unit, const QByteArray &block);
    void receiveInfo(const ReplySource &from, const QByteArray &block);
    void receiveCS(udppack &unit, const QByteArray &block);
    void endBusy();

    Operator &m_op;
    UnitTable &m_units;
    ConnectionManager &m_connections;
    FixedSizeSink m_clock;
    FixedSizeSink m_versionSink;
    FixedSizeSink m_info;
    FixedSizeSink m_checksumSink;
    ReplyRegistration m_registrations[4];

    ChecksumResult m_checksum;
    QByteArray m_version;
    bool m_checksumBusy = false;
    bool m_checksumQuiet = false;
    QTimer *m_checksumTimer;
    int m_checksumBusyLimit = checksumBusyMs;
};

} // namespace vork
