#include "simfaulttable.h"

#include "simconfig.h"

namespace vork::sim {

namespace {

constexpr qint64 maxMs = 600000;
constexpr qint64 maxStray = 4096;

using K = FaultKind;
using S = FaultScope;

// Flag order here is the order in --help.
const FaultSwitch table[] = {
    {"short", "n", S::Answer, "short", "Fault: answer with only the first n bytes", K::Number, 1, 129, true,
     [](SimUnit &u, const FaultValue &v) { u.faults.shortLength = int(v.number); },
     [](SimUnit &u, const FaultValue &v) {
         u.faults.shortLength = int(v.number);
         u.faults.oversizeLength = 0; // the flag wins over the file's oversize
     }},
    {"oversize", "n", S::Answer, "oversize", "Fault: answer with n bytes, the announcement followed by garbage",
     K::Number, 131, maxDatagramSize, true,
     [](SimUnit &u, const FaultValue &v) { u.faults.oversizeLength = int(v.number); },
     [](SimUnit &u, const FaultValue &v) {
         u.faults.oversizeLength = int(v.number);
         u.faults.shortLength = 0;
     }},
    {"garbage", "n", S::Answer, "garbage", "Fault: answer with n random bytes instead", K::Number, 1,
     maxDatagramSize, true, [](SimUnit &u, const FaultValue &v) { u.faults.garbageLength = int(v.number); }},
    {"duplicate-mac", nullptr, S::Answer, "duplicateMac",
     "Fault: answer every query a second time with another MAC (two units on one IP).", K::SwitchOrMac, 0, 0, false,
     [](SimUnit &u, const FaultValue &v) {
         u.faults.duplicate = v.on || !v.mac.isEmpty();
         if (!v.mac.isEmpty())
             u.faults.duplicateMac = v.mac;
     }},
    {"delay", "ms", S::Answer, "delayMs", "Fault: wait ms milliseconds before answering", K::Number, 0, maxMs, false,
     [](SimUnit &u, const FaultValue &v) { u.faults.delayMs = int(v.number); }},
    {"silent", nullptr, S::Answer, "silent", "Fault: never answer.", K::Switch, 0, 0, false,
     [](SimUnit &u, const FaultValue &v) { u.faults.silent = v.on; }},
    {"ignore-set-ip", nullptr, S::Answer, "ignoreSetIp",
     "Fault: hear set-IP requests for this unit's MAC but keep the old address.", K::Switch, 0, 0, false,
     [](SimUnit &u, const FaultValue &v) { u.faults.ignoreSetIp = v.on; }},
    {"old-firmware", nullptr, S::Unit, "oldFirmware", "Answer with the first 109 bytes of the announcement only.",
     K::Switch, 0, 0, false, [](SimUnit &u, const FaultValue &v) { u.oldFirmware = v.on; }},
    {"setup-length", "n", S::Unit, "setupLength",
     "Send the first n bytes of the setup record after U (default: the length of the unit's version)", K::Number, 1,
     243, true, [](SimUnit &u, const FaultValue &v) { u.setupLength = int(v.number); }},

    {"nak", "commands", S::Command, "nak", "TCP fault: answer these command bytes with NAK (e.g. \"S\").",
     K::Commands, 0, 0, false, [](SimUnit &u, const FaultValue &v) { u.commandFaults.nakCommands = v.bytes; },
     [](SimUnit &u, const FaultValue &v) { u.commandFaults.nakCommands += v.bytes; }},
    {"mute", "commands", S::Command, "silent", "TCP fault: give no answer to these command bytes (e.g. \"UT0\").",
     K::Commands, 0, 0, false, [](SimUnit &u, const FaultValue &v) { u.commandFaults.silentCommands = v.bytes; },
     [](SimUnit &u, const FaultValue &v) { u.commandFaults.silentCommands += v.bytes; }},
    {"unconfirmed", "commands", S::Command, "unconfirmed",
     "TCP fault: read the data block after these command bytes (e.g. \"D\") but neither keep nor acknowledge it",
     K::Commands, 0, 0, false, [](SimUnit &u, const FaultValue &v) { u.commandFaults.unconfirmedData = v.bytes; },
     [](SimUnit &u, const FaultValue &v) { u.commandFaults.unconfirmedData += v.bytes; }},
    {"tcp-delay", "ms", S::Command, "delayMs", "TCP fault: wait ms milliseconds before every answer", K::Number, 0,
     maxMs, false, [](SimUnit &u, const FaultValue &v) { u.commandFaults.delayMs = int(v.number); }},
    {"stray", "hex", S::Command, "stray", "TCP fault: send these bytes ahead of every answer (hex, e.g. 00 41).",
     K::HexBytes, 0, maxStray, false, [](SimUnit &u, const FaultValue &v) { u.commandFaults.strayBytes = v.bytes; }},
    {"drop-after", "n", S::Command, "dropAfter", "TCP fault: close the connection once n bytes went out on it",
     K::Number, 1, 100000000, true,
     [](SimUnit &u, const FaultValue &v) { u.commandFaults.dropAfterBytes = int(v.number); }},
    {"fail-erase", nullptr, S::Command, "failErase", "TCP fault: NAK to erase history and erase persistent data.",
     K::Switch, 0, 0, false, [](SimUnit &u, const FaultValue &v) { u.commandFaults.failErase = v.on; }},
    {"split-replies", nullptr, S::Command, "splitReplies",
     "TCP fault: send every reply block in two parts, 30 ms apart.", K::Switch, 0, 0, false,
     [](SimUnit &u, const FaultValue &v) { u.commandFaults.splitReplies = v.on; }},
    {"late-block", "ms", S::Command, "lateBlockMs",
     "TCP fault: send the block that follows an ACK (U, T, X) ms after that ACK on its own, while later "
     "commands are answered meanwhile",
     K::Number, 0, maxMs, false, [](SimUnit &u, const FaultValue &v) { u.commandFaults.lateBlockMs = int(v.number); }},
    {"trickle", "ms", S::Command, "trickleMs", "TCP fault: write every reply block one byte at a time, ms apart",
     K::Number, 0, 10000, false, [](SimUnit &u, const FaultValue &v) { u.commandFaults.trickleMs = int(v.number); }},
    {"trickle-rate", "bytes/s", S::Command, "trickleRate",
     "TCP fault: write every reply block at this many bytes a second, in 10 ms pieces", K::Number, 1, 1000000, true,
     [](SimUnit &u, const FaultValue &v) { u.commandFaults.trickleRate = int(v.number); }},
    {"close-linger", "ms", S::Command, "closeLingerMs",
     "TCP fault: keep the connection open ms after acknowledging C, then close it", K::Number, 0, maxMs, false,
     [](SimUnit &u, const FaultValue &v) { u.commandFaults.closeLingerMs = int(v.number); }},

    {"monitor-interval", "ms", S::Unit, "monitorIntervalMs",
     "Monitor mode: time between bursts of live records (default 1000)", K::Number, 10, maxMs, false,
     [](SimUnit &u, const FaultValue &v) { u.monitor.intervalMs = int(v.number); }},
    {"monitor-burst", "n", S::Unit, "monitorBurst", "Monitor mode: live records per burst (default 1)", K::Number, 1,
     1000, false, [](SimUnit &u, const FaultValue &v) { u.monitor.burst = int(v.number); }},
    {"split-records", nullptr, S::Unit, "splitRecords", "Monitor fault: send every live record in two writes.",
     K::Switch, 0, 0, false, [](SimUnit &u, const FaultValue &v) { u.monitor.splitRecords = v.on; }},
    {"garbage-between", "n", S::Unit, "garbageBetween",
     "Monitor fault: n bytes that start no reply between live records", K::Number, 1, 1000, true,
     [](SimUnit &u, const FaultValue &v) { u.monitor.garbageBytes = int(v.number); }},
    {"cut-record", "n", S::Unit, "cutRecord",
     "Monitor fault: the nth live record goes out cut short, then the stream pauses 1.5 s", K::Number, 1, 1000000, true,
     [](SimUnit &u, const FaultValue &v) { u.monitor.cutRecord = int(v.number); }},
    {"photo-eyes", "hex", S::Unit, "photoEyes",
     "Monitor mode: the photo-eye bytes of readers 0, 1, ... (hex, A 4, B 2, C 1; default: eyes take turns)",
     K::HexBytes, 0, 255, false, [](SimUnit &u, const FaultValue &v) { u.monitor.photoEyes = v.bytes; }},
    {"sticky-monitor", nullptr, S::Unit, "stickyMonitor",
     "Monitor fault: acknowledge Q but go on sending live records.", K::Switch, 0, 0, false,
     [](SimUnit &u, const FaultValue &v) { u.monitor.sticky = v.on; }},

    {"history-records", "n", S::Unit, "historyRecords",
     "History mode: records in the unit's store, every kind in turn (default 300)", K::Number, 0, 100000, false,
     [](SimUnit &u, const FaultValue &v) { u.history.records = int(v.number); }},
    {"history-drop-after", "n", S::Unit, "historyDropAfter",
     "History fault: close the connection once a retrieval sent n records", K::Number, 1, 100000, true,
     [](SimUnit &u, const FaultValue &v) { u.history.dropAfterRecords = int(v.number); }},
    {"history-stall-after", "n", S::Unit, "historyStallAfter",
     "History fault: go silent (no records, no ACK) once a retrieval sent n records", K::Number, 1, 100000, true,
     [](SimUnit &u, const FaultValue &v) { u.history.stallAfterRecords = int(v.number); }},
    {"history-stall-ms", "ms", S::Unit, "historyStallMs",
     "History fault: the silence of --history-stall-after ends after ms and the records go on", K::Number, 1, maxMs,
     true, [](SimUnit &u, const FaultValue &v) { u.history.stallMs = int(v.number); }},
    {"history-oversize", "n", S::Unit, "historyOversize",
     "History fault: every multi-record packet announces and carries n records, more than 25", K::Number, 26, 255,
     true, [](SimUnit &u, const FaultValue &v) { u.history.oversizePacket = int(v.number); }},

    {"flash-erase-ms", "ms", S::Unit, "flashEraseMs", "Flash: time the erase takes before its ACK (default 100)",
     K::Number, 0, maxMs, false, [](SimUnit &u, const FaultValue &v) { u.flash.eraseMs = int(v.number); }},
    {"flash-fail-erase", nullptr, S::Unit, "flashFailErase", "Flash fault: NAK to the flash command.", K::Switch, 0,
     0, false, [](SimUnit &u, const FaultValue &v) { u.flash.failErase = v.on; }},
    {"flash-nak-line", "k", S::Unit, "flashNakLine", "Flash fault: NAK image line k (see --flash-nak-times)",
     K::Number, 1, 10000000, true, [](SimUnit &u, const FaultValue &v) { u.flash.nakLine = int(v.number); }},
    {"flash-nak-times", "n", S::Unit, "flashNakTimes",
     "Flash fault: how often the NAK line is refused before it is taken (0: always)", K::Number, 0, 1000, false,
     [](SimUnit &u, const FaultValue &v) { u.flash.nakTimes = int(v.number); }},
    {"flash-silent-line", "k", S::Unit, "flashSilentLine", "Flash fault: never answer image line k or anything after",
     K::Number, 1, 10000000, true, [](SimUnit &u, const FaultValue &v) { u.flash.silentLine = int(v.number); }},
    {"flash-drop-line", "k", S::Unit, "flashDropLine", "Flash fault: drop the connection when image line k arrives",
     K::Number, 1, 10000000, true, [](SimUnit &u, const FaultValue &v) { u.flash.dropLine = int(v.number); }},
    {"flash-answer-line", "k", S::Unit, "flashAnswerLine",
     "Flash fault: answer image line k with --flash-answer-byte instead of ACK", K::Number, 1, 10000000, true,
     [](SimUnit &u, const FaultValue &v) { u.flash.answerLine = int(v.number); }},
    {"flash-answer-byte", "hex", S::Unit, "flashAnswerByte",
     "Flash fault: the answer of that line, hex (18 cancel, 30-39 error code, 16 verify fault)", K::HexNumber, 0,
     0xFF, false, [](SimUnit &u, const FaultValue &v) { u.flash.answerByte = static_cast<std::uint8_t>(v.number); }},
    {"flash-keep-version", nullptr, S::Unit, "flashKeepVersion",
     "Flash fault: reboot into the old firmware after a flash.", K::Switch, 0, 0, false,
     [](SimUnit &u, const FaultValue &v) { u.flash.keepOldVersion = v.on; }},

    {"telnet-refuse-login", nullptr, S::Unit, "telnetRefuseLogin",
     "Telnet fault: answer every login with \"Login Incorrect\" and hang up.", K::Switch, 0, 0, false,
     [](SimUnit &u, const FaultValue &v) { u.telnet.refuseLogin = v.on; }},
    {"telnet-silent", nullptr, S::Unit, "telnetSilent",
     "Telnet fault: take the connection but never send a byte.", K::Switch, 0, 0, false,
     [](SimUnit &u, const FaultValue &v) { u.telnet.silent = v.on; }},

    {"restart-ms", "ms", S::Unit, "restartMs", "Silence after a reboot command (default 1500)", K::Number, 0, maxMs,
     false, [](SimUnit &u, const FaultValue &v) { u.restartSilenceMs = int(v.number); }},
    {"checksum-delay", "ms", S::Checksum, "delayMs", "Time the checksum block follows its ACK (default 300)",
     K::Number, 0, maxMs, false, [](SimUnit &u, const FaultValue &v) { u.checksum.delayMs = int(v.number); }},
    {"checksum-location", "hex", S::Checksum, "location",
     "Mismatch location the checksum block reports, hex (default FFFF: match)", K::HexNumber, 0, 0xFFFFFF, false,
     [](SimUnit &u, const FaultValue &v) { u.checksum.location = static_cast<std::uint32_t>(v.number); }},
};

QString hexText(qint64 v)
{
    return QString::number(v, 16).toUpper();
}

} // namespace

std::span<const FaultSwitch> faultSwitches()
{
    return table;
}

const FaultSwitch *findFaultSwitch(const QString &flag)
{
    for (const FaultSwitch &row : table) {
        if (row.flagName() == flag)
            return &row;
    }
    return nullptr;
}

QString faultScopeName(FaultScope scope)
{
    switch (scope) {
    case FaultScope::Answer: return QStringLiteral("faults");
    case FaultScope::Command: return QStringLiteral("commandFaults");
    case FaultScope::Checksum: return QStringLiteral("checksum");
    case FaultScope::Unit: break;
    }
    return {};
}

QStringList faultKeys(FaultScope scope)
{
    QStringList keys;
    for (const FaultSwitch &row : table) {
        if (row.scope == scope)
            keys.append(row.jsonKey());
    }
    return keys;
}

QString faultHelp(const FaultSwitch &row)
{
    QString help = QString::fromLatin1(row.help);
    if (row.kind == FaultKind::Number)
        help += QStringLiteral(" (") + QString::number(row.min) + QLatin1Char('-') + QString::number(row.max)
                + QStringLiteral(").");
    return help;
}

QList<QCommandLineOption> faultOptions()
{
    QList<QCommandLineOption> options;
    for (const FaultSwitch &row : table) {
        if (row.valueName)
            options.append(QCommandLineOption(row.flagName(), faultHelp(row), QString::fromLatin1(row.valueName)));
        else
            options.append(QCommandLineOption(row.flagName(), faultHelp(row)));
    }
    return options;
}

bool parseFaultFlag(const FaultSwitch &row, const QString &text, FaultValue &out, QString &error)
{
    const QString name = QStringLiteral("--") + row.flagName();
    out = {};
    switch (row.kind) {
    case FaultKind::Switch:
    case FaultKind::SwitchOrMac:
        out.on = true;
        return true;
    case FaultKind::Number: {
        bool ok = false;
        const qint64 v = text.toLongLong(&ok);
        if (!ok || v < row.min || v > row.max) {
            error = name + QStringLiteral(" takes a number from ") + QString::number(row.min) + QStringLiteral(" to ")
                    + QString::number(row.max);
            return false;
        }
        out.number = v;
        return true;
    }
    case FaultKind::HexNumber: {
        bool ok = false;
        const qint64 v = text.toLongLong(&ok, 16);
        if (!ok || v < row.min || v > row.max) {
            error = name + QStringLiteral(" takes a hex number up to ") + hexText(row.max);
            return false;
        }
        out.number = v;
        return true;
    }
    case FaultKind::Commands:
        if (!parseCommandBytes(text, out.bytes)) {
            error = name + QStringLiteral(" takes command letters");
            return false;
        }
        return true;
    case FaultKind::HexBytes:
        if (!parseHexBytes(text, out.bytes) || out.bytes.isEmpty() || out.bytes.size() > row.max) {
            error = name + QStringLiteral(" takes 1 to ") + QString::number(row.max)
                    + QStringLiteral(" bytes as hex digits");
            return false;
        }
        return true;
    }
    return false;
}

bool readFaultFlags(const QCommandLineParser &parser, QList<FaultSetting> &settings, QString &error)
{
    settings.clear();
    for (const FaultSwitch &row : table) {
        if (!parser.isSet(row.flagName()))
            continue;
        FaultValue value;
        if (!parseFaultFlag(row, row.valueName ? parser.value(row.flagName()) : QString(), value, error))
            return false;
        settings.append({&row, value});
    }
    return true;
}

void overlayFaults(SimUnit &unit, const QList<FaultSetting> &settings)
{
    for (const auto &[row, value] : settings)
        (row->overlay ? row->overlay : row->set)(unit, value);
}

} // namespace vork::sim
