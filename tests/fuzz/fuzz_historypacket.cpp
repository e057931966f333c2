// Fuzz entry for the multi-record history packet: its framing (the size a
// count byte asks for) and its parser. Built as a libFuzzer target with clang;
// the plain driver below runs it in every build.
//
// Input: the bytes after the 'h' type byte, any length. A broken property aborts.

#include "history/historyprotocol.h"

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
        std::fprintf(stderr, "history packet property broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    const int need = historyBlockSize(bytes);
    check(size == 0 ? need == 0 : need == 1 + data[0] * DataPack::size, "size from the count byte");
    check(need <= historyBlockMax, "size within the cap");

    const HistoryPacket p = parseHistoryPacket(bytes);
    check(p.announced == (size > 0 ? data[0] : 0), "announced is the count byte");
    const qsizetype whole = size > 0 ? qsizetype(size - 1) / DataPack::size : 0;
    check(p.kept.size() <= historyPacketKept, "never more than a packet keeps");
    check(p.kept.size() == qMin<qsizetype>(qMin<qsizetype>(whole, p.announced), historyPacketKept),
          "every whole announced record up to the cap");
    check(p.complete == (size > 0 && whole >= p.announced), "complete exactly when every record is there");
    // Each kept record is the bytes at its place.
    for (qsizetype i = 0; i < p.kept.size(); ++i) {
        const QByteArray back = encodeDataPack(p.kept.at(i));
        check(std::memcmp(back.constData(), data + 1 + i * DataPack::size, DataPack::size) == 0,
              "record bytes at their place");
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
    // Counts at the edges (none, one, the 25 kept, just past them, the most a byte says)
    // with as many records, fewer, or more, and cut mid-record.
    static const std::uint8_t counts[] = {0, 1, 2, 24, 25, 26, 30, 100, 255};
    std::vector<std::uint8_t> input;
    const std::uint8_t n = rng() % 5 == 0 ? static_cast<std::uint8_t>(rng()) : counts[rng() % std::size(counts)];
    input.push_back(n);
    int records = n;
    switch (rng() % 4) {
    case 0: records = n > 0 ? int(rng() % n) : 0; break;
    case 1: records = n + 1 + int(rng() % 3); break;
    default: break;
    }
    for (int r = 0; r < records; ++r) {
        input.push_back(static_cast<std::uint8_t>(rng() % 7));
        for (int b = 1; b < DataPack::size; ++b)
            input.push_back(static_cast<std::uint8_t>(rng()));
    }
    if (rng() % 3 == 0 && !input.empty())
        input.resize(rng() % input.size());
    return input;
}

} // namespace

int main(int argc, char **argv)
{
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 5000;
    std::mt19937 rng(20210305u); // fixed: every run tries the same inputs
    for (long i = 0; i < runs; ++i)
        runExact(generate(rng));
    std::printf("%ld generated input(s) parsed\n", runs);
    return 0;
}
#endif
