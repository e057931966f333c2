// The discovery list's model, delegate and view, without a network.
#include "core/ui/colors.h"
#include "discovery/ui/discoverygrid.h"
#include "discovery/ui/discoverygriddelegate.h"
#include "discovery/ui/discoverygridmodel.h"
#include "discovery/unitcolumns.h"
#include "recordingoperator.h"
#include "unit/unittable.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QPushButton>
#include <QVBoxLayout>
#include <QTest>
#include <QWheelEvent>

#include <memory>

using namespace vork;
using namespace vork::unitcolumns;

Q_DECLARE_METATYPE(vork::udppack)

namespace {

udppack makeUnit(int version, const QString &desc = QStringLiteral("Line 1"))
{
    udppack u;
    u.desc = desc;
    u.ver.vnum = {static_cast<std::uint8_t>(version / 100), static_cast<std::uint8_t>(version / 10 % 10),
                  static_cast<std::uint8_t>(version % 10)};
    u.vnumber = QStringLiteral("%1.%2.%3").arg(version / 100).arg(version / 10 % 10).arg(version % 10);
    u.ver.vrcnt = 1;
    u.vbuild = QStringLiteral("07/03/2019");
    u.mac = QStringLiteral("0050C2000001");
    u.ncp = 1;
    u.rt = 3 * 86400;
    u.cpui = 90;
    return u;
}

udppack with(udppack u, const std::function<void(udppack &)> &change)
{
    change(u);
    return u;
}

// "Key=value;..." over the options, colours and model colours a row needs.
void applySettings(DiscoveryGridModel &model, const QString &settings)
{
    TOptions o;
    GridColors c;
    for (const QString &pair : settings.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString key = pair.section(QLatin1Char('='), 0, 0);
        const int v = pair.section(QLatin1Char('='), 1).toInt();
        if (key == QLatin1String("TimeWarnLow")) o.TimeWarnLow = v;
        else if (key == QLatin1String("CritDate")) o.CritDate = v;
        else if (key == QLatin1String("WarnFontBlk")) o.WarnFontBlk = v;
        else if (key == QLatin1String("CritFontBlk")) o.CritFontBlk = v;
        else if (key == QLatin1String("DisplayModelIcon")) o.DisplayModelIcon = v;
        else if (key == QLatin1String("RebootWarn")) o.RebootWarn = v;
        else if (key == QLatin1String("ShowBox")) c.ShowBox = v;
        else if (key == QLatin1String("GridBold")) c.GridBold = v;
        else if (key == QLatin1String("STD")) model.setModel0Color(toQColor(static_cast<StoredColor>(v)));
        else if (key == QLatin1String("EIP")) model.setModel1Color(toQColor(static_cast<StoredColor>(v)));
        else QFAIL(qPrintable(QStringLiteral("unknown setting ") + key));
    }
    model.setOptions(o);
    model.setColors(c);
}

QStringList latin1List(std::initializer_list<const char *> texts)
{
    QStringList out;
    for (const char *t : texts)
        out << QString::fromLatin1(t);
    return out;
}

QString shown(const QVariant &v)
{
    if (!v.isValid())
        return QStringLiteral("none");
    if (v.typeId() == QMetaType::QColor)
        return v.value<QColor>().name();
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return v.toString();
}

class Fixture
{
public:
    Fixture() : units(op), model(units) {}

    int enter(const udppack &u, const QString &ip)
    {
        udppack announced = u;
        announced.ip = ip;
        return units.enterAnnouncement(announced, ip);
    }

    RecordingOperator op;
    UnitTable units;
    DiscoveryGridModel model;
};

// A shown grid with units in rows 0, 1, ...
class ViewFixture : public Fixture
{
public:
    ViewFixture() : grid(model, op)
    {
        grid.resize(1300, 300); // every column in view at the default font
        grid.show();
    }
    bool shownAndExposed() { return QTest::qWaitForWindowExposed(&grid); }
    QPoint cell(int row, int column) const
    {
        return grid.visualRect(model.index(row, column)).center();
    }

    DiscoveryGrid grid;
};

} // namespace

class TestDiscoveryGrid : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keyboardMovesConnectsAndOpensTheMenu();
    void columnTexts_data();
    void columnTexts();
    void headersWidthsAndHints();
    void emptyTableShowsOneEmptyRow();
    void drawingDecisions_data();
    void drawingDecisions();
    void unknownUpdateMarkIsReset();
    void rowsFollowTheListCompleteFlag();
    void selectionChangeIsOneBatch();
    void shortening_data();
    void shortening();
    void textPlacement_data();
    void textPlacement();
    void rowGeometry();
    void columnZeroToggle();
    void clickOnAnotherCellAsksToConnect();
    void pressDuringHistoryExportOnlyExplains();
    void popupMenuEntries();
    void configurationFileByVersion_data();
    void configurationFileByVersion();
    void popupMenuCommandsActOnThePressedRow();
    void noMenuOnAnEmptyTable();
    void pointerHighlightsRowAndShowsIdle();
    void pointingHandOnlyInDescriptionAndNeverOverBusy();
    void longDescriptionHintWindow();
    void wheelScrollsOneRowPerNotch();
    void confirmedUnitIsBroughtIntoViewAPageAtATime();
};

