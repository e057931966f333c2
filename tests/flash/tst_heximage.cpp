// Intel HEX images before any unit: record and file verification, the build block
// search and build string, the status word, the command byte table and each unit's
// fitness for an image.
#include "flash/buildinfo.h"
#include "flash/flashfitness.h"
#include "flash/flashimage.h"
#include "flash/flashstatus.h"
#include "flash/heximage.h"
#include "hexfixture.h"
#include "recordingoperator.h"
#include "unit/records.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace vork;
using hexfixture::record;

Q_DECLARE_METATYPE(vork::HexRecordCheck::Kind)
Q_DECLARE_METATYPE(vork::Fitness::Verdict)
Q_DECLARE_METATYPE(vork::FlashMode)
Q_DECLARE_METATYPE(vork::BootLoaderChoice::Region)

namespace {

udppack unitWith(const QString &vnumber, std::uint8_t model, std::uint8_t readers)
{
    udppack u;
    u.ip = QStringLiteral("127.0.0.9");
    u.vnumber = vnumber;
    const QStringList parts = vnumber.split(QLatin1Char('.'));
    for (int i = 0; i < 3 && i < parts.size(); ++i)
        u.ver.vnum[std::size_t(i)] = std::uint8_t(parts.at(i).toInt());
    u.model = model;
    u.ver.vrcnt = readers;
    return u;
}

FlashImage imageOf(const QStringList &lines, const QString &path)
{
    FlashImage image;
    image.path = path;
    image.lines = lines;
    image.build = contentSearch(lines);
    return image;
}

// A data line whose data characters are text (hex), for the search tables.
QString dataLine(const QString &hexData)
{
    return record(0, 0, QByteArray::fromHex(hexData.toLatin1()));
}

const QString blockHex = QString::fromLatin1(hexfixture::standardBlock().toHex().toUpper());

} // namespace

class TestHexImage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fixtureRecordsMatchHandWritten();
    void recordCheck_data();
    void recordCheck();
    void fileCheck_data();
    void fileCheck();
    void readerTakesOnlyRegularFiles();
    void openRefusesOrAsks_data();
    void openRefusesOrAsks();
    void blockPositions_data();
    void blockPositions();
    void buildStrings_data();
    void buildStrings();
    void nonDecimalBlockByteFailsTheSearch();
    void padding_data();
    void padding();
    void statusWord_data();
    void statusWord();
    void stepStates_data();
    void stepStates();
    void commandByte_data();
    void commandByte();
    void lineLimits_data();
    void lineLimits();
    void offsetRecordNeeded_data();
    void offsetRecordNeeded();
    void modelChecks_data();
    void modelChecks();
    void versionAlreadyPresent();
    void independentToolImage();
};

void TestHexImage::fixtureRecordsMatchHandWritten()
{
    QCOMPARE(record(0, 0x30, QByteArray("\x02\x33\x7A", 3)), QStringLiteral(":0300300002337A1E"));
    QCOMPARE(record(2, 0, QByteArray("\x0A\x00", 2)), QStringLiteral(":020000020A00F2"));
    QCOMPARE(record(4, 0, QByteArray("\x00\x01", 2)), QStringLiteral(":020000040001F9"));
    QCOMPARE(record(0, 0x100, QByteArray::fromHex("214601360121470136007EFE09D21901")),
             QStringLiteral(":10010000214601360121470136007EFE09D2190140"));
}

void TestHexImage::recordCheck_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<HexRecordCheck::Kind>("kind");
    QTest::addColumn<QString>("reason");
    using K = HexRecordCheck::Kind;
    QTest::newRow("data") << ":0300300002337A1E" << K::Good << QString();
    QTest::newRow("lower case") << ":10010000214601360121470136007efe09d2190140" << K::Good << QString();
    QTest::newRow("end") << ":00000001FF" << K::Good << QString();
    QTest::newRow("offset") << ":020000020A00F2" << K::Good << QString();
    QTest::newRow("bad checksum") << ":0300300002337A1F" << K::Checksum
                                  << "checksum 1F, the record adds up to 1E";
    QTest::newRow("empty") << "" << K::Syntax << "empty line";
    QTest::newRow("no colon") << "0300300002337A1E" << K::Syntax << "does not start with ':'";
    QTest::newRow("short") << ":000000" << K::Syntax << "too short for a record (7 characters)";
    QTest::newRow("non-hex") << ":03003000023G7A1E" << K::Syntax << "character 13 is not a hex digit";
    QTest::newRow("odd digits") << ":0300300002337A1E0" << K::Syntax << "odd number of hex digits";
    QTest::newRow("length too big") << ":0400300002337A1D" << K::Syntax
                                    << "length field says 4 data bytes, the line holds 3";
    QTest::newRow("cut short") << ":0300300002337A" << K::Syntax << "length field says 3 data bytes, the line holds 2";
    QTest::newRow("unknown type") << ":00000006FA" << K::Syntax << "unknown record type 06";
    QTest::newRow("end with data") << ":01000001AA54" << K::Syntax << "record type 01 with 1 data bytes";
    QTest::newRow("trailing space") << ":00000001FF " << K::Syntax << "character 12 is not a hex digit";
}

