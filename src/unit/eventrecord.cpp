#include "unit/eventrecord.h"

#include "unit/bytecursor.h"

#include <algorithm>
#include <cstdlib>

namespace vork {

namespace {

struct CodeText
{
    int code;
    const char *text;
};

// Error codes with words; 30-39 are made in errorText().
constexpr CodeText errorTexts[] = {
    {0, "00  Startup"},
    {1, "01  Too much data obtained"},
    {4, "04  Front & back bits = 0"},
    {5, "05  Front & back bits = 1"},
    {6, "06  Incorrect parity"},
    {10, "10  Unrecognizable host message received"},
    {15, "15  Incorrect hamming code"},
    {16, "16  More than 5 leading zeros"},
    {17, "17  Host message received without <cr>"},
    {19, "19  Overload of input data from reader"},
    {20, "20  Checksum error in host message received"},
    {91, "91  Photoeye A Diagnostic insufficient transitions"},
    {92, "92  Photoeye B Diagnostic insufficient transitions"},
    {93, "93  Photoeyes A&B Diagnostic insufficient transitions"},
    {94, "94  Photoeye C Diagnostic insufficient transitions"},
    {95, "95  Photoeyes A&C Diagnostic insufficient transitions"},
    {96, "96  Photoeyes B&C Diagnostic insufficient transitions"},
    {99, "99  Diagnostic attempt aborted"},
};

// Boot messages by entry 0-25.
constexpr const char *bootTexts[] = {
    "Running Boot Loader A",
    "Running Boot Loader B",
    "Running Boot Loader A, but verify failed",
    "Running Boot Loader B, but verify failed",
    "Starting flash of Boot Loader A",
    "Starting flash of Boot Loader B",
    "Starting flash of Boot Loader Manager",
    "Boot Loader A Successfully Set to Primary",
    "Boot Loader B Successfully Set to Primary",
    "Boot Loader A Failed to be Set to Primary",
    "Boot Loader B Failed to be Set to Primary",
    "Boot Loader A not Set to Primary",
    "Boot Loader B not Set to Primary",
    "Erasing Active Boot Loader success",
    "Erasing Active Boot Loader failure",
    "Erase Boot Loader A success",
    "Erase Boot Loader A failure",
    "Erase Boot Loader B success",
    "Erase Boot Loader B failure",
    "Finish flash of BL A success",
    "Finish flash of BL B success",
    "Finish flash of BL Manager success",
    "Finish flash of BL A failure",
    "Finish flash of BL B failure",
    "Finish flash of BL Manager failure",
    "BLM reset",
};

// Alarm codes 0-65; codes 2 and 9 have no words and read as unknown.
constexpr const char *alarmTexts[] = {
    "Startup",                              // 0
    "Wrong Version",                        // 1
    nullptr,                                // 2
    "Remote Access Connection",             // 3
    "Remote Access Disconnect",             // 4
    "UDP Discovery",                        // 5
    "Flash Program",                        // 6
    "Flash Bootloader",                     // 7
    "Configuration ",                       // 8
    nullptr,                                // 9
    "Time Set",                             // 10
    "Flashing",                             // 11
    "Flashing Successful",                  // 12
    "Flashing Failed",                      // 13
    "Monitor ON",                           // 14
    "Monitor OFF",                          // 15
    "History ON",                           // 16
    "History OFF",                          // 17
    "Force Read",                           // 18
    "Network Control Connect",              // 19
    "Network Control Disconnect",           // 20
    "Network Control Connect Failure",      // 21
    "Network Control Command Received",     // 22
    "Network Control Read Fault",           // 23
    "Watch Dog Timer Reset",                // 24
    "Bad Alarm Data Invalid Rdr",           // 25
    "DeviceNet Option not Enabled",         // 26
    "UDP Reset Command Received",           // 27
    "UDP Set IP Command Received",          // 28
    "Network Control - No Ack Port Reset",  // 29
    "Network Monitor Triggered",            // 30
    "Failed to Contact Time Server",        // 31
    "History Write Error - Not Erased",     // 32
    "History Index Out-Of-Bounds",          // 33
    "No DHCP server - Turning off DHCP",    // 34
    "Serial Port Overflow",                 // 35
    "Configuration Failed to Save",         // 36
    "EIP Control Connect",                  // 37
    "EIP Control Disconnect",               // 38
    "EIP - ",                               // 39
    "UDP: Restoring Factory Defaults",      // 40
    "Read Attempt Failed - Minimum Test 1", // 41
    "Read Attempt Failed - Minimum Test 2", // 42
    "Unauthorized Remote Access Attempted", // 43
    "Reboot Caused by Network Fault",       // 44
    "Network Warning",                      // 45
    "Flash Warning",                        // 46
    "System Warning",                       // 47
    "Time Command Ignored - Disabled",      // 48
    "Time Command Ignored - Bad Data",      // 49
    "EIP Warning: ",                        // 50
    "Webpage History Exported",             // 51
    "Webpage Configuration Exported",       // 52
    "Safe Mode On - Over Clocking off",     // 53
    "Reset to Default Configuration",       // 54
    "PLC Mode Changed: ",                   // 55
    "EIP Comms Down",                       // 56
    "Web Request: ",                        // 57
    "Network Warning: ",                    // 58
    "EIP Status: FE",                       // 59
    "EIP Comm Timeout",                     // 60
    "Ethernet IP I/O Session Started",      // 61
    "Ethernet IP I/O Session Stopped",      // 62
    "Safe Mode WS1",                        // 63
    "Ethernet IP Forward Open Error",       // 64
    "Idle %: Avg Min Max",                  // 65
};

// Firmware 5.0.0-5.0.2 numbered alarms 75-80 this way (and 50-74 as boot messages).
constexpr const char *alarmTexts500[] = {
    "Webpage History Exported",       "Webpage Configuration Exported", "Safe Mode On - Over Clocking off",
    "Reset to Default Configuration", "EIP PLC Mode Changed",           "EIP Comms Down",
};

struct DetailText
{
    int alarm;
    int value;
    const char *text;
};

// Matched on the whole value: two bits set is no row.
constexpr DetailText detailTexts[] = {
    {8, 0, "Saved"},
    {8, 1, "Saved"},
    {8, 4, "Archived"},
    {8, 5, "Saved & Archived"},
    {8, 8, "Restored"},
    {8, 16, "Archive Deleted"},
    {30, 1, " - Max Ports Exceeded"},
    {30, 2, " - Manual Port Reset (cs c)"},
    {30, 4, " - Listen Fault"},
    {30, 8, " - Hung in Close State"},
    {30, 16, " - Server Process Failed"},
    {30, 32, " - No Connection Reset"},
    {30, 64, " - Child Process Failed"},
    {30, 128, " - Major Fault Reboot"},
    {39, 0, " ETH Cable Unplugged"},
    {39, 1, " IO Timeout; //Network send 16 collisions"},
    {39, 2, " ETH Cable Unplugged"},
    {39, 8, " Hung in Close State"},
    {44, 1, " - ETH SYSD stopped, Reboot"},
    {44, 2, " - ETH EIP stopped, Reboot"},
    {44, 4, " - ETH Major fault, Reboot"},
    {45, 1, " - XMT 16 collisions"},
    {45, 2, " - XMT flag was reset"},
    {45, 4, " - XMT under run"},
    {45, 8, " - SYSD not responding"},
    {45, 16, " - EIP not responding"},
    {45, 32, " - Cable Unplugged"},
    {45, 64, " - Out of slots"},
    {45, 128, " - No RX buffers"},
    {46, 1, " - Failed to ID Flash Chip"},
    {46, 2, " - Failed to Erase Flash"},
    {46, 4, " - Failed to Write Flash"},
    {46, 8, " - Failed to Save Setup"},
    {46, 16, " - Address Out-Of-Bounds"},
    {46, 32, " - Failed to Locate History Pointer"},
    {46, 64, " - Had Retries with Success"},
    {46, 128, " - Failed to Erase/Write Persistent Data"},
    {47, 1, " - Invalid Reader Number"},
    {47, 2, " - Webpage Write buffer overflow"},
    {47, 128, " - Low memory"},
    {50, 1, "PROG->RUN"},
    {50, 2, "RUN->PROG"},
    {55, 1, " PLC Mode Changed - PROG->RUN"},
    {55, 2, " PLC Mode Changed - RUN->PROG"},
    {57, 0, "Home"},
    {57, 1, "History"},
    {57, 2, "Configuration"},
    {57, 3, "Connections"},
    {57, 4, "EIP"},
    {57, 5, "NTA"},
};

// Alarm 30 in the alternative reading; it replaces the standard rows of 30.
constexpr DetailText alternative30Texts[] = {
    {30, 1, " - I/O fault: No data for 60s"},
    {30, 2, " - ETH Cable Unplugged"},
    {30, 8, " - Hung in close/closewt state"},
};

QString unknownAlarm()
{
    return QStringLiteral("Unknown Alarm");
}

QString twoDigits(int v)
{
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

// "+05", "-03", "-128".
QString signedValue(int v)
{
    return QLatin1Char(v < 0 ? '-' : '+') + twoDigits(std::abs(v));
}

template <std::size_t N>
const char *findDetail(const DetailText (&rows)[N], int alarm, int value)
{
    for (const DetailText &row : rows)
        if (row.alarm == alarm && row.value == value)
            return row.text;
    return nullptr;
}

} // namespace

DataPack decodeDataPack(QByteArrayView bytes, bool *complete)
{
    if (complete)
        *complete = bytes.size() >= DataPack::size;
    // Never more than one record, whatever follows it.
    ByteReader r(bytes.first(std::min<qsizetype>(bytes.size(), DataPack::size)));
    DataPack p;
    p.typ = r.u8();
    p.rdr = r.u8();
    p.month = r.u8();
    p.day = r.u8();
    p.cent = r.u8();
    p.year = r.u8();
    p.hr = r.u8();
    p.min = r.u8();
    p.sec = r.u8();
    for (auto &b : p.data)
        b = r.u8(); // zero past a short buffer
    return p;
}

QByteArray encodeDataPack(const DataPack &p)
{
    QByteArray out;
    out.reserve(DataPack::size);
    ByteWriter w(out);
    for (std::uint8_t b : {p.typ, p.rdr, p.month, p.day, p.cent, p.year, p.hr, p.min, p.sec})
        w.u8(b);
    for (std::uint8_t b : p.data)
        w.u8(b);
    return out;
}

QString dataPackTimeText(const DataPack &p)
{
    const QString date = twoDigits(p.month) + QLatin1Char('/') + twoDigits(p.day) + QLatin1Char('/')
                         + QString::number(p.fullYear());
    // The record stays usable; only its time of day is not believed.
    if (!p.timeValid())
        return date + QStringLiteral("  Bad Time");
    return date + QStringLiteral("  ") + twoDigits(p.hr) + QLatin1Char(':') + twoDigits(p.min) + QLatin1Char(':')
           + twoDigits(p.sec);
}

QString diagnosticText(const DataPack &p)
{
    const auto v = p.diagnosticValues();
    return QLatin1Char('A') + signedValue(v[0]) + QStringLiteral("  B") + signedValue(v[1]) + QStringLiteral(" C")
           + signedValue(v[2]) + QStringLiteral(" X") + signedValue(v[3]) + QStringLiteral(" Y") + signedValue(v[4]);
}

QString dataPackKindText(int typ)
{
    switch (typ) {
    case 1: return QStringLiteral("Error");
    case 2: return QStringLiteral("Label");
    case 3: return QStringLiteral("Diagnostic");
    case 4: return QStringLiteral("Alarm");
    case 5: return QStringLiteral("Boot");
    default: return {};
    }
}

QString errorText(int code)
{
    if (code < 0 || code > 99)
        return QStringLiteral("Invalid Error Number ") + QString::number(code);
    if (code >= 30 && code <= 39)
        return twoDigits(code) + QStringLiteral("  Incorrect number of data bits ");
    for (const CodeText &row : errorTexts)
        if (row.code == code)
            return QString::fromLatin1(row.text);
    return twoDigits(code);
}

QString bootText(int code)
{
    int entry = -1;
    if (code >= 0 && code <= 25)
        entry = code;
    else if (code >= 50 && code <= 74)
        entry = code - 50;
    if (entry < 0 || entry >= int(std::size(bootTexts)))
        return {};
    return QString::fromLatin1(bootTexts[entry]);
}

QString alarmText(int code, int versionNumber)
{
    const bool firmware500 = versionNumber >= 500 && versionNumber <= 502;
    if (firmware500) {
        if (code >= 50 && code <= 74)
            return bootText(code);
        if (code >= 75 && code <= 80)
            return QString::fromLatin1(alarmTexts500[code - 75]);
        if (code > 49)
            return unknownAlarm();
    }
    if (code < 0 || code >= int(std::size(alarmTexts)) || !alarmTexts[code])
        return unknownAlarm();
    return QString::fromLatin1(alarmTexts[code]);
}

QString alarmDetailText(int alarmCode, int detail, AlarmDetailReading reading)
{
    const char *text = reading == AlarmDetailReading::Alternative && alarmCode == 30
                           ? findDetail(alternative30Texts, alarmCode, detail)
                           : findDetail(detailTexts, alarmCode, detail);
    return text ? QString::fromLatin1(text) : QString();
}

QString dataPackValueText(const DataPack &p, int versionNumber, AlarmDetailReading reading)
{
    switch (p.kind()) {
    case DataPackKind::Error: {
        const int code = p.errorCode();
        QString text = errorText(code);
        if (code >= 30 && code <= 39 && p.errorBitCount() != 0)
            text += QStringLiteral("- ") + QString::number(p.errorBitCount()) + QStringLiteral(" Bits  Label ")
                    + QString::number(p.errorLabelNumber());
        return text;
    }
    case DataPackKind::Label:
        return QString::number(p.labelNumber());
    case DataPackKind::Diagnostic:
        return diagnosticText(p);
    case DataPackKind::Alarm:
        return alarmText(p.alarmCode(), versionNumber) + alarmDetailText(p.alarmCode(), p.alarmDetail(), reading);
    case DataPackKind::Boot:
        return bootText(p.bootCode());
    default:
        return {};
    }
}

} // namespace vork