void TestDiscoveryGrid::columnTexts_data()
{
    QTest::addColumn<udppack>("unit");
    QTest::addColumn<bool>("currentAndConnected");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("expected");

    QTest::newRow("version below 2.5.9 has a blank letter") << makeUnit(258) << false << int(Ver) << "2.5.8 ";
    QTest::newRow("version 2.5.9 even model is standard") << with(makeUnit(259), [](udppack &u) { u.model = 0; })
                                                           << false << int(Ver) << "2.5.9s";
    QTest::newRow("version 3.1.6 odd model is EtherNet/IP")
        << with(makeUnit(316), [](udppack &u) { u.model = 1; }) << false << int(Ver) << "3.1.6e";
    QTest::newRow("version 5.0.1 ncp 0 is EtherNet/IP") << with(makeUnit(501), [](udppack &u) { u.ncp = 0; })
                                                         << false << int(Ver) << "5.0.1e";
    QTest::newRow("readers") << with(makeUnit(316), [](udppack &u) { u.ver.vrcnt = 8; }) << false
                             << int(Readers) << "8";
    QTest::newRow("flash") << with(makeUnit(316), [](udppack &u) { u.flash_mfg = 0xBF; u.flash_typ = 0x4A; })
                           << false << int(Flash) << "0xBF.4A";
    const auto clock = [](int h, int m, int s) {
        return [=](udppack &u) { u.dt = {std::uint8_t(s), std::uint8_t(m), std::uint8_t(h), 7, 5, 3, 24, 20}; };
    };
    QTest::newRow("date month/day/year") << with(makeUnit(316), clock(13, 5, 9)) << false << int(Date)
                                         << "03/07/2024";
    QTest::newRow("time afternoon") << with(makeUnit(316), clock(13, 5, 9)) << false << int(Time) << "01:05:09 PM";
    QTest::newRow("time midnight") << with(makeUnit(316), clock(0, 0, 0)) << false << int(Time) << "12:00:00 AM";
    QTest::newRow("invalid time leaves the time empty") << with(makeUnit(316), clock(25, 0, 0)) << false
                                                         << int(Time) << "";
    QTest::newRow("invalid time keeps the date") << with(makeUnit(316), clock(25, 0, 0)) << false << int(Date)
                                                  << "03/07/2024";
    const auto noCentury = [](udppack &u) { u.dt = {9, 5, 13, 7, 5, 3, 24, 0}; };
    QTest::newRow("cent 0 leaves the date empty") << with(makeUnit(316), noCentury) << false << int(Date) << "";
    QTest::newRow("cent 0 leaves the time empty") << with(makeUnit(316), noCentury) << false << int(Time) << "";
    QTest::newRow("run time 3661 s") << with(makeUnit(316), [](udppack &u) { u.rt = 3661; }) << false
                                     << int(RunTime) << "000:01:01";
    QTest::newRow("run time 1 day 1 h 1 min 1 s") << with(makeUnit(316), [](udppack &u) { u.rt = 90061; })
                                                  << false << int(RunTime) << "001:01:01";
    QTest::newRow("run time 59 s") << with(makeUnit(316), [](udppack &u) { u.rt = 59; }) << false << int(RunTime)
                                   << "< 1 min";
    QTest::newRow("run time 0") << with(makeUnit(316), [](udppack &u) { u.rt = 0; }) << false << int(RunTime)
                                << "NA";
    QTest::newRow("boot loader empty") << makeUnit(316) << false << int(BL) << "NA";
    QTest::newRow("boot loader") << with(makeUnit(316), [](udppack &u) { u.blv = QStringLiteral("1.05"); })
                                 << false << int(BL) << "1.05";
    QTest::newRow("connect letters standard CCT") << with(makeUnit(316), [](udppack &u) { u.cons = 0x13; })
                                                  << false << int(Connect) << "CCT";
    QTest::newRow("connect NA below 2.5.9") << with(makeUnit(258), [](udppack &u) { u.cons = 0x13; }) << false
                                            << int(Connect) << "NA";
    QTest::newRow("connect odd model below 5.0.1 gives E")
        << with(makeUnit(316), [](udppack &u) { u.model = 3; u.cons = 0x13; }) << false << int(Connect) << "EET";
    QTest::newRow("connect ncp 0 from 5.0.1 gives E, S for 64")
        << with(makeUnit(501), [](udppack &u) { u.ncp = 0; u.model = 0; u.cons = 0x45; }) << false << int(Connect)
        << "EES";
    // 5.0.0 with ncp 1 is standard for the version letter but EtherNet/IP for the connect letters.
    QTest::newRow("grid rule differs from the version letter, letter")
        << with(makeUnit(500), [](udppack &u) { u.model = 1; u.cons = 0x01; }) << false << int(Ver) << "5.0.0s";
    QTest::newRow("grid rule differs from the version letter, connect")
        << with(makeUnit(500), [](udppack &u) { u.model = 1; u.cons = 0x01; }) << false << int(Connect) << "E";
    QTest::newRow("current connected unit adds R") << with(makeUnit(316), [](udppack &u) { u.cons = 0x11; })
                                                   << true << int(Connect) << "CRT";
    QTest::newRow("bits 32 and 128 add nothing") << with(makeUnit(316), [](udppack &u) { u.cons = 0xA0; })
                                                 << false << int(Connect) << "";
    QTest::newRow("description") << makeUnit(316, QStringLiteral("Sorter West")) << false << int(Description)
                                 << "Sorter West";
    QTest::newRow("selection column has no text") << makeUnit(316) << false << int(Sel) << "";
}

void TestDiscoveryGrid::columnTexts()
{
    QFETCH(udppack, unit);
    QFETCH(bool, currentAndConnected);
    QFETCH(int, column);
    QFETCH(QString, expected);
    Fixture f;
    f.enter(makeUnit(316, QStringLiteral("first")), QStringLiteral("10.0.0.1"));
    const int index = f.enter(unit, QStringLiteral("10.0.0.2"));
    QCOMPARE(index, 1);
    if (currentAndConnected) {
        f.units.unit(index).connected = true;
        f.units.setCurrent(&f.units.unit(index));
    }
    QCOMPARE(f.model.rowCount(), 2);
    QCOMPARE(f.model.index(1, column).data().toString(), expected);
    QCOMPARE(f.model.index(1, IPAddress).data().toString(), QStringLiteral("10.0.0.2"));
}

void TestDiscoveryGrid::headersWidthsAndHints()
{
    Fixture f;
    const QStringList headers = latin1List({"Sel",      "Unit's Description", "Ver",  "Build Date", "IP Address",
                              "MAC Address", "Rdrs  ",          "Flash", "Date",      "Time",
                              "RunTime",  "BL",                 "Connect"});
    QCOMPARE(f.model.columnCount(), 13);
    for (int c = 0; c < 13; ++c)
        QCOMPARE(f.model.headerData(c, Qt::Horizontal).toString(), headers.at(c));
    // Hints keep their line breaks as written and are shown with plain line feeds.
    QCOMPARE(DiscoveryGridModel::headerHint(Description),
             QStringLiteral("Click Description to Connect\n\rRight Click for Menu Options"));
    QCOMPARE(DiscoveryGridModel::headerHint(Connect),
             QStringLiteral("Connections:\rC=Control\rE=EthernetIP\rS=Server\rR=Remote\rT=Telnet"));
    QCOMPARE(f.model.headerData(Sel, Qt::Horizontal, Qt::ToolTipRole).toString(),
             QStringLiteral("Click to Select - Selects unit(s) to be Monitored"));
    QCOMPARE(f.model.headerData(Description, Qt::Horizontal, Qt::ToolTipRole).toString(),
             QStringLiteral("Click Description to Connect\nRight Click for Menu Options"));
    QCOMPARE(f.model.headerData(RunTime, Qt::Horizontal, Qt::ToolTipRole).toString(),
             QStringLiteral("Days:Hours:Minutes"));
    QCOMPARE(f.model.headerData(Connect, Qt::Horizontal, Qt::ToolTipRole).toString(),
             QStringLiteral("Connections:\nC=Control\nE=EthernetIP\nS=Server\nR=Remote\nT=Telnet"));
    for (int c : {int(Ver), int(BuildDate), int(IPAddress), int(BL)})
        QVERIFY2(!f.model.headerData(c, Qt::Horizontal, Qt::ToolTipRole).isValid(), qPrintable(headers.at(c)));
}

