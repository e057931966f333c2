#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace vork {

// Build information of an image, from the block its data carries.
struct TBuildInfo
{
    std::array<std::uint8_t, 3> brivellaOS{}; // main firmware version digits
    std::uint8_t readerCount = 0;             // 1, 2 or 8
    std::array<std::uint8_t, 4> zilogOS{};     // network processor digits; the first three are used
    QString buildDateTemp;                    // not filled here
    QString builddate;                        // MMDDYYYY, or empty for an unknown month
    std::uint8_t buildType = 0;               // model code; bit 0: EIP; 8: no variant letter

    bool operator==(const TBuildInfo &) const = default;
};

// What the content search found.
struct BuildSearch
{
    QString buildString = QStringLiteral("-1"); // "-1" when no block was found
    bool found = false;
    TBuildInfo info;
    QString error; // a block byte that must read as decimal did not: the file is not loaded

    bool failed() const { return !error.isEmpty(); }
};

namespace buildblock {
constexpr int blockChars = 54;       // 27 bytes as hex text
constexpr int markerOffsetChars = 6; // the marker follows the three version bytes
constexpr int neededAfterMarker = 48;
inline const QString marker = QStringLiteral("A5A5A5A5");
} // namespace buildblock

// The data characters of one line: from the tenth character on, without the two of
// the checksum. Lines shorter than 11 characters carry none.
QString lineData(const QString &line);

// Searches the lines for the build block: each line's data after the previous line's,
// the last line never. A block counts only at a byte position where all 27 bytes fit.
BuildSearch contentSearch(const QStringList &lines);

// Decodes 54 hex characters of a block; false with error set for a byte that is not decimal.
bool decodeBuildBlock(const QString &block, TBuildInfo &info, QString &error);
// "SVRK.502s.123.01052019" and the like.
QString buildString(const TBuildInfo &info);

} // namespace vork
