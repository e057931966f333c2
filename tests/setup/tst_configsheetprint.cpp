// The configuration sheet on paper: what the painter draws where (through a
// recording paint engine), a PDF file through the print path, the message
// when there is no printer, and "Preview"/"Print" on the SETUP page against
// a simulated unit.
#include "connection/connectionmanager.h"
#include "core/pinger.h"
#include "core/settings.h"
#include "recordingoperator.h"
#include "services/pagecontroller.h"
#include "services/unitservices.h"
#include "setup/configsheet.h"
#include "setup/setuppage.h"
#include "setup/ui/configsheetprint.h"
#include "setup/ui/parameterstab.h"
#include "setup/ui/setuppage.h"
#include "simfleet.h"
#include "unit/records.h"
#include "unit/unittable.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPaintEngine>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace vork;
using namespace vork::configsheet;

namespace {

constexpr int dpi = 300;

// Collects what a painter draws, in device units.
class RecordingEngine : public QPaintEngine
{
public:
    struct Text
    {
        QString text;
        QPointF at; // baseline start
        qreal width;
        QFont font;
    };

    RecordingEngine() : QPaintEngine(AllFeatures) {}
    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &s) override
    {
        if (s.state() & DirtyTransform)
            m_transform = s.transform();
    }
    void drawPixmap(const QRectF &r, const QPixmap &, const QRectF &) override { images << m_transform.mapRect(r); }
    void drawImage(const QRectF &r, const QImage &image, const QRectF &, Qt::ImageConversionFlags) override
    {
        images << m_transform.mapRect(r);
        imageSizes << image.size();
    }
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        texts.append({item.text(), m_transform.map(p), item.width(), item.font()});
    }
    void drawRects(const QRectF *r, int count) override
    {
        for (int i = 0; i < count; ++i)
            rects << m_transform.mapRect(r[i]);
    }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override { ++polygons; }
    Type type() const override { return User; }

    QList<Text> texts;
    QList<QRectF> rects;
    QList<QRectF> images;
    QList<QSize> imageSizes;
    int polygons = 0;

private:
    QTransform m_transform;
};

// A letter page at 300 dots per inch that only records.
class RecordingDevice : public QPaintDevice
{
public:
    QPaintEngine *paintEngine() const override { return &engine; }
    mutable RecordingEngine engine;

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth: return int(8.5 * dpi);
        case PdmHeight: return 11 * dpi;
        case PdmWidthMM: return 216;
        case PdmHeightMM: return 279;
        case PdmNumColors: return INT_MAX;
        case PdmDepth: return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY: return dpi;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        default: return 0;
        }
    }
};

udppack unit503()
{
    udppack u;
    u.ver.vnum = {5, 0, 3};
    u.ver.vrcnt = 2;
    u.vnumber = QStringLiteral("5.0.3");
    u.vbuild = QStringLiteral("MAR-07-2019");
    u.model = 1;
    u.mac = QStringLiteral("0050C2123456");
    u.blv = QStringLiteral("1.05");
    u.zosv = {1, 4, 2};
    u.flash_mfg = 0x1F;
    u.flash_typ = 0x47;
    return u;
}

Sheet sampleSheet(const udppack &u)
{
    Input in;
    in.unit = &u;
    in.connected = true;
    in.record.setNcp(1);
    in.record.setDesc(QStringLiteral("Dock 4 reader"));
    in.now = QDateTime(QDate(2026, 3, 4), QTime(13, 5, 9));
    return build(in);
}

class Reachable : public Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};

// A SETUP page over one simulated unit on its own loopback address.
struct Rig
{
    explicit Rig(int host)
        : services(op), controller(services), file(op, dir.filePath(QStringLiteral("Vork.ini"))),
          page(services, controller, settings, file)
    {
        services.setPinger(std::make_unique<Reachable>());
        unit = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.75.%1").arg(host)));
        unit.version = {5, 0, 2};
        unit.model = 0;
        unit.readers = 2;
        unit.ncp = 1;
        unit.bla = 4;
        unit.blb = 6;
        page.setProgramDir(dir.path());
        page.resize(1200, 800);
    }
    bool start()
    {
        fleet.add(unit);
        QString error;
        if (!fleet.start({}, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        UnitTable &t = services.units();
        udppack announced = unit.record(QDateTime::currentDateTime(), 0);
        announced.vnumber = QStringLiteral("5.0.2");
        announced.vbuild = QStringLiteral("MAR-07-2019");
        t.enterAnnouncement(announced, unit.address.toString());
        t.setCurrent(&t.unit(0));
        if (!services.connections().Connect_or_timeout(2000))
            return false;
        controller.pageChanged(Page::Discover, Page::Setup);
        controller.entered(Page::Discover);
        return true;
    }

    QTemporaryDir dir;
    RecordingOperator op;
    UnitServices services;
    SetupPageController controller;
    Settings settings;
    SettingsFile file;
    SetupPage page;
    sim::SimUnit unit;
    sim::SimFleet fleet;
};

} // namespace

class TestConfigSheetPrint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textsWhereTheModelSays();
    void framesAndLogo();
    void printsToPdf();
    void noPrinter();
    void noSheet();
    void pageButtons();
    void pagePreviewAndPrint();
};

