#include "flash/flashfitness.h"

#include "core/operator.h"
#include "flash/flashimage.h"
#include "unit/records.h"
#include "unit/unitrules.h"

namespace vork {

namespace fitnesstext {
QString jumper()
{
    return QStringLiteral("In order to program the boot block jumper 2 of jumper block 1 (J1) must be installed");
}
QString bootMultiple()
{
    return QStringLiteral("The boot loader program is created for a specific unit and cannot be flashed to multiple "
                          "units. Go back to the discovery tab and select only the one unit that the boot loader file "
                          "was made for.");
}
QString bootTooLarge()
{
    return QStringLiteral("The selected file is too large to be a valid boot file - Continue anyway?");
}
QString programTooSmall()
{
    return QStringLiteral("The selected file is too small to be a valid program file - aborting the flash");
}
QString offsetMissing()
{
    return QStringLiteral("The selected file is missing the required offset. If you would like me to add the offset "
                          "and continue with the flash select \"Ok\"");
}
QString versionPresent(const QString &vnumber)
{
    return QStringLiteral("Version ") + vnumber + QStringLiteral(" is already on this unit. Continue anyway?");
}
QString nonStandardFile()
{
    return QStringLiteral("You're flashing with a non-standard file\rThis program cannot determine model type\rfrom "
                          "the file and will not be able to warn\ragainst model mismatches. Continue anyway?");
}
QString mismatch(const QString &unitPhrase, const QString &filePhrase)
{
    return QStringLiteral("Your flashing ") + unitPhrase + QStringLiteral(" model with ") + filePhrase
           + QStringLiteral(" version of the software. Continue anyway?");
}
QString sizeMismatch()
{
    return QStringLiteral("CPU flash chip size does not match flash hex file. Flashing Aborted. Try again with the "
                          "correct file.");
}
QString sizeMismatchQuestion()
{
    return QStringLiteral("Flash sizes are mismatched. Do you want to flash anyway?");
}
QString standardWithEip()
{
    return QStringLiteral("Your flashing a standard model with an EIP version of the software. Continue anyway?");
}
QString eipWithStandard()
{
    return QStringLiteral("Your flashing an EIP model with a standard version of the software. Continue anyway?");
}
QString noBootLoaderChosen()
{
    return QStringLiteral("No boot loader region chosen - flash not started");
}
} // namespace fitnesstext

namespace {

Fitness allow()
{
    return {Fitness::Allow, {}};
}

Fitness refuse(const QString &why)
{
    return {Fitness::Refuse, why};
}

// A question that only Yes passes; anything else refuses with the question as the reason.
Fitness yesOnly(Operator &op, const QString &question)
{
    if (op.ask(question) == Answer::Yes)
        return allow();
    return refuse(question + QStringLiteral(" (not confirmed)"));
}

QString phrase(int readers)
{
    switch (readers) {
    case 1: return QStringLiteral("an SVRK");
    case 2: return QStringLiteral("a TVRK");
    case 8: return QStringLiteral("an MVRK");
    default: return {};
    }
}

Fitness variantCheck(bool unitEip, bool fileEip, bool fileStandard, Operator &op)
{
    if (!unitEip && fileEip)
        return yesOnly(op, fitnesstext::standardWithEip());
    if (unitEip && fileStandard)
        return yesOnly(op, fitnesstext::eipWithStandard());
    return allow();
}

} // namespace

std::uint8_t flashCommandByte(FlashMode mode, bool dontReboot, int unitVersion, const BootLoaderChoice &choice)
{
    if (mode == FlashMode::Program)
        return dontReboot ? 'L' : 'F';
    using R = BootLoaderChoice::Region;
    if (unitVersion < 502 || choice.region == R::Manager || choice.region == R::None)
        return dontReboot ? 'B' : 'b';
    // "Make Primary" is the region letter's bit 7.
    const std::uint8_t letter = choice.region == R::A ? 'O' : 'o';
    return choice.makePrimary ? std::uint8_t(letter | 0x80) : letter;
}

bool needsOffsetRecord(const udppack &unit)
{
    const QString v = unit.vnumber;
    const auto at = [&](int i) { return i < v.size() ? v.at(i) : QChar(); };
    if (v.isEmpty())
        return false;
    if (at(0) < QLatin1Char('2') && unit.model < 4)
        return true;
    return at(0) == QLatin1Char('2') && at(2) <= QLatin1Char('4') && at(4) < QLatin1Char('4');
}

Fitness modelCheck(const QString &fileName, const udppack &unit, const FlashImage &image, Operator &op)
{
    const int version = versionNumber(unit.ver);
    if (version >= 500)
        return allow();
    const bool unitEip = unit.model & 1;
    if (image.buildData()) {
        const TBuildInfo &b = image.build.info;
        if ((version < 294 || (version >= 301 && version <= 310)) && unit.ver.vrcnt != b.readerCount) {
            if (Fitness f = yesOnly(op, fitnesstext::mismatch(phrase(unit.ver.vrcnt), phrase(b.readerCount)));
                f.verdict != Fitness::Allow)
                return f;
        }
        if ((unit.model < 2 && (b.buildType == 2 || b.buildType == 3)) || ((unit.model == 2 || unit.model == 3) && b.buildType < 2)) {
            op.warning(fitnesstext::sizeMismatch());
            return yesOnly(op, fitnesstext::sizeMismatchQuestion());
        }
        return variantCheck(unitEip, b.buildType & 1, !(b.buildType & 1), op);
    }

    // No build block: the release file name tells model and variant.
    const QChar letter = fileName.size() >= 9 ? fileName.at(8).toUpper() : QChar();
    const QChar dot = fileName.size() >= 10 ? fileName.at(9) : QChar();
    if ((letter != QLatin1Char('S') && letter != QLatin1Char('E')) || dot != QLatin1Char('.'))
        return yesOnly(op, fitnesstext::nonStandardFile());
    const QString model = fileName.left(4);
    const QString filePhrase = (model.toUpper() == QLatin1String("TVRK") ? QStringLiteral("a ") : QStringLiteral("an "))
                               + model;
    const QString upper = fileName.toUpper();
    bool required = true;
    switch (unit.ver.vrcnt) {
    case 1: required = upper.contains(QLatin1String("SVRK")); break;
    case 2: required = upper.contains(QLatin1String("TVRK")); break;
    case 8: required = upper.contains(QLatin1String("MVRK")); break;
    default: break;
    }
    if (!required) {
        if (version >= 311)
            return refuse(QStringLiteral("The file ") + fileName + QStringLiteral(" is not made for ")
                          + phrase(unit.ver.vrcnt) + QStringLiteral(" unit"));
        if (Fitness f = yesOnly(op, fitnesstext::mismatch(phrase(unit.ver.vrcnt), filePhrase)); f.verdict != Fitness::Allow)
            return f;
    }
    return variantCheck(unitEip, letter == QLatin1Char('E'), letter == QLatin1Char('S'), op);
}

Fitness checkFitness(const udppack &unit, const FitnessInput &in, const FlashImage &image, QStringList &lines,
                     BootLoaderChoice &choice, Operator &op)
{
    lines = image.lines;
    const bool boot = in.mode == FlashMode::BootLoader;
    if (boot && unit.flash_mfg == 0x59 && op.askChoice(fitnesstext::jumper(), Choices::OkCancel) != Answer::Yes)
        return {Fitness::Cancel, fitnesstext::jumper() + QStringLiteral(" (cancelled)")};
    if (boot && in.selectedCount > 1) {
        op.warning(fitnesstext::bootMultiple());
        return refuse(fitnesstext::bootMultiple());
    }
    if (boot && image.lineCount() > bootFileMaxLines) {
        if (Fitness f = yesOnly(op, fitnesstext::bootTooLarge()); f.verdict != Fitness::Allow)
            return f;
    }
    if (!boot && image.lineCount() <= bootFileMaxLines) {
        op.warning(fitnesstext::programTooSmall());
        return refuse(fitnesstext::programTooSmall());
    }
    if (!boot) {
        if (Fitness f = modelCheck(image.fileName(), unit, image, op); f.verdict != Fitness::Allow)
            return f;
        if (needsOffsetRecord(unit)) {
            const int head = qMin(4, image.lineCount());
            bool present = false;
            for (int i = 0; i < head; ++i)
                present = present || image.lines.at(i).contains(offsetRecord);
            if (!present) {
                if (op.askChoice(fitnesstext::offsetMissing(), Choices::OkAbort) != Answer::Yes)
                    return refuse(fitnesstext::offsetMissing() + QStringLiteral(" (aborted)"));
                for (int i = 0; i < head; ++i) {
                    if (image.lines.at(i).contains(QLatin1String(":40000000"))) {
                        lines.insert(i, offsetRecord);
                        op.log(QStringLiteral("Offset record ") + offsetRecord + QStringLiteral(" added before line ")
                               + QString::number(i + 1) + QStringLiteral(" for Vork Unit ") + unit.ip);
                        break;
                    }
                }
            }
        }
        QString digits;
        for (std::uint8_t d : unit.ver.vnum)
            digits += QString::number(d);
        const QString path = image.path.toUpper();
        if (path.contains(digits + QStringLiteral("S.")) || path.contains(digits + QStringLiteral("E."))) {
            if (op.ask(fitnesstext::versionPresent(unit.vnumber)) != Answer::Yes)
                return {Fitness::Skip, fitnesstext::versionPresent(unit.vnumber) + QStringLiteral(" (skipped)")};
        }
        return allow();
    }
    choice = {};
    if (!in.chooseBootLoader || !in.chooseBootLoader(choice) || choice.region == BootLoaderChoice::Region::None)
        return refuse(fitnesstext::noBootLoaderChosen());
    if (choice.region == BootLoaderChoice::Region::Manager)
        choice.makePrimary = false;
    return allow();
}

} // namespace vork