void TestHexImage::recordCheck()
{
    QFETCH(QString, line);
    QFETCH(HexRecordCheck::Kind, kind);
    QFETCH(QString, reason);
    const HexRecordCheck c = checkHexRecord(line);
    QCOMPARE(c.kind, kind);
    QCOMPARE(c.reason, reason);
}

void TestHexImage::fileCheck_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<HexRecordCheck::Kind>("kind");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("lines");
    using K = HexRecordCheck::Kind;
    QTest::newRow("good LF") << QByteArray(":0300300002337A1E\n:00000001FF\n") << K::Good << 0 << 2;
    QTest::newRow("good CRLF") << QByteArray(":0300300002337A1E\r\n:00000001FF\r\n") << K::Good << 0 << 2;
    QTest::newRow("good CR alone") << QByteArray(":0300300002337A1E\r:00000001FF\r") << K::Good << 0 << 2;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF:0300300002337A1E\r\n:00000001FF\r\n") << K::Good << 0
                                     << 2;
    QTest::newRow("no final line end") << QByteArray(":0300300002337A1E\n:00000001FF") << K::Good << 0 << 2;
    QTest::newRow("blank after end") << QByteArray(":0300300002337A1E\n:00000001FF\n\n\n") << K::Good << 0 << 4;
    QTest::newRow("checksum line 2") << QByteArray(":020000040001F9\n:0300300002337A1F\n:00000001FF\n") << K::Checksum << 2 << 3;
    // A syntax fault later wins over an earlier checksum mismatch: the file could not go whole anyway.
    QTest::newRow("checksum then syntax")
        << QByteArray(":0300300002337A1F\n:03003000023X7A1E\n:00000001FF\n") << K::Syntax << 2 << 3;
    QTest::newRow("missing end") << QByteArray(":0300300002337A1E\n") << K::Syntax << 1 << 1;
    QTest::newRow("truncated") << QByteArray(":0300300002337A1E\n:000000") << K::Syntax << 2 << 2;
    QTest::newRow("record after end") << QByteArray(":00000001FF\n:0300300002337A1E\n") << K::Syntax << 2 << 2;
    QTest::newRow("blank inside") << QByteArray(":0300300002337A1E\n\n:00000001FF\n") << K::Syntax << 2 << 3;
    QTest::newRow("empty file") << QByteArray() << K::Syntax << 1 << 0;
    QTest::newRow("binary") << QByteArray("\x7F" "ELF\x02\x01\x01", 7) << K::Syntax << 1 << 1;
}

void TestHexImage::fileCheck()
{
    QFETCH(QByteArray, bytes);
    QFETCH(HexRecordCheck::Kind, kind);
    QFETCH(int, line);
    QFETCH(int, lines);
    const QStringList split = hexLines(bytes);
    QCOMPARE(split.size(), lines);
    const HexFileCheck c = checkHexLines(split);
    QCOMPARE(c.kind, kind);
    QCOMPARE(c.line, line);
}

void TestHexImage::readerTakesOnlyRegularFiles()
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.hex"));
    QFile f(good);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(":00000001FF\r\n");
    f.close();
    HexFileRead r = readHexFile(good);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.bytes, QByteArray(":00000001FF\r\n"));

    // A pipe would block the reader for ever.
    const QString pipe = dir.filePath(QStringLiteral("pipe.hex"));
    QVERIFY(mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    r = readHexFile(pipe);
    QVERIFY(!r.ok);
    QCOMPARE(r.error, QStringLiteral("Cannot load ") + pipe + QStringLiteral(": not a regular file"));
    r = readHexFile(dir.path());
    QVERIFY(!r.ok && r.error.contains(QStringLiteral("not a regular file")));
    // Opening an image for a flash goes through the same reader: refused at once, and said.
    RecordingOperator op;
    const ImageOpenResult opened = openImage(pipe, op);
    QCOMPARE(opened.status, ImageOpen::Unreadable);
    QCOMPARE(op.messageTexts(MessageKind::Error), QStringList{QStringLiteral("Cannot load ") + pipe + QStringLiteral(": not a regular file")});

    // Beyond the format's size: refused by name, without reading it.
    const QString big = dir.filePath(QStringLiteral("big.hex"));
    QFile b(big);
    QVERIFY(b.open(QIODevice::WriteOnly) && b.resize(maxHexFileBytes + 1));
    b.close();
    r = readHexFile(big);
    QVERIFY(!r.ok);
    QCOMPARE(r.error, QStringLiteral("Cannot load ") + big + QStringLiteral(": larger than 32 MB, not a Vork image"));
    QVERIFY(r.bytes.isEmpty());
    r = readHexFile(dir.filePath(QStringLiteral("none.hex")));
    QVERIFY(!r.ok && r.error.contains(QStringLiteral("none.hex")));
}

