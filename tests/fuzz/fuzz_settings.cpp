// Fuzz entry for the settings file reader: any bytes parse, every value read
// stays in its range, and what is written back reads back the same.
#include "core/inifile.h"
#include "core/settings.h"

#include <QByteArray>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <type_traits>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    vork::IniFile ini;
    ini.parse(bytes);
    vork::Settings s;
    QStringList notes;
    vork::readSettings(ini, s, &notes);
    // One note at most per key.
    if (notes.size() > qsizetype(vork::settingRows().size()))
        std::abort();
    if (s.localPort < 0 || s.localPort > 65535 || s.wait <= 0 || s.wait > 60000 || s.sortType < 0 || s.sortType > 7)
        std::abort();
    if ((s.options.Warncolor | s.options.CritColor | s.colors.Grid | s.colors.GridMark) > 0x00FFFFFFu)
        std::abort();
    for (const vork::SettingRow &row : vork::settingRows()) {
        vork::visitSetting(s, row.field, [&](const auto &value) {
            using T = std::remove_cvref_t<decltype(value)>;
            if constexpr (std::is_same_v<T, int>) {
                if (value < row.min || value > row.max)
                    std::abort();
            } else if constexpr (std::is_same_v<T, vork::StoredColor>) {
                if (value > 0x00FFFFFFu)
                    std::abort();
            } else if constexpr (std::is_same_v<T, QString>) {
                // Base64 rows hold valid base64 or nothing.
                if (row.format == vork::SettingRow::Base64 && !value.isEmpty()
                    && QByteArray::fromBase64Encoding(value.toLatin1(), QByteArray::AbortOnBase64DecodingErrors)
                               .decodingStatus != QByteArray::Base64DecodingStatus::Ok)
                    std::abort();
            }
        });
    }

    vork::writeExitKeys(ini, s);
    vork::IniFile back;
    back.parse(ini.serialize());
    vork::Settings again;
    vork::readSettings(back, again);
    if (again.localPort != s.localPort || again.wait != s.wait || again.sortType != s.sortType
        || again.options.ConnectHZ != s.options.ConnectHZ || again.options.CritColor != s.options.CritColor)
        std::abort();
    // Every key reads back as read; the keys not written at exit were left as they were.
    for (const vork::SettingRow &row : vork::settingRows()) {
        const auto text = [&](const vork::Settings &from) {
            return vork::visitSetting(from, row.field, [](const auto &value) { return vork::settingText(value); });
        };
        if (text(again) != text(s))
            std::abort();
    }
    return 0;
}

#ifndef VORK_LIBFUZZER
// Plain driver: settings-like lines with random damage, from a fixed seed.
int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5000;
    std::mt19937 rng(20261210);
    static const char *const pieces[] = {"[UDP]\n", "[Options]\n", "[Window]\n", "Geometry=", "AAEC", "A===", "\xEF\xBB\xBF", "\r",
                                         "TimeWarnMin=", "RebootWarn=", "\xc3\xbc", "[SORT]\n", "[Colors]\n", "[UDPmasks]\n",
                                         "LocalPort=", "Wait=", "type=", "CONNECTf=", "WarnColor=", "CritColor=",
                                         "Grid=", "beep=", "PINGl=", "RRinterval=", "[Local Interface]\n",
                                         "IPAddress=", "ShowBox=", "=", "\n", "\r\n", "[", "]", "3010", "-5", "99999999999",
                                         "0x10", "$FF", "abc", ";comment\n", "#x\n"};
    for (int r = 0; r < rounds; ++r) {
        std::string text;
        for (unsigned n = rng() % 40; n > 0; --n) {
            if (rng() % 5 == 0)
                text.push_back(static_cast<char>(rng() % 256));
            else
                text += pieces[rng() % (sizeof pieces / sizeof *pieces)];
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(text.data()), text.size());
    }
    return 0;
}
#endif