void TestDiscoveryGrid::emptyTableShowsOneEmptyRow()
{
    Fixture f;
    QCOMPARE(f.model.rowCount(), 1);
    QVERIFY(!f.model.index(0, Sel).data(DiscoveryGridModel::UnitRowRole).toBool());
    QCOMPARE(f.model.index(0, Description).data().toString(), QString());
    f.enter(makeUnit(316), QStringLiteral("10.0.0.1"));
    // The empty row becomes the first unit's row.
    QCOMPARE(f.model.rowCount(), 1);
    QVERIFY(f.model.index(0, Sel).data(DiscoveryGridModel::UnitRowRole).toBool());
    f.units.clear();
    QCOMPARE(f.model.rowCount(), 1);
    QVERIFY(!f.model.isUnitRow(0));
}

void TestDiscoveryGrid::drawingDecisions_data()
{
    QTest::addColumn<udppack>("unit");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("hovered");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("expected");

    const udppack plain = makeUnit(316);
    const auto dateOff = with(plain, [](udppack &u) { u.dateoff = true; });
    const auto minutes = [&](int m) { return with(plain, [m](udppack &u) { u.minutesoff = std::uint16_t(m); }); };
    const int fill = DiscoveryGridModel::FillRole;
    const int text = DiscoveryGridModel::TextColorRole;
    const int frame = DiscoveryGridModel::FrameRole;
    const int mark = DiscoveryGridModel::MarkRole;
    const int bold = DiscoveryGridModel::BoldRole;

    QTest::newRow("wrong date: critical fill") << dateOff << "" << false << int(Date) << fill << "#ff0000";
    QTest::newRow("wrong date: black text") << dateOff << "" << false << int(Date) << text << "#000000";
    QTest::newRow("wrong date, critical font option off") << dateOff << "CritFontBlk=0" << false << int(Date)
                                                          << text << "#ffffff";
    QTest::newRow("wrong date, date warning off") << dateOff << "CritDate=0" << false << int(Date) << fill
                                                  << "none";
    QTest::newRow("right date") << plain << "" << false << int(Date) << fill << "none";
    QTest::newRow("4 min below the lower threshold") << minutes(4) << "" << false << int(Time) << fill << "none";
    QTest::newRow("5 min at the lower threshold") << minutes(5) << "" << false << int(Time) << fill << "#ffff00";
    QTest::newRow("30 min at the upper threshold") << minutes(30) << "" << false << int(Time) << fill
                                                   << "#ffff00";
    QTest::newRow("31 min above the upper threshold") << minutes(31) << "" << false << int(Time) << fill
                                                      << "#ff0000";
    QTest::newRow("lower threshold 0 disables") << minutes(90) << "TimeWarnLow=0" << false << int(Time) << fill
                                                << "none";
    QTest::newRow("warning fill: black text") << minutes(10) << "" << false << int(Time) << text << "#000000";
    QTest::newRow("warning font option off") << minutes(10) << "WarnFontBlk=0" << false << int(Time) << text
                                             << "#ffffff";
    QTest::newRow("critical time: black text") << minutes(31) << "WarnFontBlk=0" << false << int(Time) << text
                                               << "#000000";
    QTest::newRow("time offset does not fill the date") << minutes(31) << "" << false << int(Date) << fill
                                                        << "none";

    const auto update = [&](int v) { return with(plain, [v](udppack &u) { u.update = std::uint8_t(v); }); };
    QTest::newRow("update 1 green frame") << update(1) << "" << false << int(Ver) << frame << "#00ff00";
    QTest::newRow("update 2 red frame") << update(2) << "" << false << int(Ver) << frame << "#ff0000";
    QTest::newRow("update 3 yellow frame") << update(3) << "" << false << int(Ver) << frame << "#ffff00";
    QTest::newRow("update mark: white text") << update(1) << "" << false << int(Ver) << text << "#ffffff";
    QTest::newRow("update mark hides the model mark") << update(2) << "" << false << int(Ver) << mark << "none";
    QTest::newRow("update 4 is no mark") << update(4) << "" << false << int(Ver) << frame << "none";

    const auto model = [&](int m, int version = 316, int ncp = 1) {
        return with(makeUnit(version), [=](udppack &u) { u.model = std::uint8_t(m); u.ncp = std::uint8_t(ncp); });
    };
    const char *colours[] = {"#7ca7df", "#f89909", "#4777b5", "#de8b10", "#ef8de7", "#ef8de7", "#ab38a1", "#4accc6"};
    for (int m = 0; m < 8; ++m)
        QTest::addRow("model %d mark", m) << model(m) << "" << false << int(Ver) << mark << QString::fromLatin1(colours[m]);
    QTest::newRow("model 8 on 5.0.1 yellow") << model(8, 501) << "" << false << int(Ver) << mark << "#ffff00";
    QTest::newRow("model 9 on 5.0.1 yellow") << model(9, 501, 0) << "" << false << int(Ver) << mark << "#ffff00";
    QTest::newRow("model 8 standard") << model(8, 502, 1) << "" << false << int(Ver) << mark << "#7ca7df";
    QTest::newRow("model 9 EtherNet/IP") << model(9, 502, 0) << "" << false << int(Ver) << mark << "#f89909";
    QTest::newRow("model without a colour") << model(12) << "" << false << int(Ver) << mark << "none";
    QTest::newRow("model icon option off") << model(2) << "DisplayModelIcon=0" << false << int(Ver) << mark
                                           << "none";
    QTest::newRow("-STD 255 draws model 0 red") << model(0) << "STD=255" << false << int(Ver) << mark << "#ff0000";
    QTest::newRow("-STD also colours standard model 8") << model(8, 502, 1) << "STD=255" << false << int(Ver)
                                                        << mark << "#ff0000";
    QTest::newRow("-EIP colours model 1") << model(1) << "EIP=16711680" << false << int(Ver) << mark << "#0000ff";
    QTest::newRow("-EIP leaves model 0") << model(0) << "EIP=16711680" << false << int(Ver) << mark << "#7ca7df";
    QTest::newRow("model icon reserves room") << plain << "" << false << int(Ver)
                                              << int(DiscoveryGridModel::TextReserveRole) << "4";
    QTest::newRow("no icon, no room") << plain << "DisplayModelIcon=0" << false << int(Ver)
                                      << int(DiscoveryGridModel::TextReserveRole) << "0";
    QTest::newRow("run time reserves room") << plain << "" << false << int(RunTime)
                                            << int(DiscoveryGridModel::TextReserveRole) << "4";

    const auto runTime = [&](std::uint32_t rt) { return with(plain, [rt](udppack &u) { u.rt = rt; }); };
    QTest::newRow("rebooted within 24 h") << runTime(24 * 3600 - 1) << "" << false << int(RunTime) << mark
                                          << "#ffff00";
    QTest::newRow("running 24 h") << runTime(24 * 3600) << "" << false << int(RunTime) << mark << "none";
    QTest::newRow("reboot warning 0 disables") << runTime(60) << "RebootWarn=0" << false << int(RunTime) << mark
                                               << "none";
    QTest::newRow("reboot warning 2 h") << runTime(7199) << "RebootWarn=2" << false << int(RunTime) << mark
                                        << "#ffff00";

    const auto connected = with(plain, [](udppack &u) { u.connected = true; u.selected = true; });
    QTest::newRow("connected under pointer: navy") << connected << "" << true << int(Description) << fill
                                                   << "#000080";
    QTest::newRow("connected under pointer: white text") << connected << "" << true << int(Description) << text
                                                         << "#ffffff";
    QTest::newRow("connected elsewhere: grid colour") << connected << "" << false << int(Description) << fill
                                                      << "#000000";
    QTest::newRow("connected: red frame") << connected << "" << false << int(Description) << frame << "#ff0000";
    QTest::newRow("connected: bold") << connected << "" << false << int(Description) << bold << "true";
    QTest::newRow("connected: 15 px narrower") << connected << "" << false << int(Description)
                                               << int(DiscoveryGridModel::ShortenInsetRole) << "15";
    QTest::newRow("not connected: no fill") << plain << "" << true << int(Description) << fill << "none";
    QTest::newRow("not connected: no frame") << plain << "" << false << int(Description) << frame << "none";
    QTest::newRow("not connected: normal") << plain << "" << false << int(Description) << bold << "false";
    QTest::newRow("not connected under pointer: bold") << plain << "" << true << int(Description) << bold << "true";
    QTest::newRow("bold grid option") << plain << "GridBold=1" << false << int(Description) << bold << "true";

    const auto selected = with(plain, [](udppack &u) { u.selected = true; });
    const int box = DiscoveryGridModel::BoxColorRole;
    QTest::newRow("selected: mark colour box") << selected << "" << false << int(Sel) << box << "#00ff80";
    QTest::newRow("selected: check mark") << selected << "" << false << int(Sel)
                                          << int(DiscoveryGridModel::SelectedRole) << "true";
    QTest::newRow("unselected: text colour box") << plain << "" << false << int(Sel) << box << "#ffffff";
    QTest::newRow("unselected without ShowBox: grid colour box") << plain << "ShowBox=0" << false << int(Sel)
                                                                 << box << "#000000";
    QTest::newRow("unselected: no check mark") << plain << "" << false << int(Sel)
                                               << int(DiscoveryGridModel::SelectedRole) << "false";
}

