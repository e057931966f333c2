// Configuration files and text dumps of a setup record: names, lengths by
// version, what a short, missing or broken file leaves, the dump formats.
#include "setup/setupfiles.h"
#include "unit/records.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace vork;

namespace {

setuppack patterned()
{
    setuppack r;
    for (int i = 0; i < setuppack::size; ++i)
        r.setByteAt(i, std::uint8_t((i * 7 + 3) & 0xFF));
    return r;
}

// A record every field of which is one of its values.
setuppack valid()
{
    setuppack r;
    r.setNa(true);
    r.setNrip(QStringLiteral("10.0.0.7"));
    r.setDesc(QStringLiteral("Dock 7"));
    r.setByteAt(95, 4);   // cbaud 9600
    r.setByteAt(109, 3);  // nkar
    r.setByteAt(182, 3);  // lsc
    r.setByteAt(185, 12); // lsf
    r.setByteAt(221, 1);  // wdt
    r.setByteAt(232, 5);  // minB1
    r.setByteAt(233, 10); // minB2
    r.setByteAt(234, 4);  // ethp
    r.setByteAt(238, 1);  // ncp
    return r;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A dump line as other tools write it: "offset: xx xx ...".
QByteArray dumpLines(const QByteArray &bytes)
{
    QByteArray out;
    for (int at = 0; at < bytes.size(); at += 16)
        out += QByteArray::number(at, 16).rightJustified(6, '0') + ": " + bytes.mid(at, 16).toHex(' ') + "\r\n";
    return out;
}

} // namespace

class TestSetupFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void defaultName_data();
    void defaultName();
    void savedLengthByVersion_data();
    void savedLengthByVersion();
    void shortFileKeepsTheRest();
    void failuresChangeNothing_data();
    void failuresChangeNothing();
    void onlyRecordsAUnitCanTake_data();
    void onlyRecordsAUnitCanTake();
    void aPipeIsRefusedAtOnce();
    void markAndLineEndsOfDumps_data();
    void markAndLineEndsOfDumps();
    void savedFilesAreTheOwnersAlone();
    void configurationBlockText();
    void ownBlockImportsWhole();
    void otherDumpsAndShortOnes();
    void defaultFolder();
};

void TestSetupFiles::defaultName_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("ncp");
    QTest::addColumn<QString>("name");
    QTest::newRow("standard 5.0.2") << "00:50:C2:2C:20:00" << "5.0.2" << 1 << 1 << "C0050C22C2000.v502s.vork";
    QTest::newRow("EIP 5.0.2 by its setup") << "0050C22C2000" << "5.0.2" << 0 << 0 << "C0050C22C2000.v502e.vork";
    QTest::newRow("older, even model") << "0050c22c2001" << "3.1.7" << 2 << 0 << "C0050C22C2001.v317s.vork";
    QTest::newRow("older, odd model") << "0050C22C2002" << "4.9.9" << 1 << 1 << "C0050C22C2002.v499e.vork";
}

void TestSetupFiles::defaultName()
{
    QFETCH(QString, mac);
    QFETCH(QString, version);
    QFETCH(int, model);
    QFETCH(int, ncp);
    QFETCH(QString, name);
    udppack unit;
    unit.mac = mac;
    unit.vnumber = version;
    unit.ver.vnum = {std::uint8_t(version.at(0).digitValue()), std::uint8_t(version.at(2).digitValue()),
                     std::uint8_t(version.at(4).digitValue())};
    unit.model = std::uint8_t(model);
    setuppack record;
    record.setNcp(std::uint8_t(ncp));
    QCOMPARE(setupfiles::defaultName(unit, record), name);
}

void TestSetupFiles::savedLengthByVersion_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("length");
    QTest::newRow("2.5.5") << 255 << 221;
    QTest::newRow("2.5.9") << 259 << 229;
    QTest::newRow("3.1.7") << 317 << 238;
    QTest::newRow("5.0.2") << 502 << 239;
    QTest::newRow("6.0.0: never the PLC address") << 600 << 239;
}

