// The configuration sheet's content: unit information and its fallbacks,
// the settings rows, which sections print, and where each line lands.
#include "core/operator.h"
#include "recordingoperator.h"
#include "setup/configsheet.h"
#include "setup/setupform.h"
#include "unit/records.h"

#include <QTest>

using namespace vork;
using namespace vork::configsheet;

namespace {

constexpr qreal L = lineFeed(12);
constexpr qreal T = lineFeed(16);
constexpr qreal F4 = lineFeed(4);
// The first line under the logo.
constexpr qreal top = 6 * T;

udppack makeUnit(const QString &version, std::uint8_t model, std::uint8_t readers = 1)
{
    udppack u;
    const QStringList parts = version.split(QLatin1Char('.'));
    for (int i = 0; i < 3; ++i)
        u.ver.vnum[i] = std::uint8_t(parts.value(i).toInt());
    u.ver.vrcnt = readers;
    u.vnumber = version;
    u.vbuild = QStringLiteral("MAR-07-2019");
    u.model = model;
    u.mac = QStringLiteral("0050C2ABCDEF");
    u.blv = QStringLiteral("1.05");
    u.flash_mfg = 0x1F;
    u.flash_typ = 0x47;
    u.zosv = {1, 2, 3};
    u.connected = true;
    return u;
}

Input input(const udppack *unit, const setuppack &record = {})
{
    Input in;
    in.unit = unit;
    in.connected = unit != nullptr;
    in.record = record;
    in.now = QDateTime(QDate(2026, 3, 4), QTime(13, 5, 9));
    return in;
}

// The item with this text standing at x; null when there is none.
const Item *at(const Sheet &s, const QString &text, qreal x)
{
    for (const Item &i : s.items)
        if (i.text == text && qFuzzyCompare(i.x, x))
            return &i;
    return nullptr;
}

// The value printed at x on the line of a label standing at labelX.
QString valueAt(const Sheet &s, const QString &label, qreal labelX, qreal x)
{
    if (!at(s, label, labelX))
        return QStringLiteral("<no label>");
    for (const Item &l : s.items) {
        if (l.text != label || !qFuzzyCompare(l.x, labelX))
            continue;
        for (const Item &i : s.items)
            if (i.kind == ItemKind::Value && qFuzzyCompare(i.y, l.y) && qFuzzyCompare(i.x, x))
                return i.text;
    }
    return QStringLiteral("<no value>");
}

} // namespace

class TestConfigSheet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unitValues_data();
    void unitValues();
    void fallbacks_data();
    void fallbacks();
    void sections_data();
    void sections();
    void yesNoRows_data();
    void yesNoRows();
    void protocolTexts_data();
    void protocolTexts();
    void rowPositions();
    void unitInformationLayout();
    void framesAndFooter();
    void fieldsFromTheForm();
};