void TestConfigSheetPrint::textsWhereTheModelSays()
{
    const udppack u = unit503();
    const Sheet sheet = sampleSheet(u);
    RecordingDevice device;
    {
        QPainter p(&device);
        paintConfigSheet(p, sheet, QImage(), 96);
    }
    const QList<RecordingEngine::Text> &drawn = device.engine.texts;
    // Every item once; nothing else.
    int expected = 0;
    for (const Item &i : sheet.items)
        expected += i.text.isEmpty() ? 0 : 1;
    QCOMPARE(drawn.size(), expected);

    int at = 0;
    for (const Item &item : sheet.items) {
        if (item.text.isEmpty())
            continue;
        const RecordingEngine::Text &t = drawn.at(at++);
        QCOMPARE(t.text, item.text);
        const qreal left = t.at.x() / dpi;
        const qreal right = (t.at.x() + t.width) / dpi;
        const qreal baseline = t.at.y() / dpi;
        const qreal tolerance = 1.5 / dpi;
        switch (item.align) {
        case Align::Left: QVERIFY2(qAbs(left - item.x) < tolerance, qPrintable(item.text)); break;
        case Align::Right: QVERIFY2(qAbs(right - item.x) < tolerance, qPrintable(item.text)); break;
        case Align::Center: QVERIFY2(qAbs((left + right) / 2 - item.x) < tolerance, qPrintable(item.text)); break;
        }
        // The baseline sits within the item's line.
        const qreal points = item.kind == ItemKind::Title ? titlePoints : textPoints;
        QVERIFY2(baseline > item.y && baseline < item.y + lineFeed(points), qPrintable(item.text));
        QCOMPARE(t.font.pointSizeF(), points);
        QCOMPARE(t.font.bold(), item.kind != ItemKind::Value);
        QCOMPARE(t.font.family(), QStringLiteral("Arial"));
    }
    // The exact texts of the 5.0.3 unit's edge case reached the page.
    const auto drawnText = [&drawn](const QString &text) {
        for (const auto &t : drawn)
            if (t.text == text)
                return true;
        return false;
    };
    QVERIFY(drawnText(QStringLiteral("1.05 1.03 1.03")));
    QVERIFY(drawnText(QStringLiteral("5.0.3e Build MAR-07-2019")));
    QVERIFY(drawnText(QStringLiteral("ZiLOG TCP/IP Software Suite v1.4.2")));
    QVERIFY(drawnText(QStringLiteral("Dock 4 reader")));
    QVERIFY(drawnText(QStringLiteral("03/04/2026 01:05:09 PM")));
}

void TestConfigSheetPrint::framesAndLogo()
{
    const udppack u = unit503();
    const Sheet sheet = sampleSheet(u);
    const QImage logo = configSheetLogo();
    QVERIFY(!logo.isNull());
    RecordingDevice device;
    {
        QPainter p(&device);
        paintConfigSheet(p, sheet, logo, 96);
    }
    const RecordingEngine &e = device.engine;
    QCOMPARE(e.rects.size(), 6);
    QCOMPARE(e.polygons, 0);
    const QList<QRectF> inches = {
        QRectF(QPointF(0.3, 1.45), QPointF(8.2, 2.6)),  QRectF(QPointF(0.3, 2.7), QPointF(8.2, 4.8)),
        QRectF(QPointF(0.3, 4.9), QPointF(8.2, 6.1)),   QRectF(QPointF(0.3, 6.2), QPointF(8.2, 7.15)),
        QRectF(QPointF(0.3, 7.27), QPointF(5.4, 8.0)), QRectF(QPointF(5.5, 7.27), QPointF(8.2, 8.0)),
    };
    for (int i = 0; i < 6; ++i) {
        const QRectF r = e.rects.at(i);
        const QRectF back(r.left() / dpi, r.top() / dpi, r.width() / dpi, r.height() / dpi);
        QVERIFY2(qAbs(back.left() - inches[i].left()) < 1e-6 && qAbs(back.top() - inches[i].top()) < 1e-6
                     && qAbs(back.right() - inches[i].right()) < 1e-6
                     && qAbs(back.bottom() - inches[i].bottom()) < 1e-6,
                 qPrintable(QStringLiteral("frame %1").arg(i)));
    }
    // The logo at 2.75, 0.5, at its size on a 96-ppi screen.
    QCOMPARE(e.images.size(), 1);
    const QRectF l = e.images.first();
    QCOMPARE(l.topLeft(), QPointF(2.75 * dpi, 0.5 * dpi));
    QCOMPARE(l.size(), QSizeF(logo.width() / 96.0 * dpi, logo.height() / 96.0 * dpi));
}