void TestSetupFiles::savedLengthByVersion()
{
    QFETCH(int, version);
    QFETCH(int, length);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("unit.vork"));
    setuppack record = valid();
    record.setDesc(QStringLiteral("Saved at its version's length"));
    QString why;
    QVERIFY(setupfiles::write(path, record, setupfiles::fileLength(version), &why));
    const QByteArray saved = fileBytes(path);
    QCOMPARE(saved.size(), length);
    QCOMPARE(saved, record.bytes().left(length));
    // Read back over another record: the file's bytes, the rest as they were.
    setuppack other;
    const setupfiles::ReadResult back = setupfiles::read(path, other);
    QVERIFY(back.ok);
    QCOMPARE(back.length, length);
    QCOMPARE(back.record.bytes().left(length), record.bytes().left(length));
    QCOMPARE(back.record.bytes().mid(length), QByteArray(setuppack::size - length, '\0'));
}

void TestSetupFiles::shortFileKeepsTheRest()
{
    // A 239-byte file keeps the PLC address the record had.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("short.vork"));
    setuppack inFile = valid();
    inFile.setByteAt(238, 0); // ncp EIP
    QVERIFY(writeBytes(path, inFile.prefix(239)));
    setuppack held;
    held.setEipPLCIP(QStringLiteral("10.1.2.3"));
    held.setByteAt(238, 1);
    const setupfiles::ReadResult r = setupfiles::read(path, held);
    QVERIFY(r.ok);
    QCOMPARE(r.length, 239);
    QCOMPARE(r.record.eipPLCIP(), QStringLiteral("10.1.2.3"));
    QCOMPARE(r.record.byteAt(238), std::uint8_t(0));
    // With no unit, a save keeps the length the shown record had, at most 239.
    QCOMPARE(setupfiles::fileLengthWithoutUnit(229), 229);
    QCOMPARE(setupfiles::fileLengthWithoutUnit(243), 239);
}

void TestSetupFiles::onlyRecordsAUnitCanTake_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error"); // empty: taken
    const QByteArray good = valid().bytes();
    const auto with = [&](int offset, char byte) {
        QByteArray b = good.left(239);
        b[offset] = byte;
        return b;
    };
    QTest::newRow("empty") << "a.vork" << QByteArray() << "0 bytes is not the length of a configuration file";
    QTest::newRow("10 bytes") << "a.vork" << good.left(10) << "10 bytes is not the length";
    QTest::newRow("100 bytes") << "a.vork" << good.left(100) << "100 bytes is not the length";
    QTest::newRow("237 bytes") << "a.vork" << good.left(237) << "237 bytes is not the length";
    QTest::newRow("1 MB") << "a.vork" << QByteArray(1024 * 1024, '\0') << "1048576 bytes is not the length";
    for (const int n : {221, 222, 225, 229, 231, 232, 234, 236, 238, 239, 243})
        QTest::addRow("%d bytes", n) << "a.vork" << good.left(n) << QString();
    QTest::newRow("baud index 109") << "a.vork" << with(95, 109) << "cbaud holds 109, not one of its values";
    QTest::newRow("time zone 232") << "a.vork" << with(110, char(232)) << "tzi holds 232";
    QTest::newRow("watchdog 73") << "a.vork" << with(221, 73) << "wdt holds 73";
    QTest::newRow("Ethernet mode 109") << "a.vork" << with(234, 109) << "ethp holds 109";
    QTest::newRow("boolean 2") << "a.vork" << with(0, 2) << "na holds 2";
    QTest::newRow("a description without its end") << "a.vork"
                                                    << (good.left(112) + QByteArray(64, 'x') + good.mid(176, 63))
                                                    << "desc holds no terminator";
    QTest::newRow("a control character") << "a.vork" << with(113, 7) << "desc holds the byte 0x7";
    QTest::newRow("retry count 0 without an interval") << "a.vork" << with(109, 0) << QString();
    QTest::newRow("retry count 0 with one") << "a.vork" << with(107, 30).replace(109, 1, "\0", 1)
                                            << "nkar holds 0";
    QTest::newRow("ASCII serial address 9000") << "a.vork" << with(96, char(0x28)).replace(97, 1, "\x23", 1)
                                                << QString();
    QTest::newRow("ASCII serial address 10000") << "a.vork" << with(96, char(0x10)).replace(97, 1, "\x27", 1)
                                                 << "caddr holds 10000";
    // 9000 is no Classic address.
    QByteArray classic = with(96, char(0x28)).replace(97, 1, "\x23", 1);
    classic[94] = 1;
    QTest::newRow("Classic serial address 9000") << "a.vork" << classic << "caddr holds 9000";
    QTest::newRow("a dump of 100 bytes") << "d.txt" << dumpLines(good.left(100)) << "holds 100 bytes, fewer than";
    QTest::newRow("a dump of a record") << "d.txt" << dumpLines(good.left(239)) << QString();
    QTest::newRow("a dump with a bad field") << "d.txt" << dumpLines(with(95, 109)) << "cbaud holds 109";
    QTest::newRow("a dump of 1 MB") << "d.txt" << QByteArray(1024 * 1024, 'x') << "bytes is not a setup dump";
}