void TestConfigSheet::unitValues_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("readers");
    QTest::addColumn<int>("bla");
    QTest::addColumn<int>("blb");
    QTest::addColumn<QByteArray>("zosv");
    QTest::addColumn<int>("mfg");
    QTest::addColumn<int>("typ");
    QTest::addColumn<QString>("modelText");
    QTest::addColumn<QString>("software");
    QTest::addColumn<QString>("bootLoader");
    QTest::addColumn<QString>("os");
    QTest::addColumn<QString>("flash");

    const QByteArray zosv("\x01\x02\x03", 3);
    QTest::newRow("5.0.3 boot loader 1.05") << "5.0.3" << 0 << 1 << 7 << 9 << zosv << 0x1F << 0x47 << "SVRKX"
                                            << "5.0.3s Build MAR-07-2019" << "1.05 1.03 1.03"
                                            << "ZiLOG TCP/IP Software Suite v1.2.3" << "0x1F.47";
    QTest::newRow("below 503: boot loader alone")
        << "5.0.2" << 1 << 2 << 7 << 9 << QByteArray("\x00\x04\x05", 3) << 0x01 << 0x0A << "TVRKX"
        << "5.0.2e Build MAR-07-2019" << "1.05" << "" << "0x01.0A";
    QTest::newRow("above 503: A and B numbers")
        << "5.1.0" << 8 << 8 << 7 << 129 << QByteArray("\x0A\x00\xFF", 3) << 0xC2 << 0x00 << "MVRKX"
        << "5.1.0 Build MAR-07-2019" << "1.05 7 129" << "ZiLOG TCP/IP Software Suite v10.0.255" << "0xC2.00";
    QTest::newRow("model 8 without suffix on an old unit")
        << "4.9.0" << 8 << 1 << 0 << 0 << zosv << 0 << 0 << "SVRKX" << "4.9.0 Build MAR-07-2019" << "1.05"
        << "ZiLOG TCP/IP Software Suite v1.2.3" << "0x00.00";
    QTest::newRow("odd model 9 is e, four readers unknown")
        << "4.9.0" << 9 << 4 << 0 << 0 << zosv << 0xAB << 0xCD << "UNKNOWN" << "4.9.0e Build MAR-07-2019" << "1.05"
        << "ZiLOG TCP/IP Software Suite v1.2.3" << "0xAB.CD";
    QTest::newRow("model 2 has bit 1 clear") << "3.1.6" << 2 << 0 << 0 << 0 << zosv << 0x1F << 0x47 << "UNKNOWN"
                                             << "3.1.6s Build MAR-07-2019" << "1.05"
                                             << "ZiLOG TCP/IP Software Suite v1.2.3" << "0x1F.47";
}

void TestConfigSheet::unitValues()
{
    QFETCH(QString, version);
    QFETCH(int, model);
    QFETCH(int, readers);
    QFETCH(int, bla);
    QFETCH(int, blb);
    QFETCH(QByteArray, zosv);
    QFETCH(int, mfg);
    QFETCH(int, typ);
    udppack u = makeUnit(version, std::uint8_t(model), std::uint8_t(readers));
    u.bla = std::uint8_t(bla);
    u.blb = std::uint8_t(blb);
    for (int i = 0; i < 3; ++i)
        u.zosv[i] = std::uint8_t(zosv.at(i));
    u.flash_mfg = std::uint8_t(mfg);
    u.flash_typ = std::uint8_t(typ);

    const Sheet s = build(input(&u));
    QTEST(s.valuesAfter(QStringLiteral("Vork Model:")).value(0), "modelText");
    QTEST(s.valuesAfter(QStringLiteral("Software Version:")).value(0), "software");
    QTEST(s.valuesAfter(QStringLiteral("BootLoader Version:")).value(0), "bootLoader");
    QTEST(s.valuesAfter(QStringLiteral("OS Version:")).value(0), "os");
    QTEST(s.valuesAfter(QStringLiteral("Flash Version:")).value(0), "flash");
    QCOMPARE(s.valuesAfter(QStringLiteral("Mac Address:")), QStringList{QStringLiteral("0050C2ABCDEF")});
}

void TestConfigSheet::fallbacks_data()
{
    QTest::addColumn<bool>("haveUnit");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("fromUnit");
    QTest::addColumn<QString>("mac");

    QTest::newRow("no unit, no file") << false << false << "" << false << "";
    QTest::newRow("no unit, file named after a MAC")
        << false << false << "/data/Vork Configuration Files/C0050C22C2000.v502s.vork" << false << "0050C22C2000";
    QTest::newRow("connected, file named after a MAC")
        << true << true << "/data/C0050c2112233.v501e.vork" << false << "0050c2112233";
    QTest::newRow("connected, file without a MAC") << true << true << "/data/0050C2/site.vork" << true
                                                   << "0050C2ABCDEF";
    QTest::newRow("connected, no file") << true << true << "" << true << "0050C2ABCDEF";
    QTest::newRow("unit not connected") << true << false << "" << false << "";
}

