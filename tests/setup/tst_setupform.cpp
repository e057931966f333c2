// The setup form without widgets: which controls a record shows, the record
// built back from the controls, change tracking, the zone rules, and the
// arithmetic of the option windows.
#include "recordingoperator.h"
#include "setup/setupform.h"
#include "setup/setupoptions.h"
#include "setup/timezones.h"

#include <QTest>

using namespace vork;

namespace {

QString n(const char *name)
{
    return QString::fromLatin1(name);
}

// A record as a unit of this version sends it, every field at a value the form can show.
setuppack unitRecord(int length, int version)
{
    setuppack r;
    r.setNa(true);
    r.setNmode(1);
    r.setNpro(1);
    r.setNtyp(1);
    r.setNsip(QStringLiteral("10.1.2.3"));
    r.setNprt(3000);
    r.setNrip(QStringLiteral("192.168.7.20"));
    r.setNrm(QStringLiteral("255.255.255.0"));
    r.setNdg(QStringLiteral("192.168.7.1"));
    r.setNdiag(1);
    r.setNtsvr(QStringLiteral("192.168.7.2"));
    r.setNtsuf(60);
    r.setCpa(true);
    r.setCpro(0);
    r.setCbaud(5);
    r.setCaddr(1234);
    r.setCaa(true);  // passes through
    r.setAbaud(4);
    r.setAmon(9);    // passes through
    r.setAir(3);     // passes through
    r.setInit(0x5A); // passes through
    r.setNka(30);
    r.setNkar(3);
    r.setTzi(16);
    r.setDst(true);
    r.setDesc(QStringLiteral("Line 4 infeed"));
    r.setNerr(true);
    r.setHcode(true);
    r.setLsa(false);
    r.setLsc(4);
    r.setLsf(12);
    r.setLsm1(length >= 234 ? 0x15 : 1);
    r.setDsd(5);
    r.setDfd(30);
    r.setPwp(true);
    r.setPw(QStringLiteral("s3cret"));
    r.setTzo(*timezones::parseCode(QStringLiteral("030407201C000A0407302A0001")));
    r.setUtzo(true);
    r.setNrtcnt(5);
    r.setNfm(nfmbit::monitorOn | nfmbit::rebootMajorFault);
    r.setWdt(2);
    r.setDrt(7);
    r.setNaddr(200);
    r.setWdt31(true);
    r.setE99(true);
    r.setRcmd(true);
    r.setLogRA(true);
    r.setMinB1(8);
    r.setMinB2(12);
    r.setEthp(3);
    r.setUats(true);
    r.setFirewall(true);
    r.setNcp(1);
    r.setEipPLCIP(QStringLiteral("192.168.1.10"));
    if (length < 234 && version == 264)
        r.setLsm1(0); // the flag lives in logRA there
    // What the unit does not send reads as zero.
    return setuppack(r.bytes().left(length));
}

SetupForm::Context context(int version, bool standard = true)
{
    SetupForm::Context c;
    c.versionNumber = version;
    c.standardFamily = standard;
    c.connected = true;
    c.mac = QStringLiteral("0050C22C2000");
    return c;
}

} // namespace

class TestSetupForm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void visibility_data();
    void visibility();
    void roundTripEveryLength_data();
    void roundTripEveryLength();
    void changeTrackingAndBack();
    void formCorrections();
    void customCode_data();
    void customCode();
    void standardZones();
    void factoryDefaults();
    void protocolSwitch();
    void advancedBits();
    void nfmArithmetic_data();
    void nfmArithmetic();
    void passwordRules_data();
    void passwordRules();
};

