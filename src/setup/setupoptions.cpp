#include "setup/setupoptions.h"

namespace vork {

AdvancedSettings AdvancedSettings::defaults(bool singleSize, bool v264)
{
    AdvancedSettings a;
    a.singleSize = singleSize;
    a.v264 = v264;
    return a;
}

AdvancedSettings AdvancedSettings::fromRecord(const setuppack &record, bool singleSize, bool v264)
{
    AdvancedSettings a = defaults(singleSize, v264);
    if (!singleSize) {
        a.logRA = record.logRA();
        a.minB1 = record.minB1();
        a.minB2 = record.minB2();
    } else {
        a.fixedSizeBox = v264 ? record.logRA() : record.lsm1() != 0;
    }
    a.gwf = record.gwf();
    a.hcode = record.hcode();
    a.lsa = record.lsa();
    a.mask = singleSize && v264 ? std::uint8_t(record.logRA()) : record.lsm1();
    a.lsc = int(record.lsc());
    const QString lsf = QString::number(record.lsf());
    a.lsf = fixedSizes().contains(lsf) ? lsf : QString();
    a.fixedBit = a.lsa ? 0 : fixedSizeBit(a.lsf);
    return a;
}

QStringList AdvancedSettings::fixedSizes()
{
    QStringList out{QStringLiteral("0")};
    for (int bits = 7; bits <= 16; ++bits)
        out << QString::number(bits);
    return out;
}

std::uint8_t AdvancedSettings::fixedSizeBit(const QString &entry)
{
    bool ok = false;
    const int bits = entry.toInt(&ok);
    if (!ok)
        return 0;
    if (bits == 0)
        return 0xFF;
    // 8..15 bits are mask bits 1..128; 7 and 16 have none.
    return bits >= 8 && bits <= 15 ? std::uint8_t(1u << (bits - 8)) : 0;
}

QString AdvancedSettings::fixedSizeCaption(bool v264)
{
    return v264 ? QStringLiteral("Fixed Size-2") : QStringLiteral("Fixed Size-1");
}

QString AdvancedSettings::refusedClearText()
{
    return QStringLiteral("Can't turn this value off because it's the fixed size. To clear this bit size, Select a new "
                          "fixed size value.");
}

QString AdvancedSettings::emptyFixedSizeText()
{
    return QStringLiteral("You must enter a fixed size value");
}

void AdvancedSettings::chooseFixedSize(const QString &entry)
{
    lsf = entry;
    if (lsa)
        return;
    mask = std::uint8_t(mask & ~fixedBit);
    fixedBit = fixedSizeBit(entry);
    mask = std::uint8_t(mask | fixedBit);
}

std::optional<QString> AdvancedSettings::setBit(std::uint8_t bit, bool on)
{
    if (!otherBitsUsable())
        return std::nullopt;
    if (!on && (fixedBit & bit))
        return refusedClearText();
    mask = on ? std::uint8_t(mask | bit) : std::uint8_t(mask & ~bit);
    return std::nullopt;
}

std::optional<QString> AdvancedSettings::accept(std::uint8_t checkedBoxes)
{
    if (!lsa && lsf.isEmpty())
        return emptyFixedSizeText();
    if (singleSize)
        mask = fixedSizeBox ? 1 : 0;
    else
        // The fixed bit plus every checked box, minus every unchecked one: the boxes decide.
        mask = std::uint8_t((mask | fixedBit | checkedBoxes) & checkedBoxes);
    return std::nullopt;
}

void AdvancedSettings::write(setuppack &out) const
{
    if (singleSize && v264) {
        out.setLogRA(fixedSizeBox);
        out.setLsm1(0);
    } else if (singleSize) {
        // A short record has no read-attempt fields: their bytes stay as they came.
        out.setLsm1(mask);
    } else {
        out.setLogRA(logRA);
        out.setMinB1(std::uint8_t(minB1));
        out.setMinB2(std::uint8_t(minB2));
        out.setLsm1(mask);
    }
    out.setGwf(gwf);
    out.setHcode(hcode);
    out.setLsa(lsa);
    out.setLsc(std::uint32_t(qMax(0, lsc)));
    if (!lsf.isEmpty())
        out.strToThreeByte(setuppack::ThreeByte::lsf, lsf);
}

QString AdvancedSettings::multiBitsText() const
{
    return QStringLiteral("Multi-bits: 0x") + QStringLiteral("%1").arg(mask, 2, 16, QLatin1Char('0')).toUpper();
}

namespace nfmrules {

QString hint(std::uint8_t nfm)
{
    return QStringLiteral("Automatically fix any network faults (") + QString::number(nfm) + QLatin1Char(')');
}

std::uint8_t fromWindow(bool onOff, bool rebootServer, bool rebootMajor, bool closeOnDataLoss)
{
    std::uint8_t v = 0;
    if (onOff)
        v |= nfmbit::monitorOn;
    if (rebootServer)
        v |= nfmbit::rebootServerError;
    if (rebootMajor)
        v |= nfmbit::rebootMajorFault;
    if (closeOnDataLoss)
        v |= nfmbit::eipCloseOnDataLoss;
    return v;
}

std::uint8_t broadcastReply(std::uint8_t nfm, bool checked, bool monitorWasOn)
{
    if (checked)
        return std::uint8_t(nfm | nfmbit::eipBroadcastReply | nfmbit::monitorOn);
    std::uint8_t v = std::uint8_t(nfm & ~nfmbit::eipBroadcastReply);
    if (!monitorWasOn)
        v = std::uint8_t(v & ~nfmbit::monitorOn);
    return v;
}

std::uint8_t dataLoss(std::uint8_t nfm, bool checked, bool monitorWasOn)
{
    if (checked) {
        std::uint8_t v = std::uint8_t(nfm | nfmbit::eipCloseOnDataLoss);
        if (!monitorWasOn)
            v |= nfmbit::monitorOn;
        return v;
    }
    std::uint8_t v = std::uint8_t(nfm & ~nfmbit::eipCloseOnDataLoss);
    // Nothing left but the monitor bit this box turned on: the monitor goes off with it.
    if (!monitorWasOn && (v & ~nfmbit::monitorOn) == 0)
        v = 0;
    return v;
}

QString eipOffQuestion()
{
    return QStringLiteral("Turning off the network fault monitor will disable the EIP data loss feature, Do you want "
                          "to continue?");
}

} // namespace nfmrules

namespace watchdog {

QStringList choices()
{
    return {QStringLiteral("WDT 4.00 seconds"), QStringLiteral("WDT 3.28 seconds"), QStringLiteral("WDT 2.68 seconds")};
}

QString defaultText()
{
    return QStringLiteral("Default is 4.00s");
}

} // namespace watchdog

namespace passwordrules {

std::optional<QString> checkNew(const QString &password, const QString &confirm)
{
    if (password.isEmpty())
        return QStringLiteral("To password protect, you must enter a password.");
    if (password.size() > maxLength)
        return QStringLiteral("Maximum password length is 8 characters.");
    if (password != confirm)
        return QStringLiteral("Password and confirmed password do not match.");
    return std::nullopt;
}

bool matches(const QString &entered, const setuppack &record)
{
    return entered == record.pw();
}

QString mismatchText()
{
    return QStringLiteral("Entered password does not match saved password");
}

QString turnedOffText()
{
    return QStringLiteral("Password protection has been turned off");
}

QString changedText()
{
    return QStringLiteral("Password has been changed");
}

} // namespace passwordrules

} // namespace vork