void TestConfigSheet::fallbacks()
{
    QFETCH(bool, haveUnit);
    QFETCH(bool, connected);
    QFETCH(QString, file);
    QFETCH(bool, fromUnit);
    const udppack u = makeUnit(QStringLiteral("5.0.3"), 0);
    Input in = input(haveUnit ? &u : nullptr);
    in.connected = connected;
    in.openFileName = file;
    const Sheet s = build(in);

    const auto value = [&s](const char *label) { return s.valuesAfter(QString::fromLatin1(label)).value(0); };
    QTEST(value("Mac Address:"), "mac");
    QCOMPARE(value("Vork Model:"), fromUnit ? QStringLiteral("SVRKX") : QStringLiteral("NA"));
    QCOMPARE(value("Software Version:"),
             fromUnit ? QStringLiteral("5.0.3s Build MAR-07-2019") : QStringLiteral("UNKNOWN"));
    QCOMPARE(value("BootLoader Version:"), fromUnit ? QStringLiteral("1.05 1.03 1.03") : QStringLiteral("NA"));
    QCOMPARE(value("OS Version:"), fromUnit ? QStringLiteral("ZiLOG TCP/IP Software Suite v1.2.3") : QString());
    QCOMPARE(value("Flash Version:"), fromUnit ? QStringLiteral("0x1F.47") : QStringLiteral("NA"));
    // The settings still print from the record.
    QVERIFY(s.find(QStringLiteral("GENERAL CONFIGURATION")));
    QVERIFY(s.find(QStringLiteral("AUXILIARY PORT CONFIGURATION")));
}

void TestConfigSheet::sections_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("ncp");
    QTest::addColumn<QString>("protocol"); // on the network title line; empty: none
    QTest::addColumn<bool>("standardRows");
    QTest::addColumn<bool>("serial");
    QTest::addColumn<bool>("eipRows");
    QTest::addColumn<bool>("ethernet");
    QTest::addColumn<qreal>("auxY");

    // Network title at top+18L; the standard rows end at top+22L, three line feeds follow.
    // The line feeds place the auxiliary rows; where that is outside their frame
    // (7.27 to 8.0 in) they start at the frame's first row or its last possible one.
    const qreal afterSerial = top + 28 * L + F4;
    const qreal frameFirst = 7.27 + 0.05;
    const qreal frameLast = 8.0 - 0.05 - 2 * L;
    QVERIFY(top + 29 * L < frameFirst && afterSerial + 4 * L > frameLast); // the cases below do reach both ends
    QTest::newRow("4.9.0 model bit 1 set") << "4.9.0" << 1 << 1 << "" << true << false << false << false
                                           << frameFirst;
    QTest::newRow("4.9.0 model even") << "4.9.0" << 0 << 0 << "" << true << true << false << false
                                      << afterSerial + 2 * L;
    QTest::newRow("5.0.0 model bit 1 set, below 501") << "5.0.0" << 3 << 0 << "" << true << false << false << false
                                                      << frameFirst;
    QTest::newRow("5.0.1 ncp 1") << "5.0.1" << 1 << 1 << "Standard TCP" << true << true << false << true
                                 << frameLast;
    QTest::newRow("5.0.1 ncp 2 counts as standard") << "5.0.1" << 8 << 2 << "Standard TCP" << true << true << false
                                                    << true << frameLast;
    QTest::newRow("5.0.2 ncp 0") << "5.0.2" << 0 << 0 << "Ethernet IP" << false << false << true << true
                                 << frameFirst;
}