void TestSetupForm::visibility_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("naddr");
    QTest::addColumn<bool>("uats");
    QTest::addColumn<bool>("firewall");
    QTest::addColumn<bool>("stdEip");
    QTest::addColumn<bool>("singleSize");
    QTest::addColumn<QString>("fixedCaption");
    QTest::newRow("221 from 2.5.5") << 221 << 255 << false << false << false << false << true << "Fixed Size-1";
    QTest::newRow("226 from 2.5.9") << 226 << 259 << false << false << false << false << true << "Fixed Size-1";
    QTest::newRow("229 from 2.5.9") << 229 << 259 << true << false << false << false << true << "Fixed Size-1";
    QTest::newRow("232 from 2.6.4") << 232 << 264 << true << false << false << false << true << "Fixed Size-2";
    QTest::newRow("232 from 2.6.5") << 232 << 265 << true << false << false << false << true << "Fixed Size-1";
    QTest::newRow("234 from 2.9.0") << 234 << 290 << true << false << false << false << false << "Fixed Size-1";
    QTest::newRow("236 from 3.1.5") << 236 << 315 << true << true << false << false << false << "Fixed Size-1";
    QTest::newRow("238 from 3.1.7") << 238 << 317 << true << true << true << false << false << "Fixed Size-1";
    QTest::newRow("243 from 5.0.2") << 243 << 502 << true << true << true << true << false << "Fixed Size-1";
    QTest::newRow("243 from 2.6.4") << 243 << 264 << true << true << true << false << false << "Fixed Size-1";
}

void TestSetupForm::visibility()
{
    QFETCH(int, length);
    QFETCH(int, version);
    QFETCH(bool, naddr);
    QFETCH(bool, uats);
    QFETCH(bool, firewall);
    QFETCH(bool, stdEip);
    QFETCH(bool, singleSize);
    QFETCH(QString, fixedCaption);
    RecordingOperator op;
    SetupForm form(op);
    form.show(unitRecord(length, version), length, context(version));
    QCOMPARE(form.isVisible(n("enaddr")), naddr);
    QCOMPARE(form.isVisible(n("CBuats")), uats);
    QCOMPARE(form.isVisible(n("CBfirewall")), firewall);
    QCOMPARE(form.isVisible(n("RBstd")), stdEip);
    QCOMPARE(form.isVisible(n("RBeip")), stdEip);
    QCOMPARE(form.isVisible(n("CBxEthp")), stdEip);
    QCOMPARE(form.singleSize(), singleSize);
    QCOMPARE(AdvancedSettings::fixedSizeCaption(form.v264()), fixedCaption);
    // Client role: the server address shows.
    QVERIFY(form.isVisible(n("ensip")));
    QVERIFY(form.groupsEnabled());
}

void TestSetupForm::roundTripEveryLength_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("version");
    for (const auto &[length, version] : std::initializer_list<std::pair<int, int>>{
             {221, 255}, {222, 256}, {225, 258}, {229, 259}, {231, 263}, {232, 264}, {234, 290}, {236, 315},
             {238, 317}, {238, 499}, {243, 500}, {243, 502}})
        QTest::addRow("%d from %d", length, version) << length << version;
}

void TestSetupForm::roundTripEveryLength()
{
    QFETCH(int, length);
    QFETCH(int, version);
    RecordingOperator op;
    SetupForm form(op);
    const setuppack record = unitRecord(length, version);
    form.show(record, length, context(version));
    QVERIFY(!form.changesPending());
    // Nothing edited: the record built from the form is the record shown, byte for byte.
    QVERIFY(form.build());
    QCOMPARE(form.outgoing().bytes().toHex(), record.bytes().toHex());

    // One field of every group: exactly those bytes change.
    form.setValue(n("edesc"), QStringLiteral("Bay 7 sorter"));
    form.edited(n("edesc"));
    form.setValue(n("enprt"), QStringLiteral("10007"));
    form.edited(n("enprt"));
    form.setValue(n("cbxcbaud"), 7);
    form.edited(n("cbxcbaud"));
    form.setValue(n("cbxapar"), 1);
    form.edited(n("cbxapar"));
    QVERIFY(form.changesPending());
    setuppack expected = record;
    expected.setDesc(QStringLiteral("Bay 7 sorter"));
    expected.setNprt(10007);
    expected.setCbaud(7);
    expected.setApar(1);
    QCOMPARE(form.outgoing().bytes().toHex(), expected.bytes().toHex());

    // And back into a form: the same controls.
    SetupForm again(op);
    again.show(form.outgoing(), length, context(version));
    QCOMPARE(again.text(n("edesc")), QStringLiteral("Bay 7 sorter"));
    QCOMPARE(again.text(n("enprt")), QStringLiteral("10007"));
    QCOMPARE(again.index(n("cbxcbaud")), 7);
    QCOMPARE(again.index(n("cbxapar")), 1);
    QCOMPARE(again.text(n("EeipPLC")), length == 243 ? QStringLiteral("192.168.1.10") : QStringLiteral("0.0.0.0"));
    QCOMPARE(again.text(n("Etzcode")), QStringLiteral("030407201C000A0407302A0001"));
    QVERIFY(again.build());
    QCOMPARE(again.outgoing().bytes().toHex(), expected.bytes().toHex());
}

