// Fuzz entry for the setup record codec: any bytes of any length make a
// 243-byte record; every field reads, and writes only inside itself; numbers
// too wide for their bytes and bad texts leave the bytes alone; a text never
// takes more than width-1 bytes; the older-layout move undoes itself.
//
// Input: byte 0 picks the firmware version, the rest is the record as received.
#include "setup/setuprecord.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <random>
#include <vector>

namespace {

constexpr int versions[] = {0, 255, 256, 258, 259, 263, 264, 290, 315, 317, 499, 500, 501, 502, 999};

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Bytes outside [offset, offset + width) are the same in both.
bool onlyInside(const QByteArray &a, const QByteArray &b, int offset, int width)
{
    for (int i = 0; i < vork::setuppack::size; ++i)
        if ((i < offset || i >= offset + width) && a[i] != b[i])
            return false;
    return true;
}

void writeText(const vork::setuppack &record, const vork::SetupField &f, const QString &text)
{
    vork::setuppack w = record;
    const bool stored = w.setValueText(f, text);
    check(onlyInside(record.bytes(), w.bytes(), f.offset, f.width));
    if (!stored)
        check(w == record);
    if (stored && (f.kind == vork::SetupFieldKind::Text || f.kind == vork::SetupFieldKind::IpText)) {
        const QByteArray field = w.bytes().mid(f.offset, f.width);
        check(field.indexOf('\0') >= 0 && field.indexOf('\0') <= f.width - 1);
        check(w.valueText(f).size() <= f.width - 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int version = versions[data[0] % std::size(versions)];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));

    const vork::setuppack record(bytes);
    check(record.bytes().size() == vork::setuppack::size);
    const int kept = int(qMin<qsizetype>(bytes.size(), vork::setuppack::size));
    check(record.prefix(kept) == bytes.left(kept));

    // Received then sent: the unit's bytes 234-236 come back.
    vork::setuppack moved = record;
    vork::shiftOlderLayout(moved, vork::ShiftDirection::Received, version);
    vork::shiftOlderLayout(moved, vork::ShiftDirection::Sending, version);
    check(moved.prefix(237) == record.prefix(237));

    const QString inputText = QString::fromLatin1(bytes);
    for (const vork::SetupField &f : vork::setupFields()) {
        const QString text = record.valueText(f);
        (void)vork::setupFieldHeld(f, kept, version);
        (void)vork::setupValueAllowed(f, static_cast<std::int64_t>(data[0]) * 65536);
        // What a field reads writes back to the same reading, and nothing outside it changes.
        vork::setuppack again = record;
        const bool stored = again.setValueText(f, text);
        check(stored);
        check(again.valueText(f) == text);
        check(onlyInside(record.bytes(), again.bytes(), f.offset, f.width));
        // Numbers and whole-byte fields come back byte for byte (booleans only when 0 or 1).
        if (f.kind != vork::SetupFieldKind::Text && f.kind != vork::SetupFieldKind::IpText
            && !(f.kind == vork::SetupFieldKind::Boolean && record.byteAt(f.offset) > 1))
            check(again == record);

        writeText(record, f, inputText);
        writeText(record, f, inputText.left(12));
        vork::setuppack raw = record;
        if (raw.setTextBytes(f, bytes)) {
            check(onlyInside(record.bytes(), raw.bytes(), f.offset, f.width));
            check(raw.bytes().mid(f.offset, f.width).contains('\0'));
        }
    }

    const vork::CustomTimeZone tz = vork::CustomTimeZone::decode(bytes);
    check(tz.encode().size() == vork::CustomTimeZone::size);
    if (bytes.size() >= vork::CustomTimeZone::size)
        check(tz.encode() == bytes.left(vork::CustomTimeZone::size));
    QByteArray three = bytes.left(3);
    const QString threeText = vork::threeByteToStr(three);
    if (three.size() == 3) {
        QByteArray back(3, '\0');
        check(vork::strToThreeByte(threeText, back) && back == three);
    }
    return 0;
}

#ifndef VORK_LIBFUZZER
// Plain driver: records of the firmware lengths and around them, from a fixed seed.
int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5000;
    std::mt19937 rng(20250611u);
    static const int lengths[] = {0, 1, 3, 13, 112, 220, 221, 222, 225, 226, 227, 229, 231, 232, 233, 234,
                                  235, 236, 237, 238, 239, 242, 243, 244, 300};
    for (int r = 0; r < rounds; ++r) {
        const int n = rng() % 4 == 0 ? int(rng() % 400) : lengths[rng() % std::size(lengths)];
        // An exact-size block, so a read past its end is a sanitizer report.
        std::vector<std::uint8_t> input(std::size_t(n) + 1);
        input[0] = static_cast<std::uint8_t>(rng());
        const unsigned style = rng() % 3;
        for (int i = 1; i <= n; ++i) {
            const unsigned v = rng();
            // Mostly small values and digits, so texts, booleans and dotted numbers turn up.
            input[std::size_t(i)] = style == 0 ? static_cast<std::uint8_t>(v)
                                    : style == 1 ? static_cast<std::uint8_t>(v % 3)
                                                 : static_cast<std::uint8_t>("0123456789.\0\x01"[v % 13]);
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    return 0;
}
#endif