void TestConfigSheet::sections()
{
    QFETCH(QString, version);
    QFETCH(int, model);
    QFETCH(int, ncp);
    QFETCH(QString, protocol);
    QFETCH(bool, standardRows);
    QFETCH(bool, serial);
    QFETCH(bool, eipRows);
    QFETCH(bool, ethernet);
    QFETCH(qreal, auxY);
    const udppack u = makeUnit(version, std::uint8_t(model));
    setuppack r;
    r.setNcp(std::uint8_t(ncp));
    const Sheet s = build(input(&u, r));

    const Item *netTitle = s.find(QStringLiteral("NETWORK PORT CONFIGURATION"));
    QVERIFY(netTitle);
    QCOMPARE(netTitle->y, top + 18 * L);
    const Item *titleProtocol = at(s, QStringLiteral("Protocol:"), 6.0);
    QCOMPARE(titleProtocol != nullptr, !protocol.isEmpty());
    if (titleProtocol) {
        QCOMPARE(titleProtocol->y, netTitle->y);
        QCOMPARE(valueAt(s, QStringLiteral("Protocol:"), 6.0, 6.85), protocol);
    }
    QCOMPARE(at(s, QStringLiteral("Box Address:"), 0.5) != nullptr, standardRows);
    QCOMPARE(at(s, QStringLiteral("Retrans Cnt:"), 0.577) != nullptr, standardRows);
    QCOMPARE(s.find(QStringLiteral("SERIAL PORT CONFIGURATION")) != nullptr, serial);
    QCOMPARE(s.serialSection, serial);
    QCOMPARE(at(s, QStringLiteral("Baud:"), 1.09) != nullptr, serial);
    QCOMPARE(s.find(QStringLiteral("PLC IP Address:")) != nullptr, eipRows);
    QCOMPARE(s.find(QStringLiteral("Close EIP Connection on UDP Data Loss:")) != nullptr, eipRows);
    QCOMPARE(s.find(QStringLiteral("Ethernet:")) != nullptr, ethernet);

    const Item *aux = s.find(QStringLiteral("AUXILIARY PORT CONFIGURATION"));
    const Item *security = s.find(QStringLiteral("SECURITY"));
    QVERIFY(aux && security);
    QVERIFY2(qAbs(aux->y - auxY) < 1e-9, qPrintable(QStringLiteral("aux at %1, expected %2").arg(aux->y).arg(auxY)));
    QCOMPARE(security->y, aux->y);
    QCOMPARE(security->x, 5.8);
    const Item *pwp = s.find(QStringLiteral("Password Protected:"));
    QVERIFY(pwp);
    QVERIFY(qAbs(pwp->y - (auxY + L)) < 1e-9);
    // Both rows inside the auxiliary and security frames.
    QVERIFY(aux->y >= 7.27 && pwp->y + L <= 8.0 + 1e-9);
}

void TestConfigSheet::yesNoRows_data()
{
    QTest::addColumn<int>("field"); // 0: wdt, 1: nfm
    QTest::addColumn<int>("byte");

    QTest::newRow("watchdog 2") << 0 << 2;
    QTest::newRow("watchdog off") << 0 << 0;
    QTest::newRow("monitor 25") << 1 << 25;
    QTest::newRow("monitor off, EIP bits") << 1 << 24;
    QTest::newRow("monitor on alone") << 1 << 1;
}