void TestSetupForm::changeTrackingAndBack()
{
    RecordingOperator op;
    SetupForm form(op);
    form.show(unitRecord(243, 502), 243, context(502));
    QVERIFY(!form.downloadEnabled());
    QVERIFY(form.printEnabled());
    form.setValue(n("SEnrtcnt"), 6);
    form.edited(n("SEnrtcnt"));
    QVERIFY(form.changesPending());
    QVERIFY(form.downloadEnabled());
    QVERIFY(!form.printEnabled());
    QCOMPARE(form.outgoing().nrtcnt(), 6);
    form.setValue(n("SEnrtcnt"), 5);
    form.edited(n("SEnrtcnt"));
    QVERIFY(!form.changesPending());
    QVERIFY(form.inSync());
    QVERIFY(!form.downloadEnabled());
    // Not connected: nothing to download to.
    form.setValue(n("SEnrtcnt"), 9);
    form.edited(n("SEnrtcnt"));
    form.setConnected(false);
    QVERIFY(form.changesPending());
    QVERIFY(!form.downloadEnabled());
    // A confirmed download makes the record the unit's.
    form.setConnected(true);
    const setuppack sent = form.outgoing();
    form.confirmed(sent);
    QVERIFY(!form.changesPending());
    QCOMPARE(form.received(), sent);
}

void TestSetupForm::formCorrections()
{
    RecordingOperator op;
    SetupForm form(op);
    form.show(unitRecord(243, 502), 243, context(502));
    form.setValue(n("edesc"), QString(70, QLatin1Char('x')));
    form.setValue(n("entsuf"), QStringLiteral("0"));
    form.edited(n("edesc"));
    QCOMPARE(form.text(n("edesc")), QString(63, QLatin1Char('x')));
    QCOMPARE(form.text(n("entsuf")), QStringLiteral("1"));
    QCOMPARE(form.outgoing().ntsuf(), 1u);
    // A number that is not one, and a PLC address that is not four numbers, keep their bytes.
    form.setValue(n("enprt"), QStringLiteral("30x0"));
    form.setValue(n("EeipPLC"), QStringLiteral("10.0.0"));
    form.edited(n("enprt"));
    QCOMPARE(form.outgoing().nprt(), 3000u);
    QCOMPARE(form.outgoing().eipPLCIP(), QStringLiteral("192.168.1.10"));
    form.setValue(n("enprt"), QStringLiteral("70000"));
    form.edited(n("enprt"));
    QCOMPARE(form.outgoing().bytes().mid(20, 3).toHex(), QByteArray("701101"));
    // DHCP disables the address fields, the watchdog off clears "WDT at 31".
    form.setValue(n("cbndhcp"), true);
    form.edited(n("cbndhcp"));
    QVERIFY(!form.isEnabled(n("enrip")));
    QVERIFY(!form.isEnabled(n("CBnrm")));
    QVERIFY(!form.isEnabled(n("endg")));
    form.setValue(n("CBwdt"), false);
    form.edited(n("CBwdt"));
    QVERIFY(!form.checked(n("CBwdt31")));
    QVERIFY(!form.isEnabled(n("CBwdt31")));
    QCOMPARE(form.outgoing().wdt(), 0);
    // Bluetooth takes the auxiliary port to 57600, no parity, both fixed.
    form.setValue(n("cbxafunc"), 1);
    form.edited(n("cbxafunc"));
    QCOMPARE(form.index(n("cbxabaud")), 7);
    QCOMPARE(form.index(n("cbxapar")), 0);
    QVERIFY(!form.isEnabled(n("cbxabaud")));
    // The serial address label follows the protocol.
    form.setValue(n("cbxcpro"), 0);
    QCOMPARE(form.caption(n("ecaddr")), QStringLiteral("Address (0-9999)"));
    form.setValue(n("cbxcpro"), 2);
    QCOMPARE(form.caption(n("ecaddr")), QStringLiteral("Address (0-255)"));
}

