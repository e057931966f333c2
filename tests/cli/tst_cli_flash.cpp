// vork hex info and vork flash against simulated units on loopback: what each unit
// received, what the tool says on stdout and stderr, and its exit status.
#include "clirun.h"
#include "flash/flashfitness.h"
#include "flash/heximage.h"
#include "simfleet.h"
#include "simunitserver.h"
#include "../flash/hexfixture.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace vork;
using namespace vork::clitest;

namespace {

class Fleet
{
public:
    explicit Fleet(const QList<sim::SimUnit> &units)
    {
        for (const sim::SimUnit &u : units)
            fleet.add(u);
        QString error;
        started = fleet.start({}, &error);
        if (!started)
            qWarning("%s", qPrintable(error));
    }
    sim::SimFleet fleet;
    bool started = false;
};


QString writeImage(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

sim::SimUnit cliFlashUnit(int i)
{
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(QStringLiteral("127.0.23.%1").arg(i + 2)));
    u.version = {3, 0, 0};
    u.model = 0;
    u.readers = 1;
    u.restartSilenceMs = 300;
    u.flash.eraseMs = 20;
    return u;
}

QByteArray wire(const QStringList &lines)
{
    QByteArray out;
    for (const QString &l : lines)
        out += paddedFlashLine(l);
    return out;
}


} // namespace

class TestCliFlash : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hexInfo_data();
    void hexInfo();
    void flashUnits_data();
    void flashUnits();
    void flashRefusesUnfitUnits();
    void flashBadChecksumDeclined();
    void offsetRecordGoesOnlyToTheUnitThatNeedsIt();
    void abortListsTheUnitsNotReached();
};

void TestCliFlash::hexInfo_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    const QStringList good = hexfixture::programImage(600, 2);
    QTest::newRow("good") << hexfixture::fileBytes(good) << 0
                          << "build: SVRK.502s.123.01052019\nlines: 602\nvalid: yes\n";
    QStringList badSum = good;
    const bool endsInZeros = badSum.at(3).endsWith(QLatin1String("00"));
    badSum[3].chop(2);
    badSum[3] += endsInZeros ? QStringLiteral("01") : QStringLiteral("00");
    const QString sumReason = checkHexRecord(badSum.at(3)).reason;
    QTest::newRow("bad checksum") << hexfixture::fileBytes(badSum) << 5
                                  << QStringLiteral("build: SVRK.502s.123.01052019\nlines: 602\nvalid: no (line 4: bad ") + sumReason
                                         + QStringLiteral(")\n");
    QStringList noEnd = good;
    noEnd.removeLast();
    QTest::newRow("no end record") << hexfixture::fileBytes(noEnd) << 5
                                   << "build: SVRK.502s.123.01052019\nlines: 601\nvalid: no (line 601: no end-of-file "
                                      "record (the file may be cut short))\n";
}

void TestCliFlash::hexInfo()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QString, out);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Run r = runVork({QStringLiteral("hex"), QStringLiteral("info"), writeImage(dir, QStringLiteral("a.hex"), bytes)});
    QVERIFY2(r.status == status, qPrintable(printable(r)));
    QCOMPARE(r.out, out);
}

void TestCliFlash::flashUnits_data()
{
    QTest::addColumn<bool>("badSecond");
    QTest::addColumn<bool>("reboot");
    QTest::newRow("both pass, don't reboot") << false << false;
    QTest::newRow("both pass, reboot") << false << true;
    QTest::newRow("second refuses a line") << true << false;
}

