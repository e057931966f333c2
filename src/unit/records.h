#pragma once

#include <QPointer>
#include <QString>

#include <array>
#include <cstdint>

namespace vork {


// Date and time as the units encode it; eight zero bytes mean "no time".
struct dtpack
{
    std::uint8_t sec = 0;
    std::uint8_t minutes = 0;
    std::uint8_t hrs = 0;
    std::uint8_t dayOfMonth = 0;
    std::uint8_t dayOfWeek = 0; // 1 = Sunday .. 7 = Saturday when the program sends one
    std::uint8_t mon = 0;
    std::uint8_t year = 0;      // within the century
    std::uint8_t cent = 0;

    static constexpr int size = 8;
    int fullYear() const { return cent * 100 + year; }
    bool isZero() const { return !(sec | minutes | hrs | dayOfMonth | dayOfWeek | mon | year | cent); }
    bool operator==(const dtpack &) const = default;
};

// Firmware version, build date and reader count.
struct vpack
{
    std::array<std::uint8_t, 3> vnum{}; // major, minor, revision
    std::array<std::uint8_t, 4> vbld{}; // build day, month, century, year within century
    std::uint8_t vrcnt = 0;             // readers driven: 1, 2 or 8

    static constexpr int size = 8;
    bool operator==(const vpack &) const = default;
};

// One discovered unit: its identity from the announcement and the program's state for it.
struct udppack
{
    QString desc;
    QString vbuild;
    QString vnumber;
    vpack ver;
    QString ip;
    QString mac;
    std::uint8_t flash_mfg = 0;
    std::uint8_t flash_typ = 0;
    dtpack dt;
    std::uint16_t caddr = 0;
    std::uint32_t rt = 0;
    QString blv;
    std::uint16_t naddr = 0;
    std::uint8_t model = 0;
    std::uint8_t cons = 0;
    std::array<std::uint8_t, 3> zosv{};
    std::uint8_t cpui = 0;
    std::uint8_t ncp = 0;
    std::uint8_t bla = 0;
    std::uint8_t blb = 0;

    bool selected = false;
    bool connected = false;
    std::uint16_t FlashState = 0;
    // Key of this unit's TCP client on the connection side; follows the record through sorts. 0: none yet.
    quint64 link = 0;
    std::uint8_t update = 0;

    std::array<QString, 8> LastRead;
    std::array<QString, 8> LastReadtime;
    std::array<QString, 8> LastDiag;
    std::array<QString, 8> LastDiagtime;
    std::array<QString, 8> LastErr;
    std::array<QString, 8> LastErrtime;
    std::array<QString, 8> LastAlarm;
    std::array<QString, 8> LastAlarmtime;
    bool Monitor = false;

    bool dateoff = false;
    std::uint16_t minutesoff = 0;

    // Copies every field the announcement fills, leaving the program's state alone.
    void takeAnnouncement(const udppack &a);
    // Empties the last read, diagnostic, error and alarm texts of every reader.
    void resetReaderTexts();
};

} // namespace vork