void TestSetupForm::customCode_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("end rule date 31") << "030407201C000A051F302A0001" << true << QByteArray("030407201c000a051f302a0001");
    QTest::newRow("end rule second day 8") << "030407201C000A0208302A0001" << false << QByteArray();
    QTest::newRow("empty") << "" << true << QByteArray(26, '0');
    QTest::newRow("start month 13") << "0D0407201C000A0407302A0001" << false << QByteArray();
    QTest::newRow("observe 2") << "030407201C000A0407302A0002" << false << QByteArray();
    QTest::newRow("25 digits") << "030407201C000A0407302A000" << false << QByteArray();
    QTest::newRow("not hex") << "030407201C000A0407302A00G1" << false << QByteArray();
}

void TestSetupForm::customCode()
{
    QFETCH(QString, code);
    QFETCH(bool, valid);
    QFETCH(QByteArray, stored);
    RecordingOperator op;
    SetupForm form(op);
    const setuppack record = unitRecord(243, 502);
    form.show(record, 243, context(502));
    form.setValue(n("CButzo"), true);
    form.setValue(n("Etzcode"), code);
    QCOMPARE(form.build(), valid);
    QCOMPARE(form.outgoing().tzo().toHex(), valid ? stored : record.tzo().toHex());
}

void TestSetupForm::standardZones()
{
    RecordingOperator op;
    SetupForm form(op);
    form.show(unitRecord(243, 502), 243, context(502));
    form.zoneChosen(16);
    QCOMPARE(form.text(n("Etzcode")), QStringLiteral("030207201C000B0107201C0001"));
    const auto shown = [&](const char *list) {
        const int i = form.index(n(list));
        const QStringList items = form.choices(n(list));
        return i >= 0 && i < items.size() ? items.at(i) : QString();
    };
    QCOMPARE(shown("CBstartmonth"), QStringLiteral("March"));
    QCOMPARE(shown("CBstarttype"), QStringLiteral("Second"));
    QCOMPARE(shown("CBstartday"), QStringLiteral("Sunday"));
    QCOMPARE(shown("CBstarthour"), QStringLiteral("02:00 am"));
    QCOMPARE(shown("CBendmonth"), QStringLiteral("November"));
    QCOMPARE(shown("CBendtype"), QStringLiteral("First"));
    QCOMPARE(shown("CBendday"), QStringLiteral("Sunday"));
    QCOMPARE(shown("CBendhour"), QStringLiteral("02:00 am"));
    QVERIFY(form.checked(n("CBobserve")));
    QVERIFY(form.isEnabled(n("CBdst")));
    QCOMPARE(form.encodeZone(), QStringLiteral("030207201C000B0107201C0001"));
    form.zoneChosen(9); // Arizona
    for (const char *list : {"CBstartmonth", "CBstarttype", "CBstartday", "CBstarthour", "CBendmonth", "CBendtype",
                             "CBendday", "CBendhour"})
        QCOMPARE(form.index(n(list)), -1);
    QVERIFY(!form.checked(n("CBobserve")));
    QVERIFY(!form.isEnabled(n("CBdst")));
    // A date rule: the day list holds 1..31.
    form.decodeZone(QStringLiteral("03050F201C000A0407302A0001"));
    QCOMPARE(form.choices(n("CBstartday")).size(), 31);
    QCOMPARE(shown("CBstartday"), QStringLiteral("15"));
    // A rule type change empties the day.
    form.setValue(n("CBstarttype"), 1);
    form.ruleTypeChanged(true);
    QCOMPARE(form.index(n("CBstartday")), -1);
    QCOMPARE(form.choices(n("CBstartday")).first(), QStringLiteral("Monday"));
    // Zone codes out of the list's range select nothing.
    setuppack far = unitRecord(243, 502);
    far.setTzi(200);
    form.show(far, 243, context(502));
    QCOMPARE(form.index(n("CBtimezone")), -1);
}