void TestSetupFiles::onlyRecordsAUnitCanTake()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(writeBytes(path, content));
    const setuppack held = patterned();
    const setupfiles::ReadResult r = setupfiles::read(path, held);
    if (error.isEmpty()) {
        QVERIFY2(r.ok, qPrintable(r.error));
        return;
    }
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(error) && r.error.contains(path), qPrintable(r.error));
    QCOMPARE(r.record, held);
}

void TestSetupFiles::aPipeIsRefusedAtOnce()
{
    QTemporaryDir dir;
    for (const QString &name : {QStringLiteral("pipe.vork"), QStringLiteral("pipe.txt")}) {
        const QString path = dir.filePath(name);
        QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        const setupfiles::ReadResult r = setupfiles::read(path, setuppack());
        QVERIFY(!r.ok);
        QCOMPARE(r.error, path + QStringLiteral(" is not a regular file"));
    }
}

void TestSetupFiles::markAndLineEndsOfDumps_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray lines = dumpLines(valid().prefix(239));
    QByteArray lf = lines;
    lf.replace("\r\n", "\n");
    QByteArray cr = lines;
    cr.replace("\r\n", "\r");
    QTest::newRow("CR LF") << lines;
    QTest::newRow("LF") << lf;
    QTest::newRow("CR alone") << cr;
    QTest::newRow("byte-order mark, CR LF") << QByteArray("\xEF\xBB\xBF") + lines;
    QTest::newRow("byte-order mark, CR alone") << QByteArray("\xEF\xBB\xBF") + cr;
}

void TestSetupFiles::markAndLineEndsOfDumps()
{
    QFETCH(QByteArray, text);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dump.txt"));
    QVERIFY(writeBytes(path, text));
    const setupfiles::ReadResult r = setupfiles::read(path, setuppack());
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.length, 239);
    QCOMPARE(r.record.prefix(239), valid().prefix(239));
}

void TestSetupFiles::savedFilesAreTheOwnersAlone()
{
    // The record holds the unit's password.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("secret.vork"));
    QVERIFY(setupfiles::write(path, valid(), 239, nullptr));
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                                            | QFileDevice::ReadOther | QFileDevice::WriteOther
                                            | QFileDevice::ExeOther;
    QCOMPARE(QFileInfo(path).permissions() & others, QFileDevice::Permissions());
}

void TestSetupFiles::failuresChangeNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // empty: no file
    QTest::addColumn<QString>("error");
    QTest::newRow("missing") << "gone.vork" << QByteArray() << "Not found in current directory";
    QTest::newRow("a pair that is not hex") << "dump.TXT" << QByteArray("000000: 01 02 zz 04\r\n")
                                            << "Line 1: 'zz' is not a hexadecimal byte";
    QTest::newRow("a half pair at the end") << "dump.txt" << QByteArray("000000: 01 0\r\n")
                                            << "Line 1: '0' is not a hexadecimal byte";
    QTest::newRow("a folder") << "folder.vork" << QByteArray("dir") << "";
}

