#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace vork {

// Pictures larger than this on either side are refused before any pixel is decoded.
constexpr int maxJpegSide = 4096;

// Decodes JPEG data with libjpeg into an RGB image. A null image, with error set,
// for anything libjpeg refuses or warns about (truncated or corrupt data, an
// unsupported colour space, a picture too large): a half-decoded picture is no picture.
QImage decodeJpeg(const QByteArray &bytes, QString *error = nullptr);

} // namespace vork
