#pragma once

#include "setup/setuprecord.h"

#include <QDateTime>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

namespace vork {

class SetupForm;
struct udppack;

// The printed configuration sheet as data: what goes where on a letter page,
// in inches from the printable area's top-left corner. The painter only draws it.
namespace configsheet {

enum class ItemKind { Title, Label, Value }; // bold 16, bold 12, regular 12
enum class Align { Left, Right, Center };    // x is the left edge, the right edge or the centre

struct Item
{
    qreal x = 0;
    qreal y = 0; // top of the text line
    QString text;
    ItemKind kind = ItemKind::Value;
    Align align = Align::Left;

    bool operator==(const Item &) const = default;
};

// Line feeds follow Arial's line spacing: a p-point line is p × 1.15 / 72 inch.
constexpr qreal lineSpacing = 1.15;
constexpr qreal lineFeed(qreal points) { return points * lineSpacing / 72.0; }

// The auxiliary and security rows stay inside their frames (7.27 to 8.0 in): the
// line feeds before them would put them above or below it for most units.
constexpr qreal auxFrameTop = 7.27;
constexpr qreal auxFrameBottom = 8.0;
constexpr qreal auxFramePad = 0.05;
constexpr qreal auxFirstRow = auxFrameTop + auxFramePad;
constexpr qreal auxLastStart = auxFrameBottom - auxFramePad - 2 * lineFeed(12); // two rows end inside it
constexpr qreal logoX = 2.75;
constexpr qreal logoY = 0.5;
constexpr qreal footerY = 10.2;
constexpr qreal footerCentreX = 4.25;
constexpr qreal footerRightX = 8.2;
constexpr int titlePoints = 16;
constexpr int textPoints = 12;

// The page's edit controls the sheet prints as they stand, not as last received.
struct Fields
{
    QString timeServer;
    QString updateFrequency;
    QString startDelay;
    QString finishDelay;
    QString restartDelay;
    QString keepAliveInterval;
    QString keepAliveRetries;
    QString ethernetMode;
    QString serverIp;
    QString port;
    QString retransmitCount;
    bool pad = false;
    bool netDiagnostics = false;
    bool netErrors = false;
    QString serialBaud;
    QString serialParity;
    QString plcAddress;
    QString auxBaud;
    QString auxParity;
    QString auxMode;
};
Fields fieldsFromForm(const SetupForm &form);

// The six values of the unit information frame.
struct UnitInfo
{
    QString model;
    QString mac;
    QString software;
    QString bootLoader;
    QString os;
    QString flash;
};
// From the unit while it is connected and no file named after a MAC is open;
// otherwise the fallbacks, with the MAC taken from the file's name.
UnitInfo unitInfo(const udppack *unit, bool connected, const QString &openFileName);

QString modelText(int readerCount);
QString softwareText(const udppack &unit);
QString bootLoaderText(const udppack &unit);
QString osText(const udppack &unit);
QString flashText(const udppack &unit);
QString yesNo(bool value);
QString dateTimeText(const QDateTime &when);

struct Input
{
    const udppack *unit = nullptr; // the current unit, connected or not; null: none
    bool connected = false;
    QString openFileName;          // the configuration file open on the page, if any
    setuppack record;
    Fields fields;
    QDateTime now;
};

struct Sheet
{
    QList<Item> items;
    QList<QRectF> frames; // left, top, right, bottom in inches
    bool serialSection = false;

    // The n-th item with this exact text; null when there is none.
    const Item *find(const QString &text, int occurrence = 0) const;
    // The values on a label's line after it, up to the next label.
    QStringList valuesAfter(const QString &label, int occurrence = 0) const;
};

Sheet build(const Input &in);

} // namespace configsheet
} // namespace vork