void TestCliFlash::flashUnits()
{
    QFETCH(bool, badSecond);
    QFETCH(bool, reboot);
    sim::SimUnit second = cliFlashUnit(1);
    if (badSecond)
        second.flash.nakLine = 2;
    Fleet f({cliFlashUnit(0), second});
    QVERIFY(f.started);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeImage(dir, QStringLiteral("image.hex"), hexfixture::fileBytes(hexfixture::programImage(600, 2)));
    QStringList args{QStringLiteral("flash"), QStringLiteral("--no-ping"), path, QStringLiteral("127.0.23.2"),
                     QStringLiteral("127.0.23.3")};
    if (!reboot)
        args << QStringLiteral("--dont-reboot");
    const Run r = runVork(args, 60000);
    QVERIFY2(r.status == (badSecond ? 1 : 0), qPrintable(printable(r)));
    QVERIFY2(r.out.startsWith(QStringLiteral("Image ") + path + QStringLiteral(": 602 lines, build SVRK.502s.123.01052019\n")),
             qPrintable(r.out));
    const QString version = reboot ? QStringLiteral(" Version 5.0.2 Build Date 05-JAN-2019 ***")
                                   : QStringLiteral(" Version 3.0.0 Build Date 07-MAR-2019 ***");
    QVERIFY2(r.out.contains(QStringLiteral("*** Flash Completed Successfully for 127.0.23.2") + version), qPrintable(r.out));
    QCOMPARE(r.out.contains(QStringLiteral("*** Flash Completed Successfully for 127.0.23.3") + version), !badSecond);
    QCOMPARE(r.out.contains(QStringLiteral(" *** Flash Failed for 127.0.23.3 ***")), badSecond);
    // stderr is no terminal: no progress bar, only the failure's reason.
    QVERIFY(!r.err.contains(QLatin1Char('#')));
    // The reason names the line that failed.
    QCOMPARE(r.err, badSecond ? QStringLiteral("vork flash: Vork Unit 127.0.23.3 failed: Line 2 nacked 11 times\n")
                              : QString());
    // The summary's own tabs stay tabs.
    static const QRegularExpression erased(QStringLiteral("\n\t\\d\\d:\\d\\d:\\d\\d [AP]M Erase Complete\n"));
    QVERIFY2(r.out.contains(erased), qPrintable(r.out));
    QVERIFY(!r.out.contains(QLatin1String("\\x09")));
    QCOMPARE(f.fleet.server(0).tcp().received().count(QByteArray("*")) > 0, true);
}

void TestCliFlash::flashRefusesUnfitUnits()
{
    Fleet f({cliFlashUnit(0), cliFlashUnit(1)});
    QVERIFY(f.started);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeImage(dir, QStringLiteral("boot.hex"), hexfixture::fileBytes(hexfixture::programImage(100, 0)));
    const Run r = runVork({QStringLiteral("flash"), QStringLiteral("--no-ping"), QStringLiteral("--boot-loader"),
                           QStringLiteral("b"), path, QStringLiteral("127.0.23.2"), QStringLiteral("127.0.23.3")});
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    const QString reason = QStringLiteral(" refused: The boot loader program is created for a specific unit and cannot be "
                                          "flashed to multiple units.");
    QVERIFY2(r.err.contains(QStringLiteral("vork flash: Vork Unit 127.0.23.2") + reason), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("vork flash: Vork Unit 127.0.23.3") + reason), qPrintable(r.err));
    // Nothing went to either unit.
    QVERIFY(f.fleet.server(0).tcp().received().isEmpty());
    QVERIFY(f.fleet.server(1).tcp().received().isEmpty());
}

void TestCliFlash::flashBadChecksumDeclined()
{
    Fleet f({cliFlashUnit(0)});
    QVERIFY(f.started);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList lines = hexfixture::programImage(600, 2);
    lines[1] = QStringLiteral(":0300300002337A1F");
    const QString path = writeImage(dir, QStringLiteral("bad.hex"), hexfixture::fileBytes(lines));
    const Run r = runVork({QStringLiteral("flash"), QStringLiteral("--no-ping"), path, QStringLiteral("127.0.23.2")});
    QVERIFY2(r.status == 4, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(QStringLiteral("Line 2 of ") + path + QStringLiteral(" has a bad checksum")), qPrintable(r.err));
    QVERIFY(f.fleet.server(0).tcp().received().isEmpty());
    // A record that is no record at all is refused without a question.
    lines[1] = QStringLiteral(":03003000023X7A1E");
    const QString worse = writeImage(dir, QStringLiteral("worse.hex"), hexfixture::fileBytes(lines));
    const Run r2 = runVork({QStringLiteral("flash"), QStringLiteral("--no-ping"), worse, QStringLiteral("127.0.23.2")});
    QVERIFY2(r2.status == 5, qPrintable(printable(r2)));
    QVERIFY2(r2.err.contains(QStringLiteral("Line 2 of ") + worse + QStringLiteral(" is not a valid Intel HEX record")),
             qPrintable(r2.err));
}

