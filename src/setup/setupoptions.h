#pragma once

#include "setup/setuprecord.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace vork {

// The label-reading parameters of the "Advanced Settings" window. Short records
// (single-size mode) carry one "Fixed Size" flag instead of the bit mask; units
// of version 2.6.4 keep that flag in logRA.
struct AdvancedSettings
{
    bool gwf = false;
    bool hcode = true;
    bool lsa = true;
    int lsc = 3;
    QString lsf = QStringLiteral("12"); // "Fixed Bit Size" entry; empty: none chosen
    std::uint8_t mask = 0;              // the allowed-bits mask (lsm1)
    std::uint8_t fixedBit = 0;          // the mask bit the fixed size stands for
    bool logRA = false;
    int minB1 = 5;
    int minB2 = 10;
    bool fixedSizeBox = false; // "Fixed Size-1" / "Fixed Size-2"
    bool singleSize = false;
    bool v264 = false;

    static constexpr int minBitsLowest = 5;
    static constexpr int minBitsHighest = 30;

    static AdvancedSettings defaults(bool singleSize, bool v264);
    static AdvancedSettings fromRecord(const setuppack &record, bool singleSize, bool v264);
    // "0", "7" ... "16".
    static QStringList fixedSizes();
    // The mask bit a "Fixed Bit Size" entry stands for: "0" all, "7"/"16" none.
    static std::uint8_t fixedSizeBit(const QString &entry);
    static QString fixedSizeCaption(bool v264); // "Fixed Size-1" / "Fixed Size-2"
    static QString refusedClearText();
    static QString emptyFixedSizeText();

    // A new "Fixed Bit Size" entry: with Auto Adjust off it replaces the old fixed bit in the mask.
    void chooseFixedSize(const QString &entry);
    // The eight "Other Allowed Bits" boxes are usable only here.
    bool otherBitsUsable() const { return !singleSize && !lsa; }
    // What the eight boxes show (cleared while Auto Adjust is on).
    std::uint8_t shownBits() const { return lsa ? 0 : mask; }
    // A box clicked; the refusal text when it is the fixed size's own bit.
    std::optional<QString> setBit(std::uint8_t bit, bool on);
    // OK: the refusal text, or nothing with the mask settled from the boxes.
    std::optional<QString> accept(std::uint8_t checkedBoxes);
    // Into the outgoing record. Multi-bit fields are left alone where a short record has none.
    void write(setuppack &out) const;
    // "Multi-bits: 0x" + two upper-case digits.
    QString multiBitsText() const;
};

// The network fault monitor byte and what its boxes do to it.
namespace nfmrules {
// Hint of the main form's box.
QString hint(std::uint8_t nfm);
// OK of the "Network Monitor" window: rebuilt from zero with the data-loss bit kept.
std::uint8_t fromWindow(bool onOff, bool rebootServer, bool rebootMajor, bool closeOnDataLoss);
// "Enable UDP Broadcast Reply" checked or cleared.
std::uint8_t broadcastReply(std::uint8_t nfm, bool checked, bool monitorWasOn);
// "Close Connection on Data Loss" checked or cleared.
std::uint8_t dataLoss(std::uint8_t nfm, bool checked, bool monitorWasOn);
QString eipOffQuestion();
} // namespace nfmrules

// The "Watch Dog" window's choices: value 1..3.
namespace watchdog {
QStringList choices();
QString defaultText();
} // namespace watchdog

// The rules of the password window.
namespace passwordrules {
constexpr int maxLength = 8;
// Set mode: the refusal text, or nothing when the pair is accepted.
std::optional<QString> checkNew(const QString &password, const QString &confirm);
// Ask mode: the entered text against the record's password.
bool matches(const QString &entered, const setuppack &record);
QString mismatchText();
QString turnedOffText();
QString changedText();
} // namespace passwordrules

} // namespace vork
