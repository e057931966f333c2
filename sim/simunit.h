#pragma once

#include "unit/records.h"

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QString>

#include <array>
#include <cstdint>

namespace vork::sim {

// Ways a simulated unit misbehaves when it answers a discovery query.
// Several may be on at once: silence wins, then garbage; short and oversized
// reshape the announcement; the duplicate and the delay apply to whatever is sent.
struct SimFaults
{
    int shortLength = 0;    // 1..129: send only this many bytes of the announcement
    int oversizeLength = 0; // above 130: the announcement followed by garbage up to this length
    int garbageLength = 0;  // above 0: random bytes of this length instead of the announcement
    bool duplicate = false; // answer every query twice, the second time with duplicateMac
    QString duplicateMac;   // empty: derived from the unit's own MAC
    int delayMs = 0;        // wait this long before answering
    bool silent = false;    // never answer
    bool ignoreSetIp = false; // hears a set-IP request for its MAC and keeps its address

    bool any() const
    {
        return shortLength > 0 || oversizeLength > 0 || garbageLength > 0 || duplicate || delayMs > 0 || silent || ignoreSetIp;
    }
};

// Ways a simulated unit misbehaves on its TCP command port. Command bytes are
// listed as they arrive; '0' stands for the history quit (four zero bytes).
struct SimCommandFaults
{
    QByteArray nakCommands;    // answered with NAK instead of being carried out
    QByteArray silentCommands; // no answer at all, nothing done
    QByteArray unconfirmedData; // the data block after these commands is read but neither kept nor acknowledged
    int delayMs = 0;           // wait this long before every answer
    QByteArray strayBytes;     // sent ahead of every answer
    int dropAfterBytes = 0;    // above 0: close the connection once this many bytes went out on it
    bool failErase = false;    // NAK to erase history and erase persistent data
    bool splitReplies = false; // every reply block in two writes, a short gap apart
    int lateBlockMs = 0;       // above 0: a block after an ACK goes this long after it, not holding later answers
    int trickleMs = 0;         // above 0: every reply block one byte at a time, this far apart
    int trickleRate = 0;       // above 0: every reply block at this many bytes a second (10 ms pieces)
    int closeLingerMs = 0;     // after the close command's ACK the connection stays open this long

