#include "setup/ui/configsheetprint.h"

#include "core/operator.h"

#include <QFont>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>

#include <iterator>

namespace vork {

using namespace configsheet;

namespace {

constexpr int logoWidth = 288;
constexpr int logoHeight = 72;
constexpr qreal fallbackPpi = 96.0;
// Wide enough for any line of the sheet; alignment happens inside it.
constexpr qreal textBoxInches = 8.0;

QFont sheetFont(ItemKind kind)
{
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(kind == ItemKind::Title ? titlePoints : textPoints);
    f.setBold(kind != ItemKind::Value);
    return f;
}

} // namespace

qreal screenPixelsPerInch()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : fallbackPpi;
}

QImage configSheetLogo()
{
    QImage image(logoWidth, logoHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, logoHeight);
    fill.setColorAt(0, QColor(0x1F, 0x4E, 0x8C));
    fill.setColorAt(1, QColor(0x0B, 0x2A, 0x52));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(1, 1, logoWidth - 2, logoHeight - 2), 12, 12);
    // A row of bars: what the units read.
    p.setBrush(Qt::white);
    const int bars[] = {3, 1, 2, 1, 1, 3, 2, 1, 3, 1, 1, 2};
    qreal x = 16;
    for (int i = 0; i < int(std::size(bars)); ++i) {
        if (i % 2 == 0)
            p.drawRect(QRectF(x, 14, bars[i] * 2.5, logoHeight - 28));
        x += bars[i] * 2.5 + 2;
    }
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(40);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(x + 12, 0, logoWidth - x - 24, logoHeight), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("VORK"));
    p.end();
    // Its natural size is the screen's: pixels over the screen's pixels per inch.
    return image;
}

void paintConfigSheet(QPainter &painter, const Sheet &sheet, const QImage &logo, qreal screenPpi)
{
    QPaintDevice *device = painter.device();
    const qreal dx = device->logicalDpiX();
    const qreal dy = device->logicalDpiY();
    const auto at = [dx, dy](qreal x, qreal y) { return QPointF(x * dx, y * dy); };

    if (!logo.isNull() && screenPpi > 0) {
        const QSizeF inches(logo.width() / screenPpi, logo.height() / screenPpi);
        painter.drawImage(QRectF(at(logoX, logoY), QSizeF(inches.width() * dx, inches.height() * dy)), logo);
    }

    for (const Item &item : sheet.items) {
        const QFont font = sheetFont(item.kind);
        painter.setFont(font);
        painter.setPen(Qt::black);
        const qreal width = textBoxInches * dx;
        const qreal height = lineFeed(font.pointSizeF()) * dy;
        QRectF box(at(item.x, item.y), QSizeF(width, height));
        int flags = Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
        switch (item.align) {
        case Align::Left: flags |= Qt::AlignLeft; break;
        case Align::Right:
            box.moveRight(item.x * dx);
            flags |= Qt::AlignRight;
            break;
        case Align::Center:
            box.moveLeft(item.x * dx - width / 2);
            flags |= Qt::AlignHCenter;
            break;
        }
        painter.drawText(box, flags, item.text);
    }

    // A one-point line, whatever the device's resolution.
    painter.setPen(QPen(Qt::black, dx / 72.0));
    painter.setBrush(Qt::NoBrush);
    for (const QRectF &f : sheet.frames)
        painter.drawRect(QRectF(at(f.left(), f.top()), at(f.right(), f.bottom())));
}

ConfigSheetPrint::ConfigSheetPrint(Operator &op, QWidget *dialogParent)
    : QObject(dialogParent), m_op(op), m_parent(dialogParent), m_logo(configSheetLogo())
{
    printerForPrint = []() -> std::unique_ptr<QPrinter> {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull())
            return nullptr;
        auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
        printer->setPageSize(QPageSize(QPageSize::Letter));
        return printer;
    };
    runPreview = [](QPrintPreviewDialog &d) { return d.exec(); };
}

bool ConfigSheetPrint::render(QPrinter &printer) const
{
    if (!source)
        return false;
    const Sheet sheet = source(clock ? clock() : QDateTime::currentDateTime());
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    paintConfigSheet(painter, sheet, m_logo, screenPixelsPerInch());
    return painter.end();
}

void ConfigSheetPrint::preview()
{
    // The preview's own buttons reach the printer setup.
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::Letter));
    QPrintPreviewDialog dialog(&printer, m_parent);
    dialog.setWindowTitle(QStringLiteral("Print Preview"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter *p) { render(*p); });
    runPreview(dialog);
}

bool ConfigSheetPrint::print()
{
    std::unique_ptr<QPrinter> printer = printerForPrint ? printerForPrint() : nullptr;
    if (!printer || !printer->isValid()) {
        m_op.error(noPrinterText());
        return false;
    }
    m_op.setBusy(true);
    const bool ok = render(*printer);
    m_op.setBusy(false);
    if (!ok)
        m_op.error(failedText());
    return ok;
}

} // namespace vork
