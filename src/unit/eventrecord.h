#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace vork {

// Record kinds as the unit sends them in `typ`; any other value is possible on the wire.
enum class DataPackKind : std::uint8_t { Empty = 0, Error = 1, Label = 2, Diagnostic = 3, Alarm = 4, Boot = 5 };

// One reader event, live or from the unit's history: 19 bytes, every field one byte.
struct DataPack
{
    std::uint8_t typ = 0;
    std::uint8_t rdr = 0;   // reader 0-7; not a reader for alarm and boot records
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t cent = 0;
    std::uint8_t year = 0;  // within the century
    std::uint8_t hr = 0;
    std::uint8_t min = 0;
    std::uint8_t sec = 0;
    std::array<std::uint8_t, 10> data{};

    static constexpr int size = 19;
    static constexpr int dataOffset = 9;
    static constexpr int readerSlots = 8;

    DataPackKind kind() const { return static_cast<DataPackKind>(typ); }
    int fullYear() const { return cent * 100 + year; }

    // The reader as an index into per-reader arrays of readerSlots entries;
    // none for a reader number the unit cannot have.
    std::optional<int> readerSlot() const
    {
        return rdr < readerSlots ? std::optional<int>(rdr) : std::nullopt;
    }

    // Payload fields; which ones mean anything depends on kind().
    int errorCode() const { return data[0]; }
    int errorLabelNumber() const { return data[1] | (data[2] << 8); } // error codes 30-39
    int errorBitCount() const { return data[3]; }                     // error codes 30-39
    int labelNumber() const { return data[0] | (data[1] << 8); }
    // A, B, C, X, Y of a diagnostic record, signed.
    std::array<int, 5> diagnosticValues() const
    {
        std::array<int, 5> v{};
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<std::int8_t>(data[i]);
        return v;
    }
    int alarmCode() const { return data[0]; }
    int alarmDetail() const { return data[1]; }
    int bootCode() const { return data[0]; }

    // hr 0-23, min and sec 0-59.
    bool timeValid() const { return hr <= 23 && min <= 59 && sec <= 59; }

    bool operator==(const DataPack &) const = default;
};

// Decodes the first 19 bytes; a shorter buffer fills what it holds and leaves
// the rest zero, with *complete (when given) false.
DataPack decodeDataPack(QByteArrayView bytes, bool *complete = nullptr);
QByteArray encodeDataPack(const DataPack &pack);

// "03/07/2021  14:05:09"; the time part reads "Bad Time" when a time field is out of range.
QString dataPackTimeText(const DataPack &pack);
// "A+05  B+12 C-03 X+00 Y+07".
QString diagnosticText(const DataPack &pack);

// "Error", "Label", "Diagnostic", "Alarm", "Boot"; empty for any other kind.
QString dataPackKindText(int typ);

// Error code text: table text, two digits for codes 0-99 without one,
// "Invalid Error Number N" for any other code.
QString errorText(int code);
// Boot message of codes 0-25 and 50-74; empty for any other code.
QString bootText(int code);
// Alarm text for a unit of the given version number (5.0.1 is 501).
QString alarmText(int code, int versionNumber);

// Alarm 30's details have a second reading, used for records imported from an
// EtherNet/IP ("e") unit's file.
enum class AlarmDetailReading { Standard, Alternative };
// Appended directly to the alarm text; empty when the combination has no text.
QString alarmDetailText(int alarmCode, int detail, AlarmDetailReading reading = AlarmDetailReading::Standard);

// The record's value in words: label number, diagnostic text, error text (with
// bit count and label for codes 30-39), alarm text with its detail, boot text.
// Empty for kind 0 and unknown kinds.
QString dataPackValueText(const DataPack &pack, int versionNumber,
                          AlarmDetailReading reading = AlarmDetailReading::Standard);

} // namespace vork