void TestConfigSheet::yesNoRows()
{
    QFETCH(int, field);
    QFETCH(int, byte);
    const udppack u = makeUnit(QStringLiteral("5.0.2"), 0);
    setuppack r;
    r.setNcp(0);
    r.setNdhcp(true);
    r.setUats(false);
    r.setWdt31(true);
    r.setTenths(false);
    r.setE99(true);
    r.setRcmd(false);
    r.setFirewall(true);
    r.setEipDiags(true);
    r.setPwp(true);
    if (field == 0)
        r.setWdt(std::uint8_t(byte));
    else
        r.setNfm(std::uint8_t(byte));
    const Sheet s = build(input(&u, r));

    QCOMPARE(valueAt(s, QStringLiteral("DHCP:"), 1.02, 1.62), QStringLiteral("Yes"));
    QCOMPARE(valueAt(s, QStringLiteral("Use Alt Time:"), 6.2, 7.3), QStringLiteral("No"));
    QCOMPARE(valueAt(s, QStringLiteral("Priority 31:"), 3.7, 4.65), QStringLiteral("Yes"));
    QCOMPARE(valueAt(s, QStringLiteral("Tenths:"), 5.76, 6.42), QStringLiteral("No"));
    QCOMPARE(valueAt(s, QStringLiteral("History E99:"), 3.6, 4.65), QStringLiteral("Yes"));
    QCOMPARE(valueAt(s, QStringLiteral("R Command:"), 5.33, 6.43), QStringLiteral("No"));
    QCOMPARE(valueAt(s, QStringLiteral("Firewall:"), 6.83, 7.57), QStringLiteral("Yes"));
    QCOMPARE(valueAt(s, QStringLiteral("Embed Diagnostics:"), 3.1, 4.76), QStringLiteral("Yes"));
    QCOMPARE(valueAt(s, QStringLiteral("Password Protected:"), 5.8, 7.55), QStringLiteral("Yes"));

    const QString yes = QStringLiteral("Yes"), no = QStringLiteral("No");
    if (field == 0) {
        // "Enabled:" of the watchdog row, then its number.
        const Item *row = at(s, QStringLiteral("Watchdog:"), 0.7);
        QVERIFY(row);
        QCOMPARE(s.valuesAfter(QStringLiteral("Enabled:"), 0), (QStringList{byte ? yes : no, QString::number(byte)}));
        QCOMPARE(at(s, QStringLiteral("Enabled:"), 1.98)->y, row->y);
    } else {
        QCOMPARE(s.valuesAfter(QStringLiteral("Enabled:"), 1),
                 (QStringList{(byte & 1) ? yes : no, QString::number(byte)}));
        QCOMPARE(valueAt(s, QStringLiteral("Enable EIP UDP Broadcast Reply:"), 0.5, 3.25), (byte & 16) ? yes : no);
        QCOMPARE(valueAt(s, QStringLiteral("Close EIP Connection on UDP Data Loss:"), 0.5, 3.85),
                 (byte & 8) ? yes : no);
    }
}

void TestConfigSheet::protocolTexts_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("modeText");
    QTest::addColumn<QString>("protocolText");
    QTest::addColumn<QString>("typeText");

    QTest::newRow("zeros") << 0 << 0 << 0 << "Poll" << "Ascii" << "Server";
    QTest::newRow("ones") << 1 << 1 << 1 << "Handshake" << "Classic" << "Client";
    QTest::newRow("Device Net is Classic") << 2 << 2 << 2 << "Handshake" << "Classic" << "Client";
}

void TestConfigSheet::protocolTexts()
{
    QFETCH(int, mode);
    QFETCH(int, protocol);
    QFETCH(int, type);
    const udppack u = makeUnit(QStringLiteral("5.0.1"), 8);
    setuppack r;
    r.setNcp(1);
    r.setNmode(std::uint8_t(mode));
    r.setNpro(std::uint8_t(protocol));
    r.setNtyp(std::uint8_t(type));
    r.setCmode(std::uint8_t(mode));
    r.setCpro(std::uint8_t(protocol));
    r.setNaddr(4321);
    r.setCaddr(77);
    const Sheet s = build(input(&u, r));

    // The network row, then the serial row: the same labels at the same places.
    QCOMPARE(s.valuesAfter(QStringLiteral("Box Address:"), 0), QStringList{QStringLiteral("4321")});
    QCOMPARE(s.valuesAfter(QStringLiteral("Box Address:"), 1), QStringList{QStringLiteral("77")});
    for (int section = 0; section < 2; ++section) {
        QTEST(s.valuesAfter(QStringLiteral("Mode:"), section).value(0), "modeText");
        // "Protocol:" also stands on the network title line of a 501 unit.
        QTEST(s.valuesAfter(QStringLiteral("Protocol:"), section + 1).value(0), "protocolText");
    }
    QTEST(s.valuesAfter(QStringLiteral("Client/Server:")).value(0), "typeText");
}