void TestHexImage::openRefusesOrAsks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<QString>("logLine");
    const QByteArray bad(":020000040001F9\n:0300300002337A1F\n:00000001FF\n");
    QTest::newRow("syntax refused")
        << QByteArray(":020000040001F9\n:03003000023X7A1E\n:00000001FF\n") << QList<Answer>{} << int(ImageOpen::Refused)
        << QStringList{QStringLiteral("Line 2 of img.hex is not a valid Intel HEX record: character 13 is not a hex digit - file not loaded")}
        << QStringList{}
        << "Line 2 of img.hex is not a valid Intel HEX record: character 13 is not a hex digit - file not loaded";
    QTest::newRow("checksum declined")
        << bad << QList<Answer>{Answer::No} << int(ImageOpen::Declined) << QStringList{}
        << QStringList{QStringLiteral("Line 2 of img.hex has a bad checksum (checksum 1F, the record adds up to 1E). Continue anyway?")}
        << "Bad checksum in line 2 of img.hex: not loaded at the operator's choice";
    QTest::newRow("checksum continued")
        << bad << QList<Answer>{Answer::Yes} << int(ImageOpen::Loaded) << QStringList{}
        << QStringList{QStringLiteral("Line 2 of img.hex has a bad checksum (checksum 1F, the record adds up to 1E). Continue anyway?")}
        << "Bad checksum in line 2 of img.hex: loaded anyway at the operator's choice";
    QTest::newRow("good") << QByteArray(":0300300002337A1E\n:00000001FF\n") << QList<Answer>{} << int(ImageOpen::Loaded)
                          << QStringList{} << QStringList{} << "Total Lines to Flash = 2";
}

void TestHexImage::openRefusesOrAsks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<Answer>, answers);
    QFETCH(int, status);
    QFETCH(QStringList, errors);
    QFETCH(QStringList, questions);
    QFETCH(QString, logLine);
    RecordingOperator op;
    op.answers = answers;
    const ImageOpenResult r = openImageBytes(QStringLiteral("img.hex"), bytes, op);
    QCOMPARE(int(r.status), status);
    QCOMPARE(op.messageTexts(MessageKind::Error), errors);
    QCOMPARE(op.questions, questions);
    QVERIFY2(op.logged(logLine), qPrintable(op.logs.join(QLatin1Char('\n'))));
    if (r.status == ImageOpen::Loaded)
        QCOMPARE(r.image.lines, hexLines(bytes).mid(0, r.image.lineCount()));
    else
        QVERIFY(r.image.lines.isEmpty());
}

void TestHexImage::blockPositions_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("expected");
    const QString head = blockHex.left(20);  // version, marker, readers, 0 and a digit
    const QString tail = blockHex.mid(20);
    const QString fill = QStringLiteral("00112233");
    QTest::newRow("whole in one record") << QStringList{dataLine(fill + blockHex), hexfixture::endRecord()}
                                         << "SVRK.502s.123.01052019";
    QTest::newRow("straddles, second holds the rest")
        << QStringList{dataLine(fill + head), dataLine(tail + fill), hexfixture::endRecord()} << "SVRK.502s.123.01052019";
    // The rest is spread over a third record: the next search starts at the second one.
    QTest::newRow("straddles three records")
        << QStringList{dataLine(fill + head), dataLine(tail.left(20)), dataLine(tail.mid(20)), hexfixture::endRecord()}
        << "-1";
    QTest::newRow("marker with too little after it, found a line later")
        << QStringList{dataLine(fill + blockHex.left(30)), dataLine(blockHex.mid(30) + fill), hexfixture::endRecord()}
        << "SVRK.502s.123.01052019";
    QTest::newRow("only in the last line") << QStringList{dataLine(fill), dataLine(fill + blockHex)} << "-1";
    // Without room for the three version bytes before the marker there is no whole block.
    QTest::newRow("marker at the very start")
        << QStringList{dataLine(blockHex.mid(6)), hexfixture::endRecord()} << "-1";
    QTest::newRow("odd position skipped")
        << QStringList{QStringLiteral(":00000000") + QLatin1Char('0') + blockHex + QStringLiteral("00"), hexfixture::endRecord()}
        << "-1";
    // Records shorter than 11 characters carry no data and do not join two halves.
    QTest::newRow("short line between halves")
        << QStringList{dataLine(fill + head), QStringLiteral(":0000"), dataLine(tail + fill), hexfixture::endRecord()}
        << "-1";
    QTest::newRow("no block") << hexfixture::programImage(3, 0) << "-1";
    QTest::newRow("fixture image") << hexfixture::programImage(600, 300) << "SVRK.502s.123.01052019";
}

