// Fuzz entry for the Intel HEX image reader: line splitting, record and file
// verification and the build block search. Built as a libFuzzer target with clang;
// the plain driver below runs it in every build.
//
// Input: a file's bytes, any length. A broken property aborts.

#include "flash/buildinfo.h"
#include "flash/heximage.h"

#include <QByteArray>
#include <QStringList>

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
        std::fprintf(stderr, "hex image property broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QStringList lines = hexLines(bytes);
    check(lines.size() <= bytes.count('\n') + bytes.count('\r') + 1, "no more lines than line ends allow");
    const HexFileCheck file = checkHexLines(lines);
    check(file.good() == (file.line == 0), "a problem names its line");
    check(file.line <= qMax<qsizetype>(1, lines.size()), "the line is in the file");
    if (file.kind != HexRecordCheck::Syntax) {
        // Every line up to the end record is a record; the end record is there.
        bool ended = false;
        for (const QString &l : lines) {
            if (ended) {
                check(l.trimmed().isEmpty(), "nothing but blanks after the end record");
                continue;
            }
            const HexRecordCheck r = checkHexRecord(l);
            check(r.kind != HexRecordCheck::Syntax, "every record's syntax is good");
            ended = r.recordType == 1;
        }
        check(ended, "the end record is there");
    }
    for (const QString &l : lines) {
        const QByteArray padded = paddedFlashLine(l);
        check(padded.size() == qMax<qsizetype>(flashLineLength, l.size()), "padding to 139");
        check(padded.startsWith(l.toLatin1()), "the line itself unchanged");
    }
    const BuildSearch s = contentSearch(lines);
    check(!s.found || !s.failed(), "found and failed never both");
    check(s.found || s.buildString == QLatin1String("-1"), "-1 without a block");
    if (s.found) {
        for (std::uint8_t d : s.info.brivellaOS)
            check(d <= 99, "version digits read as decimal");
        check(s.info.builddate.isEmpty() || s.info.builddate.size() == 8, "the date is eight characters or none");
    }
    return 0;
}

#ifndef VORK_LIBFUZZER
namespace {

void runExact(const std::vector<std::uint8_t> &input)
{
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[input.size() + 1]);
    if (!input.empty())
        std::memcpy(block.get(), input.data(), input.size());
    LLVMFuzzerTestOneInput(block.get(), input.size());
}

std::string record(std::mt19937 &rng, int type, std::vector<std::uint8_t> data)
{
    std::vector<std::uint8_t> b{std::uint8_t(data.size()), std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(type)};
    b.insert(b.end(), data.begin(), data.end());
    int sum = 0;
    for (std::uint8_t x : b)
        sum += x;
    b.push_back(std::uint8_t((0x100 - (sum & 0xFF)) & 0xFF));
    std::string s = ":";
    char hex[3];
    for (std::uint8_t x : b) {
        std::snprintf(hex, sizeof hex, "%02X", x);
        s += hex;
    }
    return s;
}

std::vector<std::uint8_t> generate(std::mt19937 &rng)
{
    // A valid image, often with a build block split anywhere, then mutated.
    static const std::uint8_t block[] = {0x05, 0x00, 0x02, 0xA5, 0xA5, 0xA5, 0xA5, 0x01, 0x00, 0x31, 0x00, 0x32, 0x00, 0x33,
                                         'J',  'a',  'n',  ' ',  ' ',  '5',  ' ',  '2',  '0',  '1',  '9',  0x00, 0x00};
    std::vector<std::uint8_t> stream;
    const int n = int(rng() % 80);
    for (int i = 0; i < n * 16; ++i)
        stream.push_back(std::uint8_t(rng()));
    if (rng() % 2 && !stream.empty()) {
        const std::size_t at = rng() % stream.size();
        stream.insert(stream.begin() + std::ptrdiff_t(at), std::begin(block), std::end(block));
    }
    std::string text;
    std::size_t pos = 0;
    while (pos < stream.size()) {
        const std::size_t len = std::min<std::size_t>(stream.size() - pos, 1 + rng() % 64);
        text += record(rng, 0, std::vector<std::uint8_t>(stream.begin() + std::ptrdiff_t(pos),
                                                         stream.begin() + std::ptrdiff_t(pos + len)));
        text += rng() % 4 == 0 ? "\r\n" : "\n";
        pos += len;
    }
    if (rng() % 8)
        text += ":00000001FF\n";
    std::vector<std::uint8_t> out(text.begin(), text.end());
    const int mutations = int(rng() % 4);
    for (int m = 0; m < mutations && !out.empty(); ++m) {
        const std::size_t at = rng() % out.size();
        switch (rng() % 4) {
        case 0: out[at] = std::uint8_t(rng()); break;
        case 1: out.erase(out.begin() + std::ptrdiff_t(at)); break;
        case 2: out.resize(at); break;
        default: out.insert(out.begin() + std::ptrdiff_t(at), std::uint8_t("0123456789ABCDEF:\n*"[rng() % 19])); break;
        }
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 5000;
    std::mt19937 rng(20240305u); // fixed: every run tries the same inputs
    for (long i = 0; i < runs; ++i)
        runExact(generate(rng));
    std::printf("%ld generated input(s) parsed\n", runs);
    return 0;
}
#endif