void TestConfigSheet::rowPositions()
{
    const udppack u = makeUnit(QStringLiteral("5.0.1"), 8);
    setuppack r;
    r.setNcp(1);
    const Sheet s = build(input(&u, r));
    const auto y = [&s](const char *text) {
        const Item *i = s.find(QString::fromLatin1(text));
        return i ? i->y : -1.0;
    };
    QCOMPARE(y("VORK INFORMATION"), top);
    QCOMPARE(y("Vork Model:"), top + L);
    QCOMPARE(y("OS Version:"), top + 3 * L);
    QCOMPARE(y("GENERAL CONFIGURATION"), top + 7 * L);
    QCOMPARE(y("Description:"), top + 8 * L);
    QCOMPARE(y("Net Monitor:"), top + 14 * L);
    QCOMPARE(y("NETWORK PORT CONFIGURATION"), top + 18 * L);
    QCOMPARE(y("Retrans Cnt:"), top + 21 * L);
    QCOMPARE(y("SERIAL PORT CONFIGURATION"), top + 25 * L);
    QCOMPARE(at(s, QStringLiteral("Baud:"), 1.09)->y, top + 27 * L);
    // Concrete inches: Arial's 1.15 line spacing.
    QVERIFY(qAbs(y("VORK INFORMATION") - 1.533333) < 1e-5);
    QVERIFY(qAbs(y("GENERAL CONFIGURATION") - 2.875) < 1e-5);
    QVERIFY(qAbs(y("NETWORK PORT CONFIGURATION") - 4.983333) < 1e-5);
}

void TestConfigSheet::unitInformationLayout()
{
    const udppack u = makeUnit(QStringLiteral("5.0.1"), 8);
    const Sheet s = build(input(&u));
    struct Expect
    {
        const char *text;
        qreal x;
        Align align;
        ItemKind kind;
    };
    const Expect expected[] = {
        {"VORK INFORMATION", 0.5, Align::Left, ItemKind::Title},
        {"Vork Model:", 2.0, Align::Right, ItemKind::Label},
        {"SVRKX", 2.1, Align::Left, ItemKind::Value},
        {"Mac Address:", 6.6, Align::Right, ItemKind::Label},
        {"0050C2ABCDEF", 6.73, Align::Left, ItemKind::Value},
        {"BootLoader Version:", 6.6, Align::Right, ItemKind::Label},
        {"Description:", 0.6, Align::Left, ItemKind::Label},
        {"Time Server:", 0.56, Align::Left, ItemKind::Label},
    };
    for (const Expect &e : expected) {
        const Item *i = s.find(QString::fromLatin1(e.text));
        QVERIFY2(i, e.text);
        QCOMPARE(i->x, e.x);
        QCOMPARE(int(i->align), int(e.align));
        QCOMPARE(int(i->kind), int(e.kind));
    }
}

void TestConfigSheet::framesAndFooter()
{
    const Sheet s = build(input(nullptr));
    const QList<QRectF> frames = {
        QRectF(QPointF(0.3, 1.45), QPointF(8.2, 2.6)),  QRectF(QPointF(0.3, 2.7), QPointF(8.2, 4.8)),
        QRectF(QPointF(0.3, 4.9), QPointF(8.2, 6.1)),   QRectF(QPointF(0.3, 6.2), QPointF(8.2, 7.15)),
        QRectF(QPointF(0.3, 7.27), QPointF(5.4, 8.0)), QRectF(QPointF(5.5, 7.27), QPointF(8.2, 8.0)),
    };
    QCOMPARE(s.frames, frames);
    const Item *copy = s.find(QStringLiteral("Customer's Copy"));
    QVERIFY(copy);
    QCOMPARE(int(copy->align), int(Align::Center));
    const Item *stamp = s.find(QStringLiteral("03/04/2026 01:05:09 PM"));
    QVERIFY(stamp);
    QCOMPARE(int(stamp->align), int(Align::Right));
    QCOMPARE(stamp->y, copy->y);
    QCOMPARE(dateTimeText(QDateTime(QDate(2025, 12, 31), QTime(0, 0, 7))), QStringLiteral("12/31/2025 12:00:07 AM"));
}