void TestDiscoveryGrid::drawingDecisions()
{
    QFETCH(udppack, unit);
    QFETCH(QString, settings);
    QFETCH(bool, hovered);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QString, expected);
    Fixture f;
    f.enter(makeUnit(316, QStringLiteral("neighbour")), QStringLiteral("10.0.0.1"));
    const int index = f.enter(unit, QStringLiteral("10.0.0.2"));
    // Program state the announcement does not carry.
    udppack &entry = f.units.unit(index);
    entry.selected = unit.selected;
    entry.connected = unit.connected;
    entry.update = unit.update;
    entry.dateoff = unit.dateoff;
    entry.minutesoff = unit.minutesoff;
    applySettings(f.model, settings);
    f.model.setHoverRow(hovered ? 1 : 0);
    QCOMPARE(shown(f.model.index(1, column).data(role)), expected);
}

void TestDiscoveryGrid::unknownUpdateMarkIsReset()
{
    Fixture f;
    f.enter(makeUnit(316), QStringLiteral("10.0.0.1"));
    f.units.unit(0).update = 7;
    QVERIFY(!f.model.index(0, Ver).data(DiscoveryGridModel::FrameRole).isValid());
    QCOMPARE(f.units.unit(0).update, 0);
    f.units.unit(0).update = 2;
    QVERIFY(f.model.index(0, Ver).data(DiscoveryGridModel::FrameRole).isValid());
    QCOMPARE(f.units.unit(0).update, 2);
}

void TestDiscoveryGrid::rowsFollowTheListCompleteFlag()
{
    Fixture f;
    QSignalSpy inserted(&f.model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&f.model, &QAbstractItemModel::dataChanged);
    f.enter(makeUnit(316, QStringLiteral("a")), QStringLiteral("10.0.0.1"));
    f.enter(makeUnit(316, QStringLiteral("b")), QStringLiteral("10.0.0.2"));
    f.enter(makeUnit(316, QStringLiteral("c")), QStringLiteral("10.0.0.3"));
    QCOMPARE(f.model.rowCount(), 3);
    QCOMPARE(inserted.count(), 2); // the first unit takes the empty row
    // One change per entered unit, covering its whole row.
    QCOMPARE(changed.count(), 3);
    QCOMPARE(changed.at(2).at(0).toModelIndex(), f.model.index(2, 0));
    QCOMPARE(changed.at(2).at(1).toModelIndex(), f.model.index(2, Count - 1));

    // A sorted cycle draws nothing until its list is complete.
    f.units.clear();
    f.model.setListComplete(false);
    f.enter(makeUnit(316, QStringLiteral("late")), QStringLiteral("10.0.0.9"));
    f.enter(makeUnit(316, QStringLiteral("early")), QStringLiteral("10.0.0.8"));
    QCOMPARE(f.model.rowCount(), 1);
    QVERIFY(!f.model.isUnitRow(0));
    QCOMPARE(f.model.index(0, Description).data().toString(), QString());
    f.model.setListComplete(true);
    QCOMPARE(f.model.rowCount(), 2);
    QCOMPARE(f.model.index(1, Description).data().toString(), QStringLiteral("early"));
}

