// Fuzz entry for configuration files: the text import of a dump and the reader
// of a .vork file take any bytes. An import either gives a record of at most
// 243 bytes' worth or a reason and nothing else; a binary file's bytes land
// over the record held, the rest of it untouched; our own dump of any record
// imports back to the same record.
//
// Input: byte 0 picks what to do with the rest.
#include "setup/setupfiles.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    switch (data[0] % 3) {
    case 0: {
        const vork::setupfiles::ReadResult r = vork::setupfiles::importText(bytes);
        check(r.ok != !r.error.isEmpty());
        check(r.length >= 0 && r.length <= vork::setuppack::size);
        check(r.record.bytes().size() == vork::setuppack::size);
        break;
    }
    case 1: {
        // Any record's own block comes back whole.
        const vork::setuppack record(bytes);
        const vork::setupfiles::ReadResult r = vork::setupfiles::importText(vork::setupfiles::configurationBlock(record));
        check(r.ok && r.length == vork::setuppack::size && r.record == record);
        break;
    }
    default: {
        static QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("fuzz.vork"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return 0;
        f.close();
        vork::setuppack held;
        for (int i = 0; i < vork::setuppack::size; ++i)
            held.setByteAt(i, std::uint8_t(i));
        const vork::setupfiles::ReadResult r = vork::setupfiles::read(path, held);
        // Refused (a length or a value no record has): the reason, and nothing changed.
        if (!r.ok) {
            check(!r.error.isEmpty() && r.record == held);
            break;
        }
        check(bytes.size() <= vork::setuppack::size);
        const int n = int(qMin<qsizetype>(bytes.size(), vork::setuppack::size));
        check(r.length == n);
        check(r.record.prefix(n) == bytes.left(n));
        check(r.record.bytes().mid(n) == held.bytes().mid(n));
        break;
    }
    }
    return 0;
}

#ifndef VORK_LIBFUZZER
// Plain driver: dump-like text, garbage and records of every length, from a fixed seed.
int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3000;
    std::mt19937 rng(20261210u);
    static const char alphabet[] = "0123456789abcdefABCDEF: \t\r\n,xz.";
    for (int r = 0; r < rounds; ++r) {
        const int n = int(rng() % 1200);
        // An exact-size block, so a read past its end is a sanitizer report.
        std::vector<std::uint8_t> input(std::size_t(n) + 1);
        input[0] = static_cast<std::uint8_t>(rng());
        const bool texty = rng() % 4 != 0;
        for (int i = 1; i <= n; ++i)
            input[std::size_t(i)] = texty ? static_cast<std::uint8_t>(alphabet[rng() % (sizeof alphabet - 1)])
                                          : static_cast<std::uint8_t>(rng());
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    return 0;
}
#endif