void TestConfigSheetPrint::printsToPdf()
{
    RecordingOperator op;
    QWidget parent;
    ConfigSheetPrint print(op, &parent);
    const udppack u = unit503();
    int asked = 0;
    QDateTime stamped;
    print.source = [&](const QDateTime &now) {
        ++asked;
        stamped = now;
        return sampleSheet(u);
    };
    const QDateTime pinned(QDate(2026, 1, 2), QTime(3, 4, 5));
    print.clock = [pinned] { return pinned; };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sheet.pdf"));
    print.printerForPrint = [path] {
        auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setPageSize(QPageSize(QPageSize::Letter));
        p->setOutputFileName(path);
        return p;
    };
    QVERIFY(print.print());
    QCOMPARE(asked, 1);
    QCOMPARE(stamped, pinned);
    QVERIFY(op.messages.isEmpty());
    QCOMPARE(op.busyDepth, 0);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray pdf = f.readAll();
    QVERIFY(pdf.size() > 1000);
    QVERIFY(pdf.startsWith("%PDF-"));
    QVERIFY(pdf.trimmed().endsWith("%%EOF"));
    // One page object: every "/Type /Page" that is not "/Type /Pages".
    QCOMPARE(pdf.count("/Type /Page") - pdf.count("/Type /Pages"), 1);
}

void TestConfigSheetPrint::noPrinter()
{
    RecordingOperator op;
    QWidget parent;
    ConfigSheetPrint print(op, &parent);
    int asked = 0;
    print.source = [&](const QDateTime &) {
        ++asked;
        return Sheet{};
    };
    print.printerForPrint = [] { return std::unique_ptr<QPrinter>(); };
    QVERIFY(!print.print());
    QCOMPARE(asked, 0);
    QCOMPARE(op.messageTexts(MessageKind::Error),
             QStringList{QStringLiteral("No printer is available. The configuration sheet was not printed.")});
}

void TestConfigSheetPrint::noSheet()
{
    // A printer that cannot open its output file refuses the page.
    RecordingOperator op;
    QWidget parent;
    ConfigSheetPrint print(op, &parent);
    const udppack u = unit503();
    print.source = [&](const QDateTime &) { return sampleSheet(u); };
    print.printerForPrint = [] {
        auto p = std::make_unique<QPrinter>();
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(QStringLiteral("/nonexistent-folder-for-vork/sheet.pdf"));
        return p;
    };
    QVERIFY(!print.print());
    QCOMPARE(op.messageTexts(MessageKind::Error),
             QStringList{QStringLiteral("The configuration sheet could not be printed.")});
    QCOMPARE(op.busyDepth, 0);
}

