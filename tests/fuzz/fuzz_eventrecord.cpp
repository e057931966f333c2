// Fuzz entry for the event record decoder and its texts. Built as a libFuzzer
// target with clang; the plain driver below runs it in every build.
//
// Input: two bytes pick the unit's version number and the alarm detail reading,
// the rest is the record as received (any length). A broken property aborts.

#include "unit/eventrecord.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

using namespace vork;

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "event record property broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    int version = 0;
    AlarmDetailReading reading = AlarmDetailReading::Standard;
    if (size >= 2) {
        const int v = data[0] | (data[1] << 8);
        version = (v & 0x7FFF) % 1000;
        reading = (v & 0x8000) ? AlarmDetailReading::Alternative : AlarmDetailReading::Standard;
        data += 2;
        size -= 2;
    }
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    bool complete = false;
    const DataPack p = decodeDataPack(bytes, &complete);
    check(complete == (size >= std::size_t(DataPack::size)), "complete exactly from 19 bytes");

    // The bytes given come back; the missing ones as zeros; nothing after the 19th.
    const QByteArray back = encodeDataPack(p);
    check(back.size() == DataPack::size, "19 bytes built");
    const std::size_t used = std::min<std::size_t>(size, DataPack::size);
    check(used == 0 || std::memcmp(back.constData(), data, used) == 0, "bytes given come back");
    for (std::size_t i = used; i < std::size_t(DataPack::size); ++i)
        check(back[qsizetype(i)] == 0, "missing bytes are zero");
    check(decodeDataPack(back) == p, "built record decodes alike");

    const auto slot = p.readerSlot();
    check(!slot || (*slot >= 0 && *slot < DataPack::readerSlots && *slot == p.rdr), "reader slot in range");
    check(slot.has_value() == (p.rdr < DataPack::readerSlots), "slot exactly for readers 0-7");

    const QString time = dataPackTimeText(p);
    check(time.endsWith(QStringLiteral("Bad Time")) != p.timeValid(), "bad time exactly for out-of-range fields");
    check(diagnosticText(p).startsWith(QLatin1Char('A')), "diagnostic text");

    const QString value = dataPackValueText(p, version, reading);
    switch (p.kind()) {
    case DataPackKind::Error:
        check(value.startsWith(errorText(p.errorCode())), "error value starts with its text");
        break;
    case DataPackKind::Label:
        check(value == QString::number(p.labelNumber()), "label value");
        break;
    case DataPackKind::Diagnostic:
        check(value == diagnosticText(p), "diagnostic value");
        break;
    case DataPackKind::Alarm:
        check(!value.isEmpty() && value.startsWith(alarmText(p.alarmCode(), version)), "alarm value");
        check(value.endsWith(alarmDetailText(p.alarmCode(), p.alarmDetail(), reading)), "alarm detail appended");
        break;
    case DataPackKind::Boot:
        check(value == bootText(p.bootCode()), "boot value");
        break;
    default:
        check(value.isEmpty() && dataPackKindText(p.typ).isEmpty(), "no value for other kinds");
        break;
    }
    return 0;
}

#ifndef VORK_LIBFUZZER
namespace {

// Runs one input from a heap block of exactly its size, so a read past the
// end is a sanitizer report rather than a read of slack.
void runExact(const std::vector<std::uint8_t> &input)
{
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[input.size() + 1]);
    if (!input.empty())
        std::memcpy(block.get(), input.data(), input.size());
    LLVMFuzzerTestOneInput(block.get(), input.size());
}

std::vector<std::uint8_t> generate(std::mt19937 &rng)
{
    static const std::size_t lengths[] = {0, 1, 2, 8, 9, 10, 18, 19, 20, 38, 64};
    static const int versions[] = {0, 259, 499, 500, 501, 502, 503, 999};
    std::vector<std::uint8_t> input;
    const int v = versions[rng() % std::size(versions)] | (rng() % 2 ? 0x8000 : 0);
    input.push_back(static_cast<std::uint8_t>(v));
    input.push_back(static_cast<std::uint8_t>(v >> 8));

    // A plausible record of a kind 0-6 with codes near the tables' edges, or noise.
    std::vector<std::uint8_t> rec(DataPack::size);
    if (rng() % 4 != 0) {
        static const std::uint8_t codes[] = {0, 2, 9, 29, 30, 39, 40, 45, 49, 50, 55, 65, 66, 74, 75, 80, 81, 99, 100, 255};
        rec = {static_cast<std::uint8_t>(rng() % 7), static_cast<std::uint8_t>(rng() % 10), 3, 7, 20, 21,
               static_cast<std::uint8_t>(rng() % 26), static_cast<std::uint8_t>(rng() % 62),
               static_cast<std::uint8_t>(rng() % 62), codes[rng() % std::size(codes)],
               static_cast<std::uint8_t>(1u << (rng() % 9)), static_cast<std::uint8_t>(rng()),
               static_cast<std::uint8_t>(rng()), 0, 0, 0, 0, 0, 0};
        for (unsigned flips = rng() % 3; flips > 0; --flips)
            rec[rng() % rec.size()] = static_cast<std::uint8_t>(rng());
    } else {
        for (auto &b : rec)
            b = static_cast<std::uint8_t>(rng());
    }
    rec.resize(lengths[rng() % std::size(lengths)], static_cast<std::uint8_t>(rng()));
    input.insert(input.end(), rec.begin(), rec.end());
    if (rng() % 50 == 0)
        input.resize(rng() % 3);
    return input;
}

} // namespace

int main(int argc, char **argv)
{
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
    std::mt19937 rng(20210307u); // fixed: every run tries the same inputs
    for (long i = 0; i < runs; ++i)
        runExact(generate(rng));
    std::printf("%ld generated input(s) decoded\n", runs);
    return 0;
}
#endif
