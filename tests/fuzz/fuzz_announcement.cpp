// Fuzz entry for the announcement decoder: arbitrary bytes and an arbitrary
// byte count. Built as a libFuzzer target with clang, and run by a plain
// driver (fuzz_smoke_main.cpp) in every build.
//
// Input: byte 0 picks how the count is made, then the count bytes, then the
// datagram. A broken property aborts, so both drivers report it.

#include "unit/announcement.h"

#include <QByteArrayView>
#include <QDateTime>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace vork;

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "announcement property broken: %s\n", what);
        std::abort();
    }
}

bool sameFields(const udppack &a, const udppack &b)
{
    return a.desc == b.desc && a.vbuild == b.vbuild && a.vnumber == b.vnumber && a.ver == b.ver && a.ip == b.ip
           && a.mac == b.mac && a.flash_mfg == b.flash_mfg && a.flash_typ == b.flash_typ && a.dt == b.dt
           && a.caddr == b.caddr && a.rt == b.rt && a.blv == b.blv && a.naddr == b.naddr && a.model == b.model
           && a.cons == b.cons && a.zosv == b.zosv && a.cpui == b.cpui && a.ncp == b.ncp && a.bla == b.bla
           && a.blb == b.blb && a.dateoff == b.dateoff && a.minutesoff == b.minutesoff;
}

std::int32_t readCount(const std::uint8_t *&data, std::size_t &size)
{
    if (size == 0)
        return 0;
    const std::uint8_t mode = data[0];
    ++data;
    --size;
    switch (mode % 3) {
    case 0: // the datagram's own length, as the transport reports it
        return static_cast<std::int32_t>(size);
    case 1: { // a small count, negative ones included
        std::int16_t c = 0;
        if (size >= 2) {
            std::memcpy(&c, data, 2);
            data += 2;
            size -= 2;
        }
        return c;
    }
    default: { // anything at all
        std::int32_t c = 0;
        if (size >= 4) {
            std::memcpy(&c, data, 4);
            data += 4;
            size -= 4;
        }
        return c;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::int32_t count = readCount(data, size);
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    static const QDateTime now(QDate(2024, 5, 14), QTime(10, 2, 31));

    udppack u;
    u.selected = true;
    u.update = 3;
    u.Monitor = true;
    u.LastRead[0] = QStringLiteral("kept");
    decodeAnnouncement(bytes, count, u, now);

    check(u.selected && u.update == 3 && u.Monitor && u.LastRead[0] == QStringLiteral("kept"), "program state untouched");
    check(u.desc.size() <= 64 && !u.desc.contains(QChar(0)), "description: non-zero bytes of 64");
    check(u.ip.size() <= 15 && !u.ip.contains(QChar(0)), "address text: non-zero bytes of 15");
    check(u.mac.size() == 12, "MAC: 12 characters");
    check(u.blv.isEmpty() || (u.blv.size() == 4 && u.blv.at(1) == QLatin1Char('.')), "boot loader text");
    check(!u.blv.isEmpty() || u.rt == 0, "no boot loader, no run time");
    check(u.vnumber != QStringLiteral("5.0.1") || u.model == 8, "5.0.1 is model 8");
    check(u.minutesoff <= 1440, "minutes off within a day");
    check(isValidClock(u.dt) || (u.dateoff && u.minutesoff == 0), "invalid clock is off by no minutes");

    // Only the first min(count, size, 130) bytes count: the same bytes in a
    // zero-filled 130-byte block decode alike.
    const qsizetype used = std::min<qsizetype>(std::max<qsizetype>(count, 0), std::min<qsizetype>(size, 130));
    QByteArray block(130, '\0');
    if (used > 0)
        std::memcpy(block.data(), data, static_cast<std::size_t>(used));
    udppack padded;
    decodeAnnouncement(block, 130, padded, now);
    check(sameFields(u, padded), "bytes past the count never decode");
    if (used < 109)
        check(u.caddr == 0 && u.rt == 0 && u.blv.isEmpty() && u.naddr == 0 && u.cons == 0 && u.cpui == 0
                  && u.ncp == 0 && u.bla == 0 && u.blb == 0,
              "fields of the long announcement are zero in a short one");

    // Decoding again into a used record gives the same result.
    decodeAnnouncement(bytes, count, padded, now);
    check(sameFields(u, padded), "decoding is repeatable");

    // The clock-reading overload takes the same path.
    udppack live;
    decodeAnnouncement(bytes, count, live);
    check(live.desc == u.desc && live.rt == u.rt, "overload without a clock");
    return 0;
}