void TestDiscoveryGrid::selectionChangeIsOneBatch()
{
    Fixture f;
    for (int i = 0; i < 5; ++i)
        f.enter(makeUnit(316), QStringLiteral("10.0.0.%1").arg(i + 1));
    QSignalSpy changed(&f.model, &QAbstractItemModel::dataChanged);
    f.units.selectAll(true);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), f.model.index(0, Sel));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), f.model.index(4, Sel));
    for (int r = 0; r < 5; ++r)
        QVERIFY(f.model.index(r, Sel).data(DiscoveryGridModel::SelectedRole).toBool());
}

void TestDiscoveryGrid::shortening_data()
{
    // The column width is the width of widthOf plus extra pixels; results do not depend on the font.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("widthOf");
    QTest::addColumn<int>("extra");
    QTest::addColumn<QString>("expected");
    const QString desc = QStringLiteral("Packaging Line 4 Reader");
    QTest::newRow("fits with 10 px to spare") << desc << desc << 10 << desc;
    QTest::newRow("one pixel short drops four and adds dots") << desc << desc << 9 << "Packaging Line 4 Re...";
    QTest::newRow("drops one more at a time until it fits")
        << desc << "Packaging Line..." << 10 << "Packaging Line...";
    QTest::newRow("one pixel less drops one more") << desc << "Packaging Line..." << 9 << "Packaging Lin...";
    QTest::newRow("nothing fits: only the dots") << desc << "" << 0 << "...";
    QTest::newRow("text shorter than four characters") << "AB" << "" << 0 << "...";
    QTest::newRow("version text fits") << "5.0.1s" << "5.0.1s" << 10 << "5.0.1s";
    QTest::newRow("empty text stays empty") << "" << "" << 10 << "";
}

void TestDiscoveryGrid::shortening()
{
    QFETCH(QString, text);
    QFETCH(QString, widthOf);
    QFETCH(int, extra);
    QFETCH(QString, expected);
    QFont font = QApplication::font();
    font.setPointSize(9);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(widthOf) + extra;
    QCOMPARE(DiscoveryGridDelegate::shortenToWidth(text, width, metrics), expected);
}

void TestDiscoveryGrid::textPlacement_data()
{
    QTest::addColumn<int>("cellWidth");
    QTest::addColumn<int>("textWidth");
    QTest::addColumn<int>("reserve");
    QTest::addColumn<int>("left");
    QTest::newRow("centred") << 100 << 40 << 0 << 30;
    QTest::newRow("centred with room for a mark") << 100 << 40 << 4 << 28;
    QTest::newRow("as wide as the cell: 2 px in") << 40 << 40 << 0 << 2;
    QTest::newRow("mark makes it too wide: 2 px in") << 43 << 40 << 4 << 2;
    QTest::newRow("wider than the cell: 2 px in") << 30 << 40 << 0 << 2;
}

void TestDiscoveryGrid::textPlacement()
{
    QFETCH(int, cellWidth);
    QFETCH(int, textWidth);
    QFETCH(int, reserve);
    QFETCH(int, left);
    QCOMPARE(DiscoveryGridDelegate::textLeft(cellWidth, textWidth, reserve), left);
}

void TestDiscoveryGrid::rowGeometry()
{
    ViewFixture f;
    f.enter(makeUnit(316), QStringLiteral("10.0.0.1"));
    f.enter(makeUnit(316), QStringLiteral("10.0.0.2"));
    QCOMPARE(f.grid.horizontalHeader()->height(), 24);
    QCOMPARE(f.grid.rowHeight(0), 20);
    QCOMPARE(f.grid.rowHeight(1), 20);
    // The default widths, grown with the font's digits so that a MAC address or a
    // bold header is never cut; at a font half as large again, half as wide again.
    const int widths[] = {19, 189, 52, 74, 86, 82, 39, 53, 71, 71, 67, 32, 70};
    QFont bold = f.grid.font();
    bold.setBold(true);
    const double digit = f.grid.fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (int c = 0; c < Count; ++c) {
        const int w = f.grid.columnWidth(c);
        QVERIFY(w >= widths[c]);
        QVERIFY(w >= qRound(widths[c] * digit / 6.0));
        QVERIFY(w > QFontMetrics(bold).horizontalAdvance(f.model.headerData(c, Qt::Horizontal).toString()));
    }
    QVERIFY(f.grid.columnWidth(MACAddress) > f.grid.fontMetrics().horizontalAdvance(QStringLiteral("0050C2000001")));

    QFont larger = f.grid.font();
    if (larger.pointSizeF() > 0)
        larger.setPointSizeF(larger.pointSizeF() * 1.5);
    else
        larger.setPixelSize(larger.pixelSize() * 3 / 2);
    f.grid.setFont(larger);
    const double largerDigit = QFontMetrics(larger).horizontalAdvance(QLatin1Char('0'));
    QVERIFY(largerDigit >= digit * 1.3);
    f.grid.applyInitialWidths();
    QVERIFY(f.grid.columnWidth(Description) >= qRound(189 * largerDigit / 6.0));
    QVERIFY(f.grid.columnWidth(MACAddress) > QFontMetrics(larger).horizontalAdvance(QStringLiteral("0050C2000001")));
}

void TestDiscoveryGrid::columnZeroToggle()
{
    ViewFixture f;
    QVERIFY(f.shownAndExposed());
    f.enter(makeUnit(316, QStringLiteral("A")), QStringLiteral("10.0.0.1"));
    f.enter(makeUnit(316, QStringLiteral("B")), QStringLiteral("10.0.0.2"));
    f.enter(makeUnit(316, QStringLiteral("C")), QStringLiteral("10.0.0.3"));
    QSignalSpy released(&f.units, &UnitTable::selectAllChanged);

    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.cell(0, Sel));
    QVERIFY(f.units.unit(0).selected);
    QCOMPARE(f.op.tones, QList<Tone>{Tone::CheckBox});
    QCOMPARE(f.units.current(), &f.units.unit(0)); // no current unit before: the clicked one
    QVERIFY(f.model.index(0, Sel).data(DiscoveryGridModel::SelectedRole).toBool());

    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.cell(0, Sel));
    QVERIFY(!f.units.unit(0).selected);
    QCOMPARE(f.op.tones.size(), 1); // unselecting is silent

    // A connected unit stays selected.
    f.units.unit(1).connected = true;
    f.units.unit(1).selected = true;
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.cell(1, Sel));
    QVERIFY(f.units.unit(1).selected);
    QCOMPARE(f.units.current(), &f.units.unit(0));

    // Unselecting one unit releases "Select All Units" and leaves the others alone.
    f.units.selectAll(true);
    released.clear();
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.cell(2, Sel));
    QVERIFY(!f.units.unit(2).selected);
    QVERIFY(f.units.unit(0).selected);
    QVERIFY(f.units.unit(1).selected);
    QVERIFY(!f.units.selectAllDown());
    QCOMPARE(released.count(), 1);
    QCOMPARE(released.at(0).at(0).toBool(), false);
}