void TestConfigSheet::fieldsFromTheForm()
{
    RecordingOperator op;
    SetupForm form(op);
    setuppack r;
    r.setNtsvr(QStringLiteral("10.1.2.3"));
    r.setNtsuf(60);
    r.setDsd(5);
    r.setDfd(30);
    r.setDrt(7);
    r.setNka(12);
    r.setNkar(3);
    r.setEthp(4);
    r.setNsip(QStringLiteral("10.9.8.7"));
    r.setNprt(3000);
    r.setNrtcnt(9);
    r.setNpad(true);
    r.setNdiag(1);
    r.setNerr(false);
    r.setCbaud(5);
    r.setCpar(1);
    r.setAbaud(7);
    r.setApar(0);
    r.setAfunc(1);
    r.setNcp(1);
    r.setEipPLCIPValue((192u << 24) | (168u << 16) | (1u << 8) | 20u);
    SetupForm::Context c;
    c.versionNumber = 501;
    c.connected = true;
    form.show(r, setuppack::size, c);
    // The sheet prints the controls as they stand, edits included.
    form.setValue(QStringLiteral("entsvr"), QStringLiteral("10.1.2.99"));

    const Fields f = fieldsFromForm(form);
    QCOMPARE(f.timeServer, QStringLiteral("10.1.2.99"));
    QCOMPARE(f.updateFrequency, QStringLiteral("60"));
    QCOMPARE(f.startDelay, QStringLiteral("5"));
    QCOMPARE(f.finishDelay, QStringLiteral("30"));
    QCOMPARE(f.restartDelay, QStringLiteral("7"));
    QCOMPARE(f.keepAliveInterval, QStringLiteral("12"));
    QCOMPARE(f.keepAliveRetries, QStringLiteral("3"));
    QCOMPARE(f.ethernetMode, QStringLiteral("Auto Negotiate"));
    QCOMPARE(f.serverIp, QStringLiteral("10.9.8.7"));
    QCOMPARE(f.port, QStringLiteral("3000"));
    QCOMPARE(f.retransmitCount, QStringLiteral("9"));
    QCOMPARE(f.pad, true);
    QCOMPARE(f.netDiagnostics, true);
    QCOMPARE(f.netErrors, false);
    QCOMPARE(f.serialBaud, QStringLiteral("19200"));
    QCOMPARE(f.serialParity, QStringLiteral("Odd"));
    QCOMPARE(f.plcAddress, QStringLiteral("192.168.1.20"));
    QCOMPARE(f.auxBaud, QStringLiteral("57600"));
    QCOMPARE(f.auxParity, QStringLiteral("None"));
    QCOMPARE(f.auxMode, QStringLiteral("Bluetooth Interface"));

    // And they land in their rows.
    const udppack u = makeUnit(QStringLiteral("5.0.1"), 8);
    Input in = input(&u, form.received());
    in.fields = f;
    const Sheet s = build(in);
    QCOMPARE(valueAt(s, QStringLiteral("IP Addr:"), 2.05, 2.74), QStringLiteral("10.1.2.99"));
    QCOMPARE(valueAt(s, QStringLiteral("Update Frequency:"), 4.1, 5.69), QStringLiteral("60"));
    QCOMPARE(valueAt(s, QStringLiteral("Restart Delay:"), 5.24, 6.44), QStringLiteral("7"));
    QCOMPARE(valueAt(s, QStringLiteral("Ethernet:"), 5.24, 6.06), QStringLiteral("Auto Negotiate"));
    QCOMPARE(valueAt(s, QStringLiteral("Server IP:"), 2.3, 3.15), QStringLiteral("10.9.8.7"));
    QCOMPARE(valueAt(s, QStringLiteral("Pad:"), 2.71, 3.15), QStringLiteral("Yes"));
    QCOMPARE(valueAt(s, QStringLiteral("Send Errors:"), 5.7, 6.78), QStringLiteral("No"));
    QCOMPARE(valueAt(s, QStringLiteral("Baud:"), 1.09, 1.64), QStringLiteral("19200"));
    QCOMPARE(valueAt(s, QStringLiteral("Mode:"), 3.6, 4.15), QStringLiteral("Bluetooth Interface"));
    QCOMPARE(valueAt(s, QStringLiteral("Baud:"), 0.5, 1.05), QStringLiteral("57600"));
}

QTEST_GUILESS_MAIN(TestConfigSheet)
#include "tst_configsheet.moc"