void TestCliFlash::offsetRecordGoesOnlyToTheUnitThatNeedsIt()
{
    // Three generations in one run, the one that needs the offset record in the middle.
    QList<sim::SimUnit> units{cliFlashUnit(0), cliFlashUnit(1), cliFlashUnit(2)};
    units[0].version = {3, 1, 7};
    units[1].version = {2, 4, 3};
    units[2].version = {5, 0, 2};
    Fleet f(units);
    QVERIFY(f.started);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList lines = hexfixture::programImage(600, 2);
    lines.insert(1, hexfixture::record(0, 0, QByteArray(64, '\x01')));
    const QString path = writeImage(dir, QStringLiteral("image.hex"), hexfixture::fileBytes(lines));
    const Run r = runVork({QStringLiteral("flash"), QStringLiteral("--no-ping"), QStringLiteral("--yes"),
                           QStringLiteral("--dont-reboot"), path, QStringLiteral("127.0.23.2"), QStringLiteral("127.0.23.3"),
                           QStringLiteral("127.0.23.4")},
                          60000);
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QStringList withOffset = lines;
    withOffset.insert(1, offsetRecord);
    for (int i = 0; i < 3; ++i) {
        const QByteArray expected = QByteArray("L") + wire(i == 1 ? withOffset : lines) + QByteArray("C");
        QVERIFY2(withoutLogin(f.fleet.server(i).tcp().received()) == expected, qPrintable(QStringLiteral("unit %1").arg(i)));
    }
}

void TestCliFlash::abortListsTheUnitsNotReached()
{
    Fleet f({cliFlashUnit(0), cliFlashUnit(1), cliFlashUnit(2)});
    QVERIFY(f.started);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeImage(dir, QStringLiteral("image.hex"), hexfixture::fileBytes(hexfixture::programImage(600, 2)));
    bool interrupted = false;
    // Ctrl+C once the first unit's lines are going out (100 ms a line: the run is far from done).
    const Run r = runVork({QStringLiteral("flash"), QStringLiteral("--no-ping"), QStringLiteral("--dont-reboot"),
                           QStringLiteral("--speed"), QStringLiteral("fast"), path, QStringLiteral("127.0.23.2"),
                           QStringLiteral("127.0.23.3"), QStringLiteral("127.0.23.4")},
                          60000, [&](QProcess &p) {
                              if (!interrupted && f.fleet.server(0).tcp().received().count('*') > 500) {
                                  interrupted = true;
                                  ::kill(pid_t(p.processId()), SIGINT);
                              }
                          });
    QVERIFY(interrupted);
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(QStringLiteral("vork flash: Vork Unit 127.0.23.2 failed: Flash Aborted by user")), qPrintable(r.err));
    for (const char *ip : {"127.0.23.3", "127.0.23.4"}) {
        const QString line = QStringLiteral("Vork Unit ") + QString::fromLatin1(ip) + QStringLiteral(" not flashed: run aborted");
        QVERIFY2(r.err.contains(QStringLiteral("vork flash: ") + line + QLatin1Char('\n')), qPrintable(r.err));
        QVERIFY2(r.out.contains(line), qPrintable(r.out)); // in the summary too
    }
    QVERIFY(f.fleet.server(1).tcp().received().isEmpty());
    QVERIFY(f.fleet.server(2).tcp().received().isEmpty());
}

QTEST_GUILESS_MAIN(TestCliFlash)
#include "tst_cli_flash.moc"