void TestDiscoveryGrid::clickOnAnotherCellAsksToConnect()
{
    ViewFixture f;
    QVERIFY(f.shownAndExposed());
    f.enter(makeUnit(316, QStringLiteral("A")), QStringLiteral("10.0.0.1"));
    f.enter(makeUnit(316, QStringLiteral("B")), QStringLiteral("10.0.0.2"));
    QSignalSpy connect(&f.grid, &DiscoveryGrid::connectRequested);
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.cell(1, Description));
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.cell(0, RunTime));
    QCOMPARE(connect.count(), 2);
    QCOMPARE(connect.at(0).at(0).toString(), QStringLiteral("10.0.0.2"));
    QCOMPARE(connect.at(1).at(0).toString(), QStringLiteral("10.0.0.1"));
    QVERIFY(!f.units.unit(0).selected);
    QVERIFY(!f.units.unit(1).selected);
}

void TestDiscoveryGrid::pressDuringHistoryExportOnlyExplains()
{
    ViewFixture f;
    QVERIFY(f.shownAndExposed());
    f.enter(makeUnit(316, QStringLiteral("A")), QStringLiteral("10.0.0.1"));
    QSignalSpy connect(&f.grid, &DiscoveryGrid::connectRequested);
    f.grid.setHistoryExportRunning(true);
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.cell(0, Sel));
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.cell(0, Description));
    QVERIFY(!f.units.unit(0).selected);
    QCOMPARE(connect.count(), 0);
    QCOMPARE(f.grid.hintText(),
             QStringLiteral("Waiting for history export to complete - Click the export button again to abort"));
    f.grid.setHistoryExportRunning(false);
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.cell(0, Sel));
    QVERIFY(f.units.unit(0).selected);
    QCOMPARE(f.grid.hintText(), DiscoveryGridModel::descriptionHint());
}

void TestDiscoveryGrid::popupMenuEntries()
{
    ViewFixture f;
    QVERIFY(f.shownAndExposed());
    f.enter(makeUnit(502, QStringLiteral("A")), QStringLiteral("10.0.0.1"));
    QTest::mouseClick(f.grid.viewport(), Qt::RightButton, {}, f.cell(0, Description));
    QMenu *menu = f.grid.popupMenu();
    QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 2000);

    QStringList entries;
    for (QAction *a : menu->actions()) {
        QString line = a->isSeparator() ? QStringLiteral("-") : a->text();
        if (!a->isSeparator())
            line += a->isEnabled() ? QStringLiteral(" [on]") : QStringLiteral(" [off]");
        if (a->menu()) {
            QStringList sub;
            for (QAction *s : a->menu()->actions())
                sub << s->text() + (s->isEnabled() ? QStringLiteral(" [on]") : QStringLiteral(" [off]"));
            line += QStringLiteral(" (") + sub.join(QStringLiteral(", ")) + QLatin1Char(')');
        }
        entries << line;
    }
    // Nothing behind these entries is built yet: all disabled but "Close Menu".
    const QStringList expected = latin1List({
        "Configure [off]",
        "Show Info [off]",
        "Monitor [off]",
        "History [off]",
        "Webpage [off]",
        "Set Time/Date [off] (Sync to PC's time [off], Goto Time Setup Tab [off])",
        "Telnet [off]",
        "Reboot [off]",
        "Connect [off]",
        "Disconnect [off]",
        "Restart Port Service [off] (Webpages [off], Telnet [off], Remote Access [off])",
        "Update [off]",
        "Netstat [off]",
        "Configuration File [off] (Create Archive [off], Restore Archive [off], Delete Archive [off], "
        "Compare Archive && Config [off])",
        "RAM Menu [off] (RAM Speed  Zero  [off], RAM Speed One [off], Enable Safe Mode [off], "
        "Disable Safe Mode [off])",
        "-",
        "Close Menu [on]",
    });
    QCOMPARE(entries, expected);
    QVERIFY(f.grid.configFileMenuAction()->isVisible());

    // 40 px right of and 20 px below the pointer.
    const QPoint pointer = f.grid.viewport()->mapToGlobal(f.cell(0, Description));
    QCOMPARE(menu->pos(), pointer + QPoint(40, 20));

    f.grid.closeMenuAction()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!menu->isVisible(), 2000);
}

void TestDiscoveryGrid::configurationFileByVersion_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("shown");
    QTest::newRow("5.0.1 hides it") << 501 << false;
    QTest::newRow("5.0.2 shows it") << 502 << true;
    QTest::newRow("6.0.0 shows it") << 600 << true;
}

void TestDiscoveryGrid::configurationFileByVersion()
{
    QFETCH(int, version);
    QFETCH(bool, shown);
    ViewFixture f;
    QVERIFY(f.shownAndExposed());
    f.enter(makeUnit(version == 501 ? 600 : 501, QStringLiteral("other")), QStringLiteral("10.0.0.1"));
    f.enter(makeUnit(version, QStringLiteral("pressed")), QStringLiteral("10.0.0.2"));
    // The other unit first, so the pressed one has to change the state.
    QTest::mouseClick(f.grid.viewport(), Qt::RightButton, {}, f.cell(0, Description));
    QTRY_VERIFY_WITH_TIMEOUT(f.grid.popupMenu()->isVisible(), 2000);
    f.grid.popupMenu()->close();
    QCOMPARE(f.grid.configFileMenuAction()->isVisible(), !shown);
    QTest::mouseClick(f.grid.viewport(), Qt::RightButton, {}, f.cell(1, Ver));
    QTRY_VERIFY_WITH_TIMEOUT(f.grid.popupMenu()->isVisible(), 2000);
    QCOMPARE(f.grid.configFileMenuAction()->isVisible(), shown);
    f.grid.popupMenu()->close();
}

