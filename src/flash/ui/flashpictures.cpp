#include "flash/ui/flashpictures.h"

#include "core/operator.h"
#include "flash/ui/jpegpicture.h"

#include <QPainter>

#include <cstddef>

namespace vork::flashpicturedata {
// Written at build time by makeflashpictures.
extern const unsigned char *const data[];
extern const std::size_t sizes[];
extern const std::size_t count;
} // namespace vork::flashpicturedata

namespace vork::flashpictures {

namespace {

const char *const names[pictureCount] = {"flash button (disabled)", "flash button (ready)",
                                         "flash button (program flash pressed)",
                                         "flash button (boot-loader flash pressed)", "Erasing indicator",
                                         "Downloading indicator", "Rebooting indicator"};

bool isButton(Picture p)
{
    return int(p) <= int(Picture::ButtonBootLoaderPressed);
}

} // namespace

QSize size(Picture picture)
{
    return isButton(picture) ? QSize(112, 160) : QSize(24, 24);
}

QByteArray jpegData(Picture picture)
{
    const auto i = std::size_t(picture);
    if (i >= flashpicturedata::count)
        return {};
    return QByteArray::fromRawData(reinterpret_cast<const char *>(flashpicturedata::data[i]),
                                   qsizetype(flashpicturedata::sizes[i]));
}

QImage image(Picture picture, Operator &op)
{
    return imageFrom(jpegData(picture), picture, op);
}

QImage imageFrom(const QByteArray &jpeg, Picture picture, Operator &op)
{
    QString why;
    QImage decoded = decodeJpeg(jpeg, &why);
    if (!decoded.isNull() && decoded.size() == size(picture))
        return decoded;
    if (!decoded.isNull())
        why = QStringLiteral("%1x%2 pixels instead of %3x%4")
                  .arg(decoded.width())
                  .arg(decoded.height())
                  .arg(size(picture).width())
                  .arg(size(picture).height());
    op.log(QStringLiteral("The ") + QString::fromLatin1(names[int(picture)]) + QStringLiteral(" picture could not be decoded (")
           + why + QStringLiteral("): drawn instead"));
    return drawn(picture);
}

QImage drawn(Picture picture)
{
    QImage img(size(picture), QImage::Format_RGB888);
    const bool disabled = picture == Picture::ButtonDisabled;
    img.fill(disabled ? QColor(200, 200, 200) : QColor(214, 224, 236));
    QPainter p(&img);
    if (isButton(picture)) {
        p.setPen(QColor(110, 110, 110));
        p.drawRect(0, 0, 111, 159);
        const auto key = [&](int y0, int y1, bool pressed, QColor face) {
            p.fillRect(QRect(QPoint(40, y0), QPoint(72, y1)), disabled ? QColor(175, 175, 175) : pressed ? QColor(230, 140, 20) : face);
            p.setPen(pressed ? QColor(90, 50, 0) : QColor(60, 60, 60));
            p.drawRect(QRect(QPoint(40, y0), QPoint(72, y1)));
        };
        key(52, 77, picture == Picture::ButtonProgramPressed, QColor(40, 160, 70));
        key(112, 138, picture == Picture::ButtonBootLoaderPressed, QColor(70, 120, 200));
    } else {
        const QColor c = picture == Picture::Erasing ? QColor(200, 40, 40)
                         : picture == Picture::Downloading ? QColor(30, 90, 200)
                                                          : QColor(30, 150, 60);
        img.fill(Qt::white);
        p.setBrush(c);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRect(4, 4, 16, 16));
    }
    return img;
}

} // namespace vork::flashpictures