void TestHexImage::blockPositions()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, expected);
    const BuildSearch s = contentSearch(lines);
    QVERIFY2(!s.failed(), qPrintable(s.error));
    QCOMPARE(s.buildString, expected);
    QCOMPARE(s.found, expected != QLatin1String("-1"));
}

void TestHexImage::buildStrings_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("expected");
    using hexfixture::buildBlock;
    QTest::newRow("SVRK standard") << buildBlock(QByteArray("\x05\x00\x02", 3), 1, "123", "Jan", " 5", "2019", 0) << "SVRK.502s.123.01052019";
    QTest::newRow("TVRK EIP") << buildBlock("\x03\x01\x10", 2, "405", "Dec", "31", "2020", 1) << "TVRK.3110e.405.12312020";
    QTest::newRow("MVRK no variant") << buildBlock("\x01\x02\x03", 8, "456", "Jan", "05", "2019", 8)
                                     << "MVRK.123456.01052019";
    QTest::newRow("unknown reader count") << buildBlock(QByteArray("\x05\x00\x02", 3), 4, "123", "Mar", "07", "2019", 2)
                                          << "502s.123.03072019";
    QTest::newRow("unknown month") << buildBlock(QByteArray("\x05\x00\x02", 3), 1, "123", "jan", "05", "2019", 0) << "SVRK.502s.123.";
    QTest::newRow("decimal bytes") << buildBlock("\x12\x34\x56", 1, "999", "Feb", "28", "2024", 0x11)
                                   << "SVRK.123456e.999.02282024";
}

void TestHexImage::buildStrings()
{
    QFETCH(QByteArray, block);
    QFETCH(QString, expected);
    const QStringList lines{dataLine(QStringLiteral("AABB") + QString::fromLatin1(block.toHex().toUpper())), hexfixture::endRecord()};
    const BuildSearch s = contentSearch(lines);
    QVERIFY2(!s.failed(), qPrintable(s.error));
    QCOMPARE(s.buildString, expected);
}

void TestHexImage::nonDecimalBlockByteFailsTheSearch()
{
    const QByteArray block = hexfixture::buildBlock("\x05\x0A\x02", 1, "123", "Jan", "05", "2019", 0);
    const QStringList lines{dataLine(QString::fromLatin1(block.toHex().toUpper())), hexfixture::endRecord()};
    RecordingOperator op;
    const ImageOpenResult r = openImageBytes(QStringLiteral("x.hex"), hexfixture::fileBytes(lines), op);
    QCOMPARE(r.status, ImageOpen::BadBuildBlock);
    QCOMPARE(op.messageTexts(MessageKind::Error),
             QStringList{QStringLiteral("Build information byte \"0A\" at block offset 1 is not a decimal number - file not loaded")});
    QCOMPARE(r.notes.last(), QStringLiteral("Build data not found"));
}

void TestHexImage::padding_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("sent");
    const QString twenty = QStringLiteral(":1001000021460136012");
    QTest::newRow("20 characters") << twenty << (twenty.toLatin1() + QByteArray(119, '*'));
    const QString full = record(0, 0, QByteArray(64, '\x33'));
    QTest::newRow("139 characters") << full << full.toLatin1();
    const QString longer = record(0, 0, QByteArray(80, '\x44'));
    QTest::newRow("171 characters") << longer << longer.toLatin1();
    QTest::newRow("end record") << hexfixture::endRecord() << (QByteArray(":00000001FF") + QByteArray(128, '*'));
}

void TestHexImage::padding()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, sent);
    QCOMPARE(paddedFlashLine(line), sent);
    QCOMPARE(paddedFlashLine(line).size(), qMax<qsizetype>(139, line.size()));
}