void TestDiscoveryGrid::popupMenuCommandsActOnThePressedRow()
{
    ViewFixture f;
    QVERIFY(f.shownAndExposed());
    f.enter(makeUnit(316, QStringLiteral("A")), QStringLiteral("10.0.0.1"));
    f.enter(makeUnit(316, QStringLiteral("B")), QStringLiteral("10.0.0.2"));
    f.grid.setCommandEnabled(GridCommand::Reboot, true);
    f.grid.setCommandEnabled(GridCommand::RamSpeedOne, true);
    QVERIFY(f.grid.ramMenuAction()->isEnabled());
    QVERIFY(!f.grid.restartMenuAction()->isEnabled());
    QSignalSpy commands(&f.grid, &DiscoveryGrid::commandTriggered);

    QTest::mouseClick(f.grid.viewport(), Qt::RightButton, {}, f.cell(1, MACAddress));
    QTRY_VERIFY_WITH_TIMEOUT(f.grid.popupMenu()->isVisible(), 2000);
    QCOMPARE(f.grid.menuUnitIP(), QStringLiteral("10.0.0.2"));
    f.grid.commandAction(GridCommand::Reboot)->trigger();
    f.grid.popupMenu()->close();
    QCOMPARE(commands.count(), 1);
    QCOMPARE(commands.at(0).at(0).value<GridCommand>(), GridCommand::Reboot);
    QCOMPARE(commands.at(0).at(1).toString(), QStringLiteral("10.0.0.2"));

    // Below the last row: the menu opens, its commands do nothing.
    QTest::mouseClick(f.grid.viewport(), Qt::RightButton, {}, QPoint(100, f.grid.viewport()->height() - 5));
    QTRY_VERIFY_WITH_TIMEOUT(f.grid.popupMenu()->isVisible(), 2000);
    QCOMPARE(f.grid.menuUnitIP(), QString());
    f.grid.commandAction(GridCommand::Reboot)->trigger();
    f.grid.popupMenu()->close();
    QCOMPARE(commands.count(), 1);
}

void TestDiscoveryGrid::noMenuOnAnEmptyTable()
{
    ViewFixture f;
    QVERIFY(f.shownAndExposed());
    QTest::mouseClick(f.grid.viewport(), Qt::RightButton, {}, f.cell(0, Description));
    QTest::qWait(100);
    QVERIFY(!f.grid.popupMenu()->isVisible());
}

void TestDiscoveryGrid::pointerHighlightsRowAndShowsIdle()
{
    ViewFixture f;
    QVERIFY(f.shownAndExposed());
    f.enter(makeUnit(316, QStringLiteral("A")), QStringLiteral("10.0.0.1"));
    f.enter(with(makeUnit(316, QStringLiteral("B")), [](udppack &u) { u.cpui = 87; }), QStringLiteral("10.0.0.2"));
    f.enter(with(makeUnit(316, QStringLiteral("C")), [](udppack &u) { u.cpui = 0; }), QStringLiteral("10.0.0.3"));

    QTest::mouseMove(f.grid.viewport(), f.cell(1, Ver));
    QTRY_COMPARE_WITH_TIMEOUT(f.model.hoverRow(), 1, 2000);
    QCOMPARE(f.op.panels[2], QStringLiteral("87%"));
    // The highlight covers columns 1 to the last of the row.
    const QModelIndexList highlighted = f.grid.selectionModel()->selectedIndexes();
    QCOMPARE(highlighted.size(), Count - 1);
    for (const QModelIndex &i : highlighted)
        QVERIFY(i.row() == 1 && i.column() >= Description);
    QVERIFY(f.model.index(1, Description).data(DiscoveryGridModel::BoldRole).toBool());

    QTest::mouseMove(f.grid.viewport(), f.cell(2, Ver));
    QTRY_COMPARE_WITH_TIMEOUT(f.model.hoverRow(), 2, 2000);
    QCOMPARE(f.op.panels[2], QString());

    // Panel 1 in use (a connection): panel 2 keeps its text.
    f.op.panels[1] = QStringLiteral("Connected to 10.0.0.1");
    f.op.panels[2] = QStringLiteral("5.0.1s");
    QTest::mouseMove(f.grid.viewport(), f.cell(1, Ver));
    QTRY_COMPARE_WITH_TIMEOUT(f.model.hoverRow(), 1, 2000);
    QCOMPARE(f.op.panels[2], QStringLiteral("5.0.1s"));

    // Below the last row the highlight goes.
    QTest::mouseMove(f.grid.viewport(), QPoint(100, f.grid.viewport()->height() - 5));
    QTRY_COMPARE_WITH_TIMEOUT(f.model.hoverRow(), -1, 2000);
    QVERIFY(f.grid.selectionModel()->selectedIndexes().isEmpty());

    // While a history import runs the highlight stays where it is.
    QTest::mouseMove(f.grid.viewport(), f.cell(0, BL));
    QTRY_COMPARE_WITH_TIMEOUT(f.model.hoverRow(), 0, 2000);
    f.grid.setHistoryImportRunning(true);
    QTest::mouseMove(f.grid.viewport(), f.cell(2, BL));
    QTest::qWait(50);
    QCOMPARE(f.model.hoverRow(), 0);
}

void TestDiscoveryGrid::pointingHandOnlyInDescriptionAndNeverOverBusy()
{
    ViewFixture f;
    QVERIFY(f.shownAndExposed());
    f.enter(makeUnit(316, QStringLiteral("A")), QStringLiteral("10.0.0.1"));
    f.enter(makeUnit(316, QStringLiteral("B")), QStringLiteral("10.0.0.2"));
    QTest::mouseMove(f.grid.viewport(), f.cell(0, Description));
    QTRY_COMPARE_WITH_TIMEOUT(f.grid.viewport()->cursor().shape(), Qt::PointingHandCursor, 2000);
    QTest::mouseMove(f.grid.viewport(), f.cell(0, IPAddress));
    QTRY_COMPARE_WITH_TIMEOUT(f.grid.viewport()->cursor().shape(), Qt::ArrowCursor, 2000);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    QTest::mouseMove(f.grid.viewport(), f.cell(1, Description));
    QTRY_COMPARE_WITH_TIMEOUT(f.model.hoverRow(), 1, 2000);
    QCOMPARE(f.grid.viewport()->cursor().shape(), Qt::ArrowCursor);
    QApplication::restoreOverrideCursor();
}