void TestSetupFiles::failuresChangeNothing()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (content == "dir")
        QVERIFY(QDir(dir.path()).mkdir(name));
    else if (!content.isEmpty())
        QVERIFY(writeBytes(path, content));
    const setuppack held = patterned();
    const setupfiles::ReadResult r = setupfiles::read(path, held);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(error) && !r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.record, held);
}

void TestSetupFiles::configurationBlockText()
{
    const QByteArray block = setupfiles::configurationBlock(patterned());
    const QList<QByteArray> lines = block.split('\n');
    QCOMPARE(lines.size(), 19); // 18 lines, each ending in CR LF, then nothing
    QCOMPARE(lines.at(0), QByteArray(",Configuration Data:,\r"));
    QCOMPARE(lines.at(1), QByteArray(",000000: 03 0a 11 18 1f 26 2d 34 3b 42 49 50 57 5e 65 6c\r"));
    QCOMPARE(lines.at(15), QByteArray(",0000e0: 23 2a 31 38 3f 46 4d 54 5b 62 69 70 77 7e 85 8c\r"));
    QCOMPARE(lines.at(16), QByteArray(",0000f0: 93 9a a1 \r"));
    QCOMPARE(lines.at(17), QByteArray("\r"));
    QVERIFY(block.endsWith("\r\n\r\n"));
}

void TestSetupFiles::ownBlockImportsWhole()
{
    // Our own block comes back byte for byte, the PLC address included.
    setuppack record = patterned();
    record.setEipPLCIP(QStringLiteral("192.168.1.20"));
    const setupfiles::ReadResult r = setupfiles::importText(setupfiles::configurationBlock(record));
    QVERIFY(r.ok);
    QCOMPARE(r.length, setuppack::size);
    QCOMPARE(r.record, record);
    QCOMPARE(r.record.eipPLCIP(), QStringLiteral("192.168.1.20"));
}

void TestSetupFiles::otherDumpsAndShortOnes()
{
    // Another tool's dump: the PLC address is written most significant byte first.
    QByteArray bytes(239, '\0');
    for (int i = 0; i < 239; ++i)
        bytes[i] = char(i);
    const QByteArray full = bytes + QByteArray::fromHex("c0a80114");
    setupfiles::ReadResult r = setupfiles::importText(dumpLines(full));
    QVERIFY(r.ok);
    QCOMPARE(r.length, 243);
    QCOMPARE(r.record.bytes().left(239), bytes);
    QCOMPARE(r.record.eipPLCIP(), QStringLiteral("192.168.1.20"));

    // 240 bytes: the length says so and the missing bytes are 0.
    r = setupfiles::importText(setupfiles::configurationTitle().toLatin1() + "\r\n" + dumpLines(bytes + "\x7f"));
    QVERIFY(r.ok);
    QCOMPARE(r.length, 240);
    QCOMPARE(r.record.byteAt(239), std::uint8_t(0x7f));
    for (int i : {240, 241, 242})
        QCOMPARE(r.record.byteAt(i), std::uint8_t(0));

    // Lines without ": " are skipped; a tab ends the data; more than 16 bytes a line are cut.
    r = setupfiles::importText("header line\n000000: 01 02\t03 04\n000010: " + QByteArray(20, 'a').toHex(' ') + "\n");
    QVERIFY(r.ok);
    QCOMPARE(r.length, 18);
    QCOMPARE(r.record.bytes().left(18), QByteArray::fromHex("0102") + QByteArray(16, 'a'));
}

void TestSetupFiles::defaultFolder()
{
    QTemporaryDir dir;
    // Not there and not to be made: the program's folder.
    QCOMPARE(setupfiles::defaultDirectory(dir.path(), setupfiles::configFolder, false), dir.path());
    const QString made = setupfiles::defaultDirectory(dir.path(), setupfiles::configFolder, true);
    QCOMPARE(made, dir.filePath(QStringLiteral("Vork Configuration Files")));
    QVERIFY(QFileInfo(made).isDir());
    // A file where the folder should be: the program's folder again.
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("Vork History Files")), "x"));
    QCOMPARE(setupfiles::defaultDirectory(dir.path(), setupfiles::historyFolder, true), dir.path());
}

QTEST_GUILESS_MAIN(TestSetupFiles)
#include "tst_setupfiles.moc"