void TestSetupForm::factoryDefaults()
{
    RecordingOperator op;
    SetupForm form(op);
    form.show(unitRecord(243, 502), 243, context(502));
    form.loadDefaults();
    QVERIFY(form.changesPending());
    const setuppack &r = form.outgoing();
    QCOMPARE(r.desc(), QStringLiteral("Vork - New Reader"));
    QCOMPARE(r.nrip(), QStringLiteral("192.168.22.243"));
    QCOMPARE(r.nrm(), QStringLiteral("255.255.255.255"));
    QCOMPARE(r.ndg(), QStringLiteral("0.0.0.0"));
    QCOMPARE(r.caddr(), 48);
    QCOMPARE(r.naddr(), 48);
    QCOMPARE(r.ntsuf(), 60u);
    QCOMPARE(r.dsd(), 5u);
    QCOMPARE(r.dfd(), 30u);
    QCOMPARE(r.drt(), 0u);
    QCOMPARE(r.na(), false);
    QCOMPARE(r.nmode(), 1);
    QCOMPARE(r.npro(), 1);
    QCOMPARE(r.ntyp(), 0);
    QCOMPARE(r.nprt(), 3000u);
    QCOMPARE(r.nka(), 0);
    QCOMPARE(r.nkar(), 1);
    QCOMPARE(r.nfm(), 0);
    QCOMPARE(r.wdt(), 1);
    QCOMPARE(r.ncp(), 1);
    QCOMPARE(r.cpa(), false);
    QCOMPARE(r.cpro(), 1);
    QCOMPARE(r.cbaud(), 5);
    QCOMPARE(r.abaud(), 7);
    QCOMPARE(r.afunc(), 0);
    QCOMPARE(r.ethp(), 4);
    QCOMPARE(r.pwp(), false);
    QCOMPARE(r.eipPLCIP(), QStringLiteral("0.0.0.0"));
    QCOMPARE(r.hcode(), true);
    QCOMPARE(r.lsa(), true);
    QCOMPARE(r.lsc(), 3u);
    QCOMPARE(r.lsf(), 12u);
    QCOMPARE(r.minB1(), 5);
    QCOMPARE(r.minB2(), 10);
    QCOMPARE(form.index(n("CBtimezone")), 16);
}

void TestSetupForm::protocolSwitch()
{
    RecordingOperator op;
    SetupForm form(op);
    form.show(unitRecord(243, 502), 243, context(502));
    QVERIFY(form.stdSelected());
    QVERIFY(!form.eipForward());
    QVERIFY(form.isEnabled(n("cbcpa")));
    QVERIFY(!form.serialDisabledMarker());
    form.selectProtocol(false);
    QVERIFY(form.eipForward());
    QCOMPARE(form.networkGroupLabel(), QStringLiteral("EthernetIP"));
    QVERIFY(!form.checked(n("cbcpa")));
    QVERIFY(!form.isEnabled(n("cbcpa")));
    QVERIFY(form.serialDisabledMarker());
    QVERIFY(form.isEnabled(n("CBeipDiags")));
    QCOMPARE(form.outgoing().ncp(), 0);
    QCOMPARE(form.outgoing().cpa(), false);
    QVERIFY(form.changesPending());
    QCOMPARE(op.tones.last(), Tone::Button);
    // Below 5.0.0 the family decides and there are no buttons.
    SetupForm old(op);
    old.show(unitRecord(238, 317), 238, context(317, false));
    QVERIFY(old.eipForward());
    QCOMPARE(old.networkGroupLabel(), QStringLiteral("EthernetIP"));
    QVERIFY(!old.checked(n("cbcpa")));
    QVERIFY(!old.isEnabled(n("cbcpa")));
}