void TestDiscoveryGrid::longDescriptionHintWindow()
{
    ViewFixture f;
    QVERIFY(f.shownAndExposed());
    const QString longDesc = QStringLiteral("Outbound sorter, dock 14, east side, upper label reader pair ").repeated(3);
    f.enter(makeUnit(316, longDesc), QStringLiteral("10.0.0.1"));
    f.enter(makeUnit(316, QStringLiteral("Short")), QStringLiteral("10.0.0.2"));

    QTest::mouseMove(f.grid.viewport(), f.cell(0, Ver));
    QLabel *hint = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((hint = f.grid.descriptionHintWindow()) && hint->isVisible(), 2000);
    QCOMPARE(hint->text(), longDesc);
    QVERIFY(hint->width() <= DiscoveryGrid::hintWindowMaxWidth);
    QCOMPARE(hint->pos(), f.grid.viewport()->mapToGlobal(f.grid.visualRect(f.model.index(0, Description)).topLeft()));

    // A row whose description fits closes it at once.
    QTest::mouseMove(f.grid.viewport(), f.cell(1, Ver));
    QTRY_VERIFY_WITH_TIMEOUT(!hint->isVisible(), 2000);

    // Otherwise it closes by itself after 5 s.
    QTest::mouseMove(f.grid.viewport(), f.cell(0, Description));
    QTRY_VERIFY_WITH_TIMEOUT(hint->isVisible(), 2000);
    QElapsedTimer shownFor;
    shownFor.start();
    QTRY_VERIFY_WITH_TIMEOUT(!hint->isVisible(), 7000);
    QVERIFY2(shownFor.elapsed() >= 4500, qPrintable(QString::number(shownFor.elapsed())));
}

void TestDiscoveryGrid::wheelScrollsOneRowPerNotch()
{
    ViewFixture f;
    f.grid.resize(900, 24 + 5 * 20 + 4);
    QVERIFY(f.shownAndExposed());
    f.enter(makeUnit(316), QStringLiteral("10.0.0.1"));
    f.enter(makeUnit(316), QStringLiteral("10.0.0.2"));
    // All rows fit: the wheel does nothing.
    QScrollBar *bar = f.grid.verticalScrollBar();
    const auto wheel = [&](int delta) {
        const QPoint pos(f.grid.columnViewportPosition(Ver) + 10, 30);
        QWheelEvent e(pos, f.grid.viewport()->mapToGlobal(pos), {}, {0, delta}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(f.grid.viewport(), &e);
    };
    wheel(-120);
    QCOMPARE(bar->value(), 0);

    for (int i = 3; i <= 30; ++i)
        f.enter(makeUnit(316), QStringLiteral("10.0.0.%1").arg(i));
    QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > 3, 2000);
    wheel(-120);
    QCOMPARE(bar->value(), 1);
    wheel(-240);
    QCOMPARE(bar->value(), 3);
    wheel(120);
    QCOMPARE(bar->value(), 2);
    // Then the row under the pointer (the second one shown) is highlighted.
    QCOMPARE(f.model.hoverRow(), 3);
}

void TestDiscoveryGrid::keyboardMovesConnectsAndOpensTheMenu()
{
    // The list and one button after it: Tab must leave the list for the button.
    QWidget page;
    RecordingOperator op;
    UnitTable units(op);
    DiscoveryGridModel model(units);
    auto *grid = new DiscoveryGrid(model, op, &page);
    auto *after = new QPushButton(QStringLiteral("After"), &page);
    auto *layout = new QVBoxLayout(&page);
    layout->addWidget(grid);
    layout->addWidget(after);
    for (int i = 0; i < 3; ++i) {
        udppack u = makeUnit(316, QStringLiteral("unit %1").arg(i));
        u.mac = QStringLiteral("0050C200000%1").arg(i);
        units.enterAnnouncement(u, QStringLiteral("10.0.0.%1").arg(i + 1));
    }
    page.resize(900, 300);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QSignalSpy connects(grid, &DiscoveryGrid::connectRequested);

    grid->setFocus(Qt::TabFocusReason);
    QVERIFY(grid->hasFocus());
    QCOMPARE(grid->currentIndex().row(), 0); // focus lands on the first unit
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Down); // past the last unit: stays on it
    QCOMPARE(grid->currentIndex().row(), 2);
    QTest::keyClick(grid, Qt::Key_Up);
    QTest::keyClick(grid, Qt::Key_Return);
    QTest::keyClick(grid, Qt::Key_Space);
    QCOMPARE(connects.size(), 2);
    QCOMPARE(connects.at(0).at(0).toString(), QStringLiteral("10.0.0.2"));
    QCOMPARE(connects.at(1).at(0).toString(), QStringLiteral("10.0.0.2"));

    // Shift+F10 opens the unit's pop-up menu, as the Menu key does.
    QTest::keyClick(grid, Qt::Key_F10, Qt::ShiftModifier);
    QVERIFY(grid->popupMenu()->isVisible());
    QCOMPARE(grid->menuUnitIP(), QStringLiteral("10.0.0.2"));
    grid->popupMenu()->close();
    QTest::keyClick(grid, Qt::Key_Menu);
    QVERIFY(grid->popupMenu()->isVisible());
    grid->popupMenu()->close();

    // Tab leaves the list.
    grid->setFocus(Qt::TabFocusReason);
    QTest::keyClick(grid, Qt::Key_Tab);
    QVERIFY(after->hasFocus());
    QCOMPARE(connects.size(), 2);
}

void TestDiscoveryGrid::confirmedUnitIsBroughtIntoViewAPageAtATime()
{
    ViewFixture f;
    f.grid.resize(900, 24 + 5 * 20 + 4); // five unit rows in view
    QVERIFY(f.shownAndExposed());
    for (int i = 1; i <= 30; ++i)
        f.enter(makeUnit(316), QStringLiteral("10.0.0.%1").arg(i));
    QScrollBar *bar = f.grid.verticalScrollBar();
    QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > 5, 2000);
    const int perPage = f.grid.viewport()->height() / f.grid.rowHeight(0);
    QVERIFY(perPage >= 4);

    // Row 13 is beyond the rows shown: the top row becomes the page boundary before it.
    QVERIFY(f.grid.bringUnitIntoView(f.units.psvrks(13)->ip));
    QCOMPARE(f.grid.rowAt(0), 13 / perPage * perPage);
    // A unit already in view leaves the grid where it is.
    const int top = f.grid.rowAt(0);
    QVERIFY(f.grid.bringUnitIntoView(f.units.psvrks(top + 1)->ip));
    QCOMPARE(f.grid.rowAt(0), top);
    // Back above the rows shown.
    QVERIFY(f.grid.bringUnitIntoView(f.units.psvrks(1)->ip));
    QCOMPARE(f.grid.rowAt(0), 0);
    QVERIFY(!f.grid.bringUnitIntoView(QStringLiteral("10.9.9.9")));
}

QTEST_MAIN(TestDiscoveryGrid)
#include "tst_discoverygrid.moc"
