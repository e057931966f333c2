#pragma once

#include "simunit.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <span>
#include <utility>

namespace vork::sim {

// The JSON object of a unit that holds a switch.
enum class FaultScope {
    Answer,   // "faults": the discovery answer
    Command,  // "commandFaults": the TCP command port
    Checksum, // "checksum": what the checksum command reports
    Unit,     // a field of the unit object itself
};

enum class FaultKind {
    Switch,      // flag without value; JSON true or false
    Number,      // whole number in [min, max]; 0 also means off in JSON when zeroIsOff
    HexNumber,   // flag: hex digits; JSON: a whole number (decimal or "0x"); up to max
    Commands,    // command letters ("hp"; '0' the history quit)
    HexBytes,    // bytes as hex digits, at most max of them (the flag needs at least one)
    SwitchOrMac, // flag without value; JSON true, false or a MAC of 12 hex digits
};

// A switch's value as read from a flag or a fleet file.
struct FaultValue
{
    bool on = false;
    qint64 number = 0;
    QByteArray bytes;
    QString mac; // SwitchOrMac given as a MAC
};

// One fault switch: its flag, its JSON key and the member it sets. A new
// switch is a new row in faultSwitches(); flags, --help and the fleet file
// all follow from it.
struct FaultSwitch
{
    const char *flag;      // without "--"
    const char *valueName; // shown in --help; nullptr for a switch
    FaultScope scope;
    const char *key; // JSON key inside scope
    const char *help;
    FaultKind kind;
    qint64 min = 0;
    qint64 max = 0;
    bool zeroIsOff = false; // the fleet file may say 0 for "off" below min
    // Sets the member from a fleet file.
    void (*set)(SimUnit &, const FaultValue &) = nullptr;
    // Lays a flag over what the file set; nullptr: as set.
    void (*overlay)(SimUnit &, const FaultValue &) = nullptr;

    QString flagName() const { return QString::fromLatin1(flag); }
    QString jsonKey() const { return QString::fromLatin1(key); }
    // The range a fleet file may give for Number and HexNumber.
    qint64 jsonMin() const { return zeroIsOff ? 0 : min; }
};

std::span<const FaultSwitch> faultSwitches();
const FaultSwitch *findFaultSwitch(const QString &flag);

// The JSON object name of a scope ("faults", ...); empty for Unit.
QString faultScopeName(FaultScope scope);
// The keys the table owns in one scope.
QStringList faultKeys(FaultScope scope);

// The --help text of a row, its range included.
QString faultHelp(const FaultSwitch &row);
QList<QCommandLineOption> faultOptions();

// Reads one flag's text; on failure error says what the flag takes.
bool parseFaultFlag(const FaultSwitch &row, const QString &text, FaultValue &out, QString &error);

using FaultSetting = std::pair<const FaultSwitch *, FaultValue>;
// Every fault flag set on the command line, in table order.
bool readFaultFlags(const QCommandLineParser &parser, QList<FaultSetting> &settings, QString &error);
// Lays flags over a unit as a flag does: on top of what the file set.
void overlayFaults(SimUnit &unit, const QList<FaultSetting> &settings);

} // namespace vork::sim