    bool any() const
    {
        return !nakCommands.isEmpty() || !silentCommands.isEmpty() || !unconfirmedData.isEmpty() || delayMs > 0 || !strayBytes.isEmpty()
               || dropAfterBytes > 0 || failErase || splitReplies || lateBlockMs > 0 || trickleMs > 0
               || trickleRate > 0 || closeLingerMs > 0;
    }
};

// What a unit sends in monitor mode: live records of every kind from each of
// its readers, burst records every interval, and how it misbehaves doing so.
struct SimMonitor
{
    int intervalMs = 1000;      // between bursts
    int burst = 1;              // records per burst
    bool splitRecords = false;  // every record in two writes
    int garbageBytes = 0;       // bytes no reply starts with, between records
    int cutRecord = 0;          // above 0: that live record goes out cut short, then 1.5 s of silence
    bool sticky = false;        // acknowledges Q but goes on sending records
    QByteArray photoEyes;       // eyes of readers 0, 1, ... (A 4, B 2, C 1); empty: they take turns
};

// A unit's history store and how it misbehaves sending it.
struct SimHistory
{
    int records = 300;         // generated records, every kind in turn
    int dropAfterRecords = 0;  // above 0: the connection closes once a retrieval sent this many
    int stallAfterRecords = 0; // above 0: silence (no records, no ACK) once a retrieval sent this many
    int stallMs = 0;           // above 0: the silence ends after this long and the records go on
    int oversizePacket = 0;    // 26-255: every multi-record packet announces and carries this many
};

// What the checksum command reports, and how long the unit takes to work it out.
struct SimChecksum
{
    std::uint32_t checksum = 0x3A5C91E7;
    std::uint32_t byteCount = 0x0003E000;
    std::uint32_t location = 0x00FFFF; // 24 bits; 0x00FFFF: the program in RAM matches the one in flash
    int delayMs = 300;
};

// How a unit takes a firmware image, and how it misbehaves doing so. Lines count
// from 1 and by acceptance: a refused line keeps its number when it comes again.
struct SimFlash
{
    int eraseMs = 100;           // the erase takes this long before its ACK
    bool failErase = false;      // NAK to the flash command
    int nakLine = 0;             // above 0: NAK this line...
    int nakTimes = 0;            // ...this many times (0: every time)
    int silentLine = 0;          // above 0: never answer this line
    int dropLine = 0;            // above 0: drop the connection when this line arrives
    int answerLine = 0;          // above 0: answer this line with answerByte instead of ACK
    std::uint8_t answerByte = 0; // 0x18 cancel, '0'-'9' an error code, 0x16 verify fault, ...
    bool keepOldVersion = false; // reboots into the firmware it had
};

// A unit's telnet console: its credentials and how it misbehaves.
struct SimTelnet
{
    QByteArray user = QByteArrayLiteral("kivo");
    QByteArray password = QByteArrayLiteral("dulm");
    bool refuseLogin = false; // "Login Incorrect" whatever is typed
    bool silent = false;      // takes the connection and what is typed, never says a word
};

// Largest payload of one UDP datagram over IPv4.
constexpr int maxDatagramSize = 65507;

// Identity of one simulated unit: what its announcement tells.
struct SimUnit
{
    QString description;
    std::array<std::uint8_t, 3> version{5, 0, 1};
    std::array<std::uint8_t, 4> build{7, 3, 20, 19}; // day, month, century, year within century
    std::uint8_t readers = 1;
    std::uint8_t model = 8;
    std::uint8_t ncp = 1;
    QString mac;                                   // 12 hex characters
    QString bootLoader = QStringLiteral("1.05");  // up to 4 characters; empty = not reported
    std::uint8_t flashMfg = 0x1F;
    std::uint8_t flashType = 0x47;
    std::uint16_t caddr = 0;
    std::uint16_t naddr = 0;
    std::uint8_t cons = 0;
    std::uint8_t cpuIdle = 90;
    std::uint32_t runTime = 0; // seconds already run when the simulator starts
    std::array<std::uint8_t, 3> zosv{1, 0, 0};
    std::uint8_t bla = 0;
    std::uint8_t blb = 0;
    QHostAddress address;
    qint64 clockOffsetMs = 0; // unit clock = PC clock + offset
    bool oldFirmware = false; // answers with the first 109 bytes only
    SimFaults faults;

    // TCP command port.
    QByteArray setupRecord;      // 243 bytes; empty: defaultSetupRecord()
    int setupLength = 0;         // bytes of it sent after 'U'; 0: the length its version sends
    SimChecksum checksum;
    int restartSilenceMs = 1500; // how long a reboot keeps the unit off the network
    SimCommandFaults commandFaults;
    SimMonitor monitor;
    SimHistory history;
    SimFlash flash;
    SimTelnet telnet;

    // The announcement's record for a unit whose clock reads clock and that has run runTimeNow seconds.
    udppack record(const QDateTime &clock, std::uint32_t runTimeNow) const;
    // One line for the start-up listing.
    QString summary() const;
};

// "0050C2" followed by the low three bytes of the address: distinct addresses give distinct MACs.
QString macForAddress(const QHostAddress &address);
// A MAC that differs from mac (used for the duplicate answer).
QString otherMac(const QString &mac);
// True for exactly 12 hexadecimal characters.
bool isValidMac(const QString &mac);

// The 243-byte setup record a unit starts with, and goes back to when its setup is erased.
QByteArray defaultSetupRecord(const SimUnit &unit);

// The demo fleet's identities: a mix of models, versions and reader counts.
// Unit index gets the profile index % profile count and the address base + index.
SimUnit demoUnit(int index, const QHostAddress &address);

} // namespace vork::sim