void TestHexImage::statusWord_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("dontReboot");
    QTest::addColumn<int>("final");
    QTest::addColumn<bool>("passed");
    QTest::newRow("rebooted") << "erase,sent,reboot" << false << 0x001F << true;
    QTest::newRow("don't reboot") << "erase,sent,dontReboot" << true << 0x0817 << true;
    QTest::newRow("reboot not seen") << "erase,sent,noReboot" << false << 0x181F << false;
    QTest::newRow("transfer failed") << "erase,failed" << false << 0x1C17 << false;
    QTest::newRow("transfer failed, don't reboot") << "erase,failed" << true << 0x1C17 << false;
    QTest::newRow("erase not acknowledged") << "noErase" << false << 0x1213 << false;
    QTest::newRow("no connection") << "connectFailed" << false << 0x1010 << false;
    QTest::newRow("old version after reboot") << "erase,sent,reboot,notTheImage" << false << 0x101F << false;
}

void TestHexImage::statusWord()
{
    QFETCH(QString, path);
    QFETCH(bool, dontReboot);
    QFETCH(int, final);
    QFETCH(bool, passed);
    namespace fs = flashstatus;
    std::uint16_t w = 0;
    if (path == QLatin1String("connectFailed")) {
        w = fs::connectFailed(w);
    } else {
        w = fs::rowAdded(w);
        QCOMPARE(w, std::uint16_t(0x0201));
        for (const QString &step : path.split(QLatin1Char(','))) {
            if (step == QLatin1String("erase")) {
                w = fs::eraseAcknowledged(w);
            } else if (step == QLatin1String("noErase")) {
                w = fs::eraseNotAcknowledged(w);
            } else if (step == QLatin1String("sent")) {
                w = fs::afterTransfer(fs::transferCompleted(fs::transferStarted(w)));
            } else if (step == QLatin1String("failed")) {
                w = fs::afterTransfer(fs::transferFailed(fs::transferStarted(w)));
            } else if (step == QLatin1String("reboot")) {
                w = fs::rebootSeen(w);
            } else if (step == QLatin1String("noReboot")) {
                w = fs::rebootNotSeen(w);
            } else if (step == QLatin1String("notTheImage")) {
                w = fs::notTheImage(w);
            } else if (step == QLatin1String("dontReboot")) {
                QVERIFY(fs::successful(w, true));
                w = fs::dontRebootPassed(w);
            }
        }
    }
    QCOMPARE(int(w), final);
    QCOMPARE(fs::successful(w, dontReboot) || (dontReboot && path.endsWith(QLatin1String("dontReboot"))), passed);
}

void TestHexImage::stepStates_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<QString>("states"); // steps 0..4: . none, P passed, p pending, F failed
    QTest::newRow("row added") << 0x0201 << "Pp...";
    QTest::newRow("erased") << 0x0003 << "PP...";
    QTest::newRow("erase failed") << 0x1213 << "PF..F";
    QTest::newRow("sending") << 0x0403 << "PPp..";
    QTest::newRow("transfer failed") << 0x1C17 << "PPFpF";
    QTest::newRow("rebooted") << 0x001F << "PPPPP";
    QTest::newRow("don't reboot passed") << 0x0817 << "PPPpP";
    QTest::newRow("reboot not seen") << 0x181F << "PPPFF";
}

void TestHexImage::stepStates()
{
    QFETCH(int, word);
    QFETCH(QString, states);
    QString got;
    for (int step = 0; step < flashstatus::stepCount; ++step) {
        switch (flashstatus::state(std::uint16_t(word), step)) {
        case flashstatus::StepState::None: got += QLatin1Char('.'); break;
        case flashstatus::StepState::Passed: got += QLatin1Char('P'); break;
        case flashstatus::StepState::Pending: got += QLatin1Char('p'); break;
        case flashstatus::StepState::Failed: got += QLatin1Char('F'); break;
        }
    }
    QCOMPARE(got, states);
}

void TestHexImage::commandByte_data()
{
    QTest::addColumn<FlashMode>("mode");
    QTest::addColumn<bool>("dontReboot");
    QTest::addColumn<int>("version");
    QTest::addColumn<BootLoaderChoice::Region>("region");
    QTest::addColumn<bool>("primary");
    QTest::addColumn<int>("byte");
    using R = BootLoaderChoice::Region;
    QTest::newRow("program") << FlashMode::Program << false << 300 << R::None << false << 0x46;
    QTest::newRow("program, don't reboot") << FlashMode::Program << true << 300 << R::None << false << 0x4C;
    QTest::newRow("boot below 502, B chosen") << FlashMode::BootLoader << false << 501 << R::B << true << 0x62;
    QTest::newRow("boot below 502, don't reboot") << FlashMode::BootLoader << true << 501 << R::A << false << 0x42;
    QTest::newRow("manager") << FlashMode::BootLoader << false << 502 << R::Manager << false << 0x62;
    QTest::newRow("manager, don't reboot") << FlashMode::BootLoader << true << 502 << R::Manager << false << 0x42;
    QTest::newRow("A") << FlashMode::BootLoader << false << 502 << R::A << false << 0x4F;
    QTest::newRow("A primary") << FlashMode::BootLoader << true << 502 << R::A << true << 0xCF;
    QTest::newRow("B") << FlashMode::BootLoader << true << 510 << R::B << false << 0x6F;
    QTest::newRow("B primary") << FlashMode::BootLoader << false << 502 << R::B << true << 0xEF;
}

