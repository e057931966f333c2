#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace vork {

class Operator;

// The flash page's pictures: the flash button in its four states and the three
// phase indicators, kept as JPEG data built into the program.
namespace flashpictures {

enum class Picture : int {
    ButtonDisabled = 0, // no image: the control is disabled
    ButtonReady,
    ButtonProgramPressed,
    ButtonBootLoaderPressed,
    Erasing,
    Downloading,
    Rebooting,
};
constexpr int pictureCount = 7;

// The built-in JPEG data of a picture.
QByteArray jpegData(Picture picture);

// The picture decoded; when the data does not decode, a drawn stand-in of the same
// size, and a log line through op saying which picture and why.
QImage image(Picture picture, Operator &op);
QImage imageFrom(const QByteArray &jpeg, Picture picture, Operator &op);

// The stand-in drawing of a picture.
QImage drawn(Picture picture);
QSize size(Picture picture);

} // namespace flashpictures
} // namespace vork
