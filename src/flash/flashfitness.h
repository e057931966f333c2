#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace vork {

class Operator;
struct FlashImage;
struct udppack;

enum class FlashMode { Program, BootLoader };

// The boot-loader region a boot-loader flash writes ("Flash" dialog).
struct BootLoaderChoice
{
    enum class Region { None, Manager, A, B };
    Region region = Region::None;
    bool makePrimary = false; // only with A or B
};

// The one-byte flash command for a unit of this version number.
std::uint8_t flashCommandByte(FlashMode mode, bool dontReboot, int unitVersion, const BootLoaderChoice &choice);

// Whether this image may go to this unit.
struct Fitness
{
    enum Verdict {
        Allow,
        Refuse, // ends the run
        Skip,   // the version is already there and the operator said No: the next unit
        Cancel, // the boot-block jumper warning was cancelled: the run ends, nothing logged
    };
    Verdict verdict = Allow;
    QString reason; // the message or the question that decided, for a refusal
};

// The questions and messages of the check go through op. lines is this unit's flash line
// list, filled from the image as opened; the offset record, when the operator lets it be
// added, goes into these lines alone, never into the image other units get.
// chooseBootLoader shows the "Flash" dialog (false: closed without OK).
struct FitnessInput
{
    FlashMode mode = FlashMode::Program;
    int selectedCount = 1;
    std::function<bool(BootLoaderChoice &)> chooseBootLoader;
};
Fitness checkFitness(const udppack &unit, const FitnessInput &in, const FlashImage &image, QStringList &lines,
                     BootLoaderChoice &choice, Operator &op);

// The model and variant check of a program flash.
Fitness modelCheck(const QString &fileName, const udppack &unit, const FlashImage &image, Operator &op);

// Older firmware needs the address-offset record at the image's start.
bool needsOffsetRecord(const udppack &unit);

namespace fitnesstext {
QString jumper();
QString bootMultiple();
QString bootTooLarge();
QString programTooSmall();
QString offsetMissing();
QString versionPresent(const QString &vnumber);
QString nonStandardFile();
QString mismatch(const QString &unitPhrase, const QString &filePhrase);
QString sizeMismatch();
QString sizeMismatchQuestion();
QString standardWithEip();
QString eipWithStandard();
QString noBootLoaderChosen();
} // namespace fitnesstext

constexpr int bootFileMaxLines = 500;
inline const QString offsetRecord = QStringLiteral(":020000020A00F2");

} // namespace vork