void TestConfigSheetPrint::pageButtons()
{
    Rig rig(2);
    QVERIFY(rig.start());
    QPushButton *preview = rig.page.previewButton();
    QPushButton *print = rig.page.printButton();
    QCOMPARE(preview->text(), QStringLiteral("Preview"));
    QCOMPARE(preview->toolTip(), QStringLiteral("Preview print configuration sheet"));
    QCOMPARE(print->text(), QStringLiteral("Print"));
    QCOMPARE(print->toolTip(), QStringLiteral("Print configuration sheet"));
    QCOMPARE(preview->parentWidget(), rig.page.buttonPanel());
    QCOMPARE(print->parentWidget(), rig.page.buttonPanel());

    // Blank: the page was just opened.
    QVERIFY(!preview->isEnabled());
    QVERIFY(!print->isEnabled());

    rig.page.uploadButton()->click();
    QVERIFY(rig.page.form().shown());
    QVERIFY(preview->isEnabled());
    QVERIFY(print->isEnabled());

    // An edit that changes the record disables them; changing it back enables them again.
    QLineEdit *desc = rig.page.parameters()->control<QLineEdit>(QStringLiteral("edesc"));
    QVERIFY(desc);
    const QString before = desc->text();
    desc->selectAll();
    QTest::keyClicks(desc, QStringLiteral("Changed"));
    QVERIFY(rig.page.form().changesPending());
    QVERIFY(!preview->isEnabled());
    QVERIFY(!print->isEnabled());
    desc->selectAll();
    QTest::keyClicks(desc, before);
    QVERIFY(!rig.page.form().changesPending());
    QVERIFY(preview->isEnabled());

    // "Clear" blanks the form: nothing to download, save or print, and the fields are empty.
    rig.page.clearButton()->click();
    QVERIFY(!rig.page.form().shown());
    QVERIFY(desc->text().isEmpty());
    for (QPushButton *b : {preview, print, rig.page.downloadButton(), rig.page.saveButton()})
        QVERIFY2(!b->isEnabled(), qPrintable(b->text()));
    QVERIFY(rig.page.uploadButton()->isEnabled()); // the unit can fill it again
    rig.page.uploadButton()->click();
    QVERIFY(rig.page.form().shown());
    QVERIFY(preview->isEnabled());

    // Opening the page again blanks the form.
    rig.controller.pageChanged(Page::Discover, Page::Setup);
    QVERIFY(!rig.page.form().shown());
    QVERIFY(!preview->isEnabled());
    QVERIFY(!print->isEnabled());
}

void TestConfigSheetPrint::pagePreviewAndPrint()
{
    Rig rig(3);
    QVERIFY(rig.start());
    rig.page.uploadButton()->click();
    QVERIFY(rig.page.form().shown());

    // The page's sheet: the connected unit's identity, the record's settings.
    const QDateTime pinned(QDate(2026, 7, 8), QTime(9, 10, 11));
    const Sheet sheet = rig.page.sheet(pinned);
    QCOMPARE(sheet.valuesAfter(QStringLiteral("Mac Address:")), QStringList{rig.unit.mac});
    QCOMPARE(sheet.valuesAfter(QStringLiteral("Vork Model:")), QStringList{QStringLiteral("TVRKX")});
    QCOMPARE(sheet.valuesAfter(QStringLiteral("Software Version:")),
             QStringList{QStringLiteral("5.0.2s Build MAR-07-2019")});
    QCOMPARE(sheet.valuesAfter(QStringLiteral("BootLoader Version:")),
             QStringList{rig.unit.bootLoader});
    QCOMPARE(sheet.valuesAfter(QStringLiteral("Description:")), QStringList{rig.page.form().received().desc()});
    QVERIFY(sheet.find(QStringLiteral("07/08/2026 09:10:11 AM")));

    // "Preview" opens the preview window with one page; a timer closes it.
    bool seen = false;
    int pages = -1;
    int tries = 0;
    QTimer closer;
    closer.setInterval(50);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (++tries > 100) { // five seconds at most
            closer.stop();
            if (QWidget *w = QApplication::activeModalWidget())
                w->close();
            return;
        }
        auto *dialog = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen = true;
        if (auto *view = dialog->findChild<QPrintPreviewWidget *>())
            pages = view->pageCount();
        closer.stop();
        dialog->reject();
    });
    closer.start();
    rig.page.previewButton()->click();
    closer.stop();
    QVERIFY(seen);
    QCOMPARE(pages, 1);

    // "Print" goes straight to the printer: here a PDF file, no dialog in between.
    const QString path = rig.dir.filePath(QStringLiteral("page.pdf"));
    rig.page.sheetPrint().printerForPrint = [path] {
        auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(path);
        return p;
    };
    rig.op.messages.clear();
    rig.page.printButton()->click();
    QVERIFY(rig.op.messages.isEmpty());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.read(5) == "%PDF-");
    QVERIFY(f.size() > 1000);

    // Without a printer: one clear message, nothing else.
    rig.page.sheetPrint().printerForPrint = [] { return std::unique_ptr<QPrinter>(); };
    rig.page.printButton()->click();
    QCOMPARE(rig.op.messageTexts(MessageKind::Error),
             QStringList{QStringLiteral("No printer is available. The configuration sheet was not printed.")});
}

QTEST_MAIN(TestConfigSheetPrint)
#include "tst_configsheetprint.moc"