void TestHexImage::commandByte()
{
    QFETCH(FlashMode, mode);
    QFETCH(bool, dontReboot);
    QFETCH(int, version);
    QFETCH(BootLoaderChoice::Region, region);
    QFETCH(bool, primary);
    QFETCH(int, byte);
    QCOMPARE(int(flashCommandByte(mode, dontReboot, version, {region, primary})), byte);
}

void TestHexImage::lineLimits_data()
{
    QTest::addColumn<FlashMode>("mode");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<Fitness::Verdict>("verdict");
    QTest::addColumn<QString>("said"); // the warning shown or the question asked
    const QString tooSmall = fitnesstext::programTooSmall();
    const QString tooLarge = fitnesstext::bootTooLarge();
    // An image of n lines: n - 2 data records plus the address and end records.
    QTest::newRow("program 500 refused") << FlashMode::Program << 500 << 1 << QList<Answer>{} << Fitness::Refuse << tooSmall;
    QTest::newRow("program 501 passes") << FlashMode::Program << 501 << 1 << QList<Answer>{} << Fitness::Allow << QString();
    QTest::newRow("boot 500 passes") << FlashMode::BootLoader << 500 << 1 << QList<Answer>{} << Fitness::Allow << QString();
    QTest::newRow("boot 501 asked, No") << FlashMode::BootLoader << 501 << 1 << QList<Answer>{Answer::No} << Fitness::Refuse
                                        << tooLarge;
    QTest::newRow("boot 501 asked, Yes") << FlashMode::BootLoader << 501 << 1 << QList<Answer>{Answer::Yes}
                                         << Fitness::Allow << tooLarge;
    QTest::newRow("boot to two units") << FlashMode::BootLoader << 100 << 2 << QList<Answer>{} << Fitness::Refuse
                                       << fitnesstext::bootMultiple();
}

void TestHexImage::lineLimits()
{
    QFETCH(FlashMode, mode);
    QFETCH(int, lines);
    QFETCH(int, selected);
    QFETCH(QList<Answer>, answers);
    QFETCH(Fitness::Verdict, verdict);
    QFETCH(QString, said);
    RecordingOperator op;
    op.answers = answers;
    FlashImage image = imageOf(hexfixture::programImage(lines - 2, 0), QStringLiteral("/tmp/x.hex"));
    QCOMPARE(image.lineCount(), lines);
    const udppack unit = unitWith(QStringLiteral("5.0.2"), 0, 1);
    BootLoaderChoice choice;
    const FitnessInput in{mode, selected, [](BootLoaderChoice &c) {
                              c.region = BootLoaderChoice::Region::B;
                              return true;
                          }};
    QStringList unitLines;
    const Fitness f = checkFitness(unit, in, image, unitLines, choice, op);
    QCOMPARE(f.verdict, verdict);
    const QStringList saidTexts = op.questions + op.messageTexts();
    QCOMPARE(saidTexts, said.isEmpty() ? QStringList{} : QStringList{said});
}

void TestHexImage::offsetRecordNeeded_data()
{
    QTest::addColumn<QString>("vnumber");
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("needs");
    QTest::newRow("2.4.3 model 0") << "2.4.3" << 0 << true;
    QTest::newRow("2.4.4") << "2.4.4" << 0 << false;
    QTest::newRow("2.5.3") << "2.5.3" << 0 << false;
    QTest::newRow("1.9.9 model 3") << "1.9.9" << 3 << true;
    QTest::newRow("1.9.9 model 4") << "1.9.9" << 4 << false;
    QTest::newRow("3.0.0") << "3.0.0" << 0 << false;
}