void TestSetupForm::advancedBits()
{
    AdvancedSettings a = AdvancedSettings::defaults(false, false);
    a.lsa = false;
    a.chooseFixedSize(QStringLiteral("12"));
    QCOMPARE(a.mask, std::uint8_t(16));
    a.chooseFixedSize(QStringLiteral("9"));
    QCOMPARE(a.mask & 2, 2);
    QCOMPARE(a.mask & 16, 0);
    QCOMPARE(a.shownBits(), std::uint8_t(2));
    // The fixed size's own box cannot be cleared; another can.
    QCOMPARE(a.setBit(2, false), std::optional<QString>(AdvancedSettings::refusedClearText()));
    QCOMPARE(a.mask, std::uint8_t(2));
    QCOMPARE(a.setBit(64, true), std::nullopt);
    QCOMPARE(a.mask, std::uint8_t(66));
    QCOMPARE(a.multiBitsText(), QStringLiteral("Multi-bits: 0x42"));
    QCOMPARE(a.accept(66), std::nullopt);
    QCOMPARE(a.mask, std::uint8_t(66));
    a.lsf.clear();
    QCOMPARE(a.accept(66), std::optional<QString>(QStringLiteral("You must enter a fixed size value")));
    for (const auto &[entry, bit] : std::initializer_list<std::pair<const char *, int>>{
             {"0", 255}, {"7", 0}, {"8", 1}, {"11", 8}, {"15", 128}, {"16", 0}})
        QCOMPARE(int(AdvancedSettings::fixedSizeBit(QString::fromLatin1(entry))), bit);
    // A short record of 2.6.4 keeps the flag in logRA and writes no mask.
    setuppack r;
    r.setLogRA(true);
    r.setLsm1(0x20);
    AdvancedSettings single = AdvancedSettings::fromRecord(r, true, true);
    QVERIFY(single.fixedSizeBox);
    single.fixedSizeBox = false;
    single.write(r);
    QCOMPARE(r.logRA(), false);
    QCOMPARE(r.lsm1(), 0);
}

void TestSetupForm::nfmArithmetic_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("before");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("monitorWasOn");
    QTest::addColumn<int>("after");
    QTest::newRow("data loss on, monitor was off") << "loss" << 0 << true << false << 9;
    QTest::newRow("data loss off again") << "loss" << 9 << false << false << 0;
    QTest::newRow("data loss off, monitor was on") << "loss" << 9 << false << true << 1;
    QTest::newRow("reply on") << "reply" << 0 << true << false << 17;
    QTest::newRow("reply off, monitor was off") << "reply" << 17 << false << false << 0;
    QTest::newRow("reply off, monitor was on") << "reply" << 17 << false << true << 1;
    QTest::newRow("reply off keeps unused bits") << "reply" << 0xF1 << false << true << 0xE1;
}

void TestSetupForm::nfmArithmetic()
{
    QFETCH(QString, action);
    QFETCH(int, before);
    QFETCH(bool, checked);
    QFETCH(bool, monitorWasOn);
    QFETCH(int, after);
    const std::uint8_t v = action == QLatin1String("loss")
                               ? nfmrules::dataLoss(std::uint8_t(before), checked, monitorWasOn)
                               : nfmrules::broadcastReply(std::uint8_t(before), checked, monitorWasOn);
    QCOMPARE(int(v), after);
    QCOMPARE(int(nfmrules::fromWindow(true, false, true, true)), 13);
    QCOMPARE(int(nfmrules::fromWindow(false, true, false, false)), 2);
    QCOMPARE(nfmrules::hint(13), QStringLiteral("Automatically fix any network faults (13)"));
}

void TestSetupForm::passwordRules_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("empty") << "" << "" << "To password protect, you must enter a password.";
    QTest::newRow("nine") << "123456789" << "123456789" << "Maximum password length is 8 characters.";
    QTest::newRow("eight") << "12345678" << "12345678" << "";
    QTest::newRow("differ") << "abc" << "abd" << "Password and confirmed password do not match.";
}

void TestSetupForm::passwordRules()
{
    QFETCH(QString, password);
    QFETCH(QString, confirm);
    QFETCH(QString, refusal);
    QCOMPARE(passwordrules::checkNew(password, confirm).value_or(QString()), refusal);
    setuppack r;
    r.setPw(QStringLiteral("s3cret"));
    QVERIFY(passwordrules::matches(QStringLiteral("s3cret"), r));
    QVERIFY(!passwordrules::matches(QStringLiteral("s3cre"), r));
}

QTEST_GUILESS_MAIN(TestSetupForm)
#include "tst_setupform.moc"
