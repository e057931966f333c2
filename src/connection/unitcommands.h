#pragma once

#include "connection/connectionmanager.h"

#include <QObject>
#include <QString>

#include <optional>

namespace vork {

class CommandReplies;
class OperationGate;
class ScopedOperation;
class Operator;
class UnitTable;
struct udppack;

// The one-command actions on the current unit and the unit modes that follow
// the pages: setup mode on the SETUP page, history mode on the HISTORY page.
class UnitCommands : public QObject
{
    Q_OBJECT
public:
    enum class Erase { Setup, History, Persistent };
    // How long the setup record may take to follow the acknowledgement of 'U'.
    static constexpr int setupRecordWaitMs = 3000;

    UnitCommands(Operator &op, UnitTable &units, ConnectionManager &connections, CommandReplies &replies,
                 OperationGate &gate, QObject *parent = nullptr);

    // The unit's answer, or nothing when the erase was not sent (declined, no unit, busy).
    std::optional<AckResult> erase(Erase what);
    bool reboot();
    bool checksum();
    // 'U': the unit answers with its setup record; returns once the record came (or not).
    bool uploadSetup();

    bool enterHistoryMode();
    bool leaveHistoryMode();
    bool enterSetupMode();
    bool leaveSetupMode();

    // Run the setup upload as soon as setup mode is on (the " Setup Upload" option).
    void setSetupUploadOption(bool on) { m_setupUpload = on; }
    // A setup download switched DHCP on, so a reboot must search the whole network;
    // every page change clears it.
    void setDhcpSwitched(bool on) { m_dhcpSwitched = on; }
    bool dhcpSwitched() const { return m_dhcpSwitched; }

    static QString eraseQuestion(Erase what);
    static QString rebootQuestion(const QString &address);
    static QString checksumQuestion();

Q_SIGNALS:
    // The unit was told to restart: find it again at target, or everywhere when fullDiscovery.
    void rebooted(const QString &target, bool fullDiscovery);

private:
    udppack *connectedCurrent() const;
    bool upload(udppack &unit);
    // The unit an operation holds, found again after a question (and still connected when
    // mustBeOpen); logs "connection lost" when it is not.
    udppack *stillThere(const ScopedOperation &operation, bool mustBeOpen);

    Operator &m_op;
    UnitTable &m_units;
    ConnectionManager &m_connections;
    CommandReplies &m_replies;
    OperationGate &m_gate;
    bool m_checksumDontAsk = false; // "Don't ask again." of the checksum question, for the run
    bool m_dhcpSwitched = false;
    bool m_setupUpload = false;
};

// The address text inside a setup record (offset 24, 16 bytes), or empty.
QString setupRecordIp(const QByteArray &record);

} // namespace vork