void TestHexImage::offsetRecordNeeded()
{
    QFETCH(QString, vnumber);
    QFETCH(int, model);
    QFETCH(bool, needs);
    const udppack unit = unitWith(vnumber, std::uint8_t(model), 1);
    QCOMPARE(needsOffsetRecord(unit), needs);
    if (!needs)
        return;
    // Asked, then inserted before the first ":40000000" line of the first four.
    QStringList lines = hexfixture::programImage(600, 0);
    const QString big = record(0, 0, QByteArray(64, '\x01'));
    QVERIFY(big.startsWith(QLatin1String(":40000000")));
    lines.insert(2, big);
    FlashImage image = imageOf(lines, QStringLiteral("/tmp/firmware.hex"));
    RecordingOperator op;
    op.answers = {Answer::Yes, Answer::Yes}; // the non-standard name question, the offset question
    BootLoaderChoice choice;
    QStringList unitLines;
    const Fitness f = checkFitness(unit, {FlashMode::Program, 1, {}}, image, unitLines, choice, op);
    QCOMPARE(f.verdict, Fitness::Allow);
    QCOMPARE(op.questions.last(), fitnesstext::offsetMissing());
    QCOMPARE(op.questionChoices, QList<Choices>{Choices::OkAbort}); // OK and Abort, not Yes/No/Cancel
    QCOMPARE(unitLines.at(2), offsetRecord);
    QCOMPARE(unitLines.at(3), big);
    QCOMPARE(unitLines.size(), lines.size() + 1);
    // The record is this unit's alone: the image the next unit is checked against is as opened.
    QCOMPARE(image.lines, lines);
    // Abort refuses.
    RecordingOperator op2;
    op2.answers = {Answer::Yes, Answer::No};
    QCOMPARE(checkFitness(unit, {FlashMode::Program, 1, {}}, image, unitLines, choice, op2).verdict, Fitness::Refuse);
    QCOMPARE(image.lines, lines);
}

void TestHexImage::modelChecks_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("withBlock");
    QTest::addColumn<QString>("vnumber");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("readers");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<Fitness::Verdict>("verdict");
    QTest::addColumn<QStringList>("asked");
    const QString nonStandard = fitnesstext::nonStandardFile();
    QTest::newRow("5.0.0 passes whatever the file") << "junk.hex" << false << "5.0.0" << 1 << 2 << QList<Answer>{}
                                                    << Fitness::Allow << QStringList{};
    QTest::newRow("TVRK file for one reader, 3.1.1: silent refusal")
        << "TVRK.502S.123.01052019.hex" << false << "3.1.1" << 0 << 1 << QList<Answer>{} << Fitness::Refuse << QStringList{};
    QTest::newRow("TVRK file for one reader, 3.1.0: asked")
        << "TVRK.502S.123.01052019.hex" << false << "3.1.0" << 0 << 1 << QList<Answer>{Answer::Yes} << Fitness::Allow
        << QStringList{fitnesstext::mismatch(QStringLiteral("an SVRK"), QStringLiteral("a TVRK"))};
    QTest::newRow("non-standard name, No") << "firmware.hex" << false << "3.1.0" << 0 << 1 << QList<Answer>{Answer::No}
                                          << Fitness::Refuse << QStringList{nonStandard};
    QTest::newRow("EIP file on a standard unit")
        << "SVRK.502E.123.01052019.hex" << false << "3.1.0" << 0 << 1 << QList<Answer>{Answer::Cancel}
        << Fitness::Refuse << QStringList{fitnesstext::standardWithEip()};
    QTest::newRow("standard file on an EIP unit")
        << "svrk.502s.123.01052019.hex" << false << "3.1.0" << 1 << 1 << QList<Answer>{Answer::Yes} << Fitness::Allow
        << QStringList{fitnesstext::eipWithStandard()};
    QTest::newRow("block: reader count differs, 2.9.3")
        << "x.hex" << true << "2.9.3" << 0 << 2 << QList<Answer>{Answer::No} << Fitness::Refuse
        << QStringList{fitnesstext::mismatch(QStringLiteral("a TVRK"), QStringLiteral("an SVRK"))};
    QTest::newRow("block: reader count differs, 3.1.1 not asked")
        << "x.hex" << true << "3.1.1" << 0 << 2 << QList<Answer>{} << Fitness::Allow << QStringList{};
    QTest::newRow("block: flash size mismatch")
        << "x.hex" << true << "3.0.0" << 2 << 1 << QList<Answer>{Answer::Yes} << Fitness::Allow
        << QStringList{fitnesstext::sizeMismatchQuestion()};
    QTest::newRow("block: standard on EIP unit") << "x.hex" << true << "3.0.0" << 1 << 1 << QList<Answer>{Answer::No}
                                                  << Fitness::Refuse << QStringList{fitnesstext::eipWithStandard()};
}

void TestHexImage::modelChecks()
{
    QFETCH(QString, fileName);
    QFETCH(bool, withBlock);
    QFETCH(QString, vnumber);
    QFETCH(int, model);
    QFETCH(int, readers);
    QFETCH(QList<Answer>, answers);
    QFETCH(Fitness::Verdict, verdict);
    QFETCH(QStringList, asked);
    RecordingOperator op;
    op.answers = answers;
    const FlashImage image = imageOf(hexfixture::programImage(600, withBlock ? 10 : 0), QStringLiteral("/d/") + fileName);
    QCOMPARE(image.buildData(), withBlock);
    const Fitness f = modelCheck(fileName, unitWith(vnumber, std::uint8_t(model), std::uint8_t(readers)), image, op);
    QCOMPARE(f.verdict, verdict);
    QCOMPARE(op.questions, asked);
    if (fileName == QLatin1String("x.hex") && model == 2)
        QCOMPARE(op.messageTexts(MessageKind::Warning), QStringList{fitnesstext::sizeMismatch()});
}

