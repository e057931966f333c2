#include "simflashhandler.h"

#include "simunitserver.h"

#include "connection/commands.h"

namespace vork::sim {

namespace {

constexpr qsizetype paddedLength = 139;
constexpr qsizetype maxImage = 4 * 1024 * 1024;
constexpr std::uint8_t verifyFault = 0x16;
constexpr std::uint8_t syntaxError = '2';

int hexNibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int hexByte(QByteArrayView v, qsizetype at)
{
    if (at + 1 >= v.size())
        return -1;
    const int hi = hexNibble(v[at]);
    const int lo = hexNibble(v[at + 1]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

// The byte's hex digits read as a decimal number, as the build block writes them.
int asDecimal(std::uint8_t b)
{
    const int hi = b >> 4;
    const int lo = b & 0x0F;
    return hi > 9 || lo > 9 ? -1 : hi * 10 + lo;
}

} // namespace

SimFlashHandler::Identity SimFlashHandler::identityOf(const QByteArray &data)
{
    static const QByteArray marker("\xA5\xA5\xA5\xA5", 4);
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    Identity id;
    for (qsizetype at = data.indexOf(marker); at >= 0; at = data.indexOf(marker, at + 1)) {
        const qsizetype start = at - 3;
        if (start < 0 || start + 27 > data.size())
            continue;
        const auto b = [&](int offset) { return static_cast<std::uint8_t>(data[start + offset]); };
        int month = 0;
        const QByteArray monthText = data.mid(start + 14, 3);
        for (int m = 0; m < 12; ++m)
            if (monthText == months[m])
                month = m + 1;
        const QByteArray day = data.mid(start + 18, 2).replace(' ', '0');
        bool dayOk = false, yearOk = false;
        const int dayValue = day.toInt(&dayOk);
        const int year = data.mid(start + 21, 4).toInt(&yearOk);
        const int v0 = asDecimal(b(0)), v1 = asDecimal(b(1)), v2 = asDecimal(b(2)), readers = asDecimal(b(7));
        if (v0 < 0 || v1 < 0 || v2 < 0 || readers < 0 || month == 0 || !dayOk || !yearOk)
            continue;
        id.found = true;
        id.version = {std::uint8_t(v0), std::uint8_t(v1), std::uint8_t(v2)};
        id.build = {std::uint8_t(dayValue), std::uint8_t(month), std::uint8_t(year / 100), std::uint8_t(year % 100)};
        id.readers = std::uint8_t(readers);
        return id;
    }
    return id;
}

qsizetype SimFlashHandler::wireLength(QByteArrayView rest)
{
    if (rest.isEmpty())
        return 0;
    if (rest[0] != ':')
        return rest.size() >= paddedLength ? paddedLength : 0;
    if (rest.size() < 3)
        return 0;
    const int length = hexByte(rest, 1);
    const qsizetype record = length < 0 ? paddedLength : 11 + 2 * qsizetype(length);
    const qsizetype wire = std::max(record, paddedLength);
    return rest.size() >= wire ? wire : 0;
}

bool SimFlashHandler::knows(Mode mode, std::uint8_t byte) const
{
    if (mode != Mode::CommandLevel)
        return false;
    switch (byte) {
    case 'F': case 'L': case 'b': case 'B': case 'O': case 'o': case 0xCF: case 0xEF: return true;
    default: return false;
    }
}

bool SimFlashHandler::rebooting() const
{
    return m_command != 'L' && m_command != 'B';
}

void SimFlashHandler::execute(SimHandlerPort &port, std::uint8_t byte)
{
    const SimFlash &f = port.unit().unit().flash;
    if (f.failErase) {
        port.nak(byte);
        return;
    }
    m_command = byte;
    m_accepted = 0;
    m_naks = 0;
    m_silenced = false;
    m_data.clear();
    port.ackAfter(byte, f.eraseMs);
    port.setMode(Mode::Flash);
}

qsizetype SimFlashHandler::step(SimHandlerPort &port, QByteArrayView rest)
{
    if (rest.isEmpty())
        return 0;
    if (rest[0] == static_cast<char>(Command::FlashAbort)) {
        port.setMode(Mode::CommandLevel);
        port.ack(static_cast<std::uint8_t>(Command::FlashAbort));
        return 1;
    }
    const qsizetype wire = wireLength(rest);
    if (wire == 0)
        return 0;
    if (m_silenced)
        return wire;
    const SimFlash &f = port.unit().unit().flash;
    const int number = m_accepted + 1;
    if (f.dropLine == number) {
        port.drop();
        return wire;
    }
    if (f.silentLine == number) {
        m_silenced = true;
        return wire;
    }
    if (f.nakLine == number && (f.nakTimes == 0 || m_naks < f.nakTimes)) {
        ++m_naks;
        port.answerByte(NAK);
        return wire;
    }
    if (f.answerLine == number) {
        port.answerByte(f.answerByte);
        return wire;
    }

    // The record itself, then nothing but padding.
    const QByteArrayView line = rest.first(wire);
    const int length = hexByte(line, 1);
    const qsizetype record = 11 + 2 * qsizetype(qMax(0, length));
    if (line[0] != ':' || length < 0 || record > wire) {
        port.answerByte(syntaxError);
        return wire;
    }
    for (qsizetype i = record; i < wire; ++i) {
        if (line[i] != '*') {
            port.answerByte(syntaxError);
            return wire;
        }
    }
    int sum = 0;
    QByteArray bytes;
    for (qsizetype i = 1; i + 1 < record; i += 2) {
        const int b = hexByte(line, i);
        if (b < 0) {
            port.answerByte(syntaxError);
            return wire;
        }
        sum += b;
        bytes.append(char(b));
    }
    if ((sum & 0xFF) != 0) {
        port.answerByte(verifyFault);
        return wire;
    }
    ++m_accepted;
    const int type = static_cast<std::uint8_t>(bytes[3]);
    if (type == 0 && m_data.size() < maxImage)
        m_data.append(bytes.mid(4, length));
    if (type != 1) {
        port.answerByte(ACK);
        return wire;
    }
    // The end record: the image is complete.
    port.setMode(Mode::CommandLevel);
    const bool program = m_command == 'F' || m_command == 'L';
    const Identity id = program && !f.keepOldVersion ? identityOf(m_data) : Identity{};
    if (!rebooting()) {
        // Written but not yet running: the next reboot starts it.
        if (id.found)
            port.unit().setPendingFirmware(id.version, id.build, id.readers);
        port.answerByte(ACK);
        return wire;
    }
    if (id.found)
        port.unit().setFirmware(id.version, id.build, id.readers);
    port.answerAndReboot(ACK);
    return wire;
}

} // namespace vork::sim
