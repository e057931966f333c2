#pragma once

#include <QStringList>

namespace vork::cli {

// Each command takes its own arguments (without the command word) and returns the exit status.
int discover(const QStringList &args);
int ping(const QStringList &args);
int info(const QStringList &args);
int version(const QStringList &args);
int clock(const QStringList &args);
int checksum(const QStringList &args);
int reboot(const QStringList &args);
int erase(const QStringList &args);
// By datagram, without a TCP connection.
int ram(const QStringList &args);
int archive(const QStringList &args);
int restartService(const QStringList &args);
int rebootUdp(const QStringList &args);
int syncClock(const QStringList &args);
// A new address by MAC; a unit's factory defaults by address (TCP) or MAC (datagram).
int setIp(const QStringList &args);
int factoryReset(const QStringList &args);
// Local, no unit: "events decode HEX...".
int events(const QStringList &args);
// Live records from units in monitor mode, until interrupted.
int monitor(const QStringList &args);
// A unit's photo eyes, once or watched; a forced read on one of its readers.
int photoEyes(const QStringList &args);
int forceRead(const QStringList &args);
// "vork setup get": args after the word get.
int setupGet(const QStringList &args);
// "vork setup put/set/diff": args after the word.
int setupPut(const QStringList &args);
int setupSet(const QStringList &args);
int setupDiff(const QStringList &args);
// "vork history get": args after the word get.
int historyGet(const QStringList &args);
// "vork flash FILE ADDRESS...": an image to units, each checked first.
int flash(const QStringList &args);
// "vork hex info FILE": args after the word info; no unit.
int hexInfo(const QStringList &args);
// "vork telnet ADDRESS [COMMAND...]": log in to a unit's telnet console and run commands.
int telnet(const QStringList &args);

} // namespace vork::cli