void TestHexImage::versionAlreadyPresent()
{
    FlashImage image = imageOf(hexfixture::programImage(600, 10), QStringLiteral("/fw/svrk.502s.123.01052019.hex"));
    const udppack unit = unitWith(QStringLiteral("5.0.2"), 0, 1);
    for (const Answer a : {Answer::No, Answer::Cancel, Answer::Yes}) {
        RecordingOperator op;
        op.answers = {a};
        BootLoaderChoice choice;
        QStringList unitLines;
        const Fitness f = checkFitness(unit, {FlashMode::Program, 1, {}}, image, unitLines, choice, op);
        QCOMPARE(op.questions, QStringList{QStringLiteral("Version 5.0.2 is already on this unit. Continue anyway?")});
        QCOMPARE(f.verdict, a == Answer::Yes ? Fitness::Allow : Fitness::Skip);
    }
}

void TestHexImage::independentToolImage()
{
    const QString srecCat = QStandardPaths::findExecutable(QStringLiteral("srec_cat"));
    if (srecCat.isEmpty())
        QSKIP("srec_cat (Debian package srecord) is not installed: no independent HEX tool to check against");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A binary with the build block at byte 1024, written out as Intel HEX by srec_cat.
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 13) & 0x7F);
    binary.replace(1024, 27, hexfixture::standardBlock());
    const QString bin = dir.filePath(QStringLiteral("image.bin"));
    const QString hex = dir.filePath(QStringLiteral("image.hex"));
    QFile f(bin);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(binary);
    f.close();
    QProcess p;
    p.start(srecCat, {bin, QStringLiteral("-binary"), QStringLiteral("-o"), hex, QStringLiteral("-intel"),
                      QStringLiteral("-output_block_size=16"), QStringLiteral("-disable=header")});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 0);
    QFile h(hex);
    QVERIFY(h.open(QIODevice::ReadOnly));
    const QByteArray bytes = h.readAll();
    RecordingOperator op;
    const ImageOpenResult r = openImageBytes(hex, bytes, op);
    QCOMPARE(r.status, ImageOpen::Loaded);
    // 4096 bytes in records of 16, the end record (srec_cat may add an address record).
    const int dataRecords = int(r.image.lines.filter(QRegularExpression(QStringLiteral("^:10"))).size());
    QCOMPARE(dataRecords, 256);
    QCOMPARE(r.image.lines.last(), QStringLiteral(":00000001FF"));
    QCOMPARE(r.image.build.buildString, QStringLiteral("SVRK.502s.123.01052019"));

    // Corrupted copies: a checksum, a non-hex character, no end record, cut short.
    QStringList lines = hexLines(bytes);
    QString badSum = lines.at(5);
    badSum[badSum.size() - 1] = badSum.at(badSum.size() - 1) == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    QStringList withBadSum = lines;
    withBadSum[5] = badSum;
    RecordingOperator asked;
    asked.answers = {Answer::No};
    QCOMPARE(openImageBytes(hex, hexfixture::fileBytes(withBadSum), asked).status, ImageOpen::Declined);
    QCOMPARE(asked.questions.size(), 1);
    QVERIFY(asked.questions.first().startsWith(QStringLiteral("Line 6 of ")));

    QStringList nonHex = lines;
    nonHex[7][12] = QLatin1Char('Z');
    QStringList noEnd = lines;
    noEnd.removeLast();
    const QByteArray cut = bytes.left(bytes.size() / 2);
    const QList<QPair<QByteArray, QString>> refused{{hexfixture::fileBytes(nonHex), QStringLiteral("Line 8 of ")},
                                                     {hexfixture::fileBytes(noEnd), QStringLiteral("Line ")},
                                                     {cut, QStringLiteral("Line ")}};
    for (const auto &[b, start] : refused) {
        RecordingOperator o;
        QCOMPARE(openImageBytes(hex, b, o).status, ImageOpen::Refused);
        QCOMPARE(o.messageTexts(MessageKind::Error).size(), 1);
        QVERIFY2(o.messageTexts(MessageKind::Error).first().startsWith(start), qPrintable(o.messageTexts().join(QLatin1Char(';'))));
        QVERIFY(o.questions.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestHexImage)
#include "tst_heximage.moc"
