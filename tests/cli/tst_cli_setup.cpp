// vork setup put / set / get / diff and clock zone changes against simulated
// units: what is refused before anything is sent, the unit password, masked
// secrets and the comparison's answer.
#include "clirun.h"
#include "core/boundedwait.h"
#include "setup/setuprecord.h"
#include "simfleet.h"
#include "simunitserver.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace vork;
using clitest::printable;
using clitest::Run;
using clitest::runProgram;

namespace {

// Every setup command here runs without the ping first.
Run runVork(QStringList args, int ms = 30000)
{
    args.insert(args.first() == QLatin1String("setup") ? 2 : 1, QStringLiteral("--no-ping"));
    return runProgram(QStringLiteral(VORK_EXE), args, ms);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// One unit on address, started.
struct OneUnit
{
    explicit OneUnit(const QString &address, std::array<std::uint8_t, 3> version = {5, 0, 1})
    {
        sim::SimUnit u = sim::demoUnit(0, QHostAddress(address));
        u.version = version;
        fleet.add(u);
        started = fleet.start({}, &error);
    }
    sim::SimUnitServer &unit() { return fleet.server(0); }
    setuppack record() { return setuppack(unit().setupRecord()); }
    bool downloaded()
    {
        for (const auto &c : unit().tcp().commands())
            if (c.byte == std::uint8_t('D'))
                return true;
        return false;
    }
    sim::SimFleet fleet;
    bool started = false;
    QString error;
};

} // namespace

class TestCliSetup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void putRefusesFilesAUnitCannotTake_data();
    void putRefusesFilesAUnitCannotTake();
    void setRefusesWhatCannotBeStored_data();
    void setRefusesWhatCannotBeStored();
    void setTakesWhatTheEditorTakes();
    void aProtectedUnitNeedsItsPassword();
    void diffAnswersAsDiffDoes();
};

void TestCliSetup::putRefusesFilesAUnitCannotTake_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::newRow("empty") << QByteArray() << "0 bytes is not the length of a configuration file";
    QTest::newRow("10 bytes") << QByteArray(10, '\1') << "10 bytes is not the length";
    QTest::newRow("1 MB") << QByteArray(1024 * 1024, '\0') << "1048576 bytes is not the length";
    // A random record: the first field out of its values is named.
    QByteArray random(239, '\0');
    for (int i = 0; i < random.size(); ++i)
        random[i] = char((i * 37 + 11) & 0xFF);
    random[0] = 1;
    QTest::newRow("random 239 bytes") << random << "nmode holds";
}

void TestCliSetup::putRefusesFilesAUnitCannotTake()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    static int row = 0;
    const QString address = QStringLiteral("127.0.34.") + QString::number(2 + row++);
    OneUnit u(address);
    QVERIFY2(u.started, qPrintable(u.error));
    const QByteArray before = u.unit().setupRecord();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.vork"));
    QVERIFY(writeFile(path, content));
    const Run r = runVork({QStringLiteral("setup"), QStringLiteral("put"), QStringLiteral("--yes"), address, path});
    QVERIFY2(r.status == 2, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(error) && r.err.contains(path), qPrintable(printable(r)));
    QVERIFY(u.unit().tcp().commands().isEmpty());
    QCOMPARE(u.unit().setupRecord(), before);
}

void TestCliSetup::setRefusesWhatCannotBeStored_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QList<int>>("version");
    QTest::addColumn<QString>("error");
    const QList<int> v501{5, 0, 1};
    QTest::newRow("password of 9") << QStringList{QStringLiteral("pw=123456789")} << v501
                                   << "Maximum password length is 8 characters.";
    QTest::newRow("protection without a password")
        << QStringList{QStringLiteral("pwp=1")} << v501 << "To password protect, you must enter a password.";
    QTest::newRow("description of 64") << QStringList{QStringLiteral("desc=") + QString(64, QLatin1Char('d'))}
                                       << v501 << "desc takes at most 63 characters; 64 given";
    QTest::newRow("a character the record cannot hold")
        << QStringList{QStringLiteral("desc=Caf\u00e9")} << v501 << "desc takes printable ASCII characters only";
    QTest::newRow("ethp below 5.0.0") << QStringList{QStringLiteral("ethp=2")} << QList<int>{4, 9, 9}
                                      << "this unit's record has no ethp";
    QTest::newRow("ASCII address 10000")
        << QStringList{QStringLiteral("cpro=0"), QStringLiteral("caddr=10000")} << v501
        << "Invalid Reader Address for ASCII Mode. Valid Range is 1-9999 Decimal.";
    QTest::newRow("Classic address 300")
        << QStringList{QStringLiteral("cpro=1"), QStringLiteral("caddr=300")} << v501
        << "Invalid Reader Address for Classic Mode. Valid Range is 1-255 Decimal.";
    QTest::newRow("retry count 0 with an interval")
        << QStringList{QStringLiteral("nka=30"), QStringLiteral("nkar=0")} << v501
        << "Invalid Keep Alive Retry Count. Valid Range is 1-255 Decimal.";
}

void TestCliSetup::setRefusesWhatCannotBeStored()
{
    QFETCH(QStringList, fields);
    QFETCH(QList<int>, version);
    QFETCH(QString, error);
    static int row = 0;
    const QString address = QStringLiteral("127.0.35.") + QString::number(2 + row++);
    OneUnit u(address, {std::uint8_t(version[0]), std::uint8_t(version[1]), std::uint8_t(version[2])});
    QVERIFY2(u.started, qPrintable(u.error));
    const QByteArray before = u.unit().setupRecord();
    const Run r = runVork(QStringList{QStringLiteral("setup"), QStringLiteral("set"), QStringLiteral("--yes"), address}
                          + fields);
    QVERIFY2(r.status == 2, qPrintable(printable(r)));
    QVERIFY2(r.err.contains(error), qPrintable(printable(r)));
    QVERIFY2(!r.out.contains(QStringLiteral("Configuration File Saved")), qPrintable(printable(r)));
    QVERIFY(!u.downloaded());
    QCOMPARE(u.unit().setupRecord(), before);
}

void TestCliSetup::setTakesWhatTheEditorTakes()
{
    // The retry count counts only with an interval; an update frequency of 0 is stored as 1.
    const QString address = QStringLiteral("127.0.36.2");
    OneUnit u(address);
    QVERIFY2(u.started, qPrintable(u.error));
    const Run r = runVork({QStringLiteral("setup"), QStringLiteral("set"), QStringLiteral("--yes"), address,
                           QStringLiteral("nka=0"), QStringLiteral("nkar=0"), QStringLiteral("ntsuf=0"),
                           QStringLiteral("desc=") + QString(63, QLatin1Char('x'))});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    const setuppack stored = u.record();
    QCOMPARE(stored.nkar(), std::uint8_t(0));
    QCOMPARE(stored.ntsuf(), 1u);
    QCOMPARE(stored.desc(), QString(63, QLatin1Char('x')));
}

void TestCliSetup::aProtectedUnitNeedsItsPassword()
{
    const QString address = QStringLiteral("127.0.36.3");
    OneUnit u(address);
    QVERIFY2(u.started, qPrintable(u.error));
    setuppack protectedRecord = u.record();
    protectedRecord.setPwp(true);
    protectedRecord.setPw(QStringLiteral("s3cret"));
    u.unit().setSetupRecord(protectedRecord.bytes());
    QTemporaryDir dir;
    const QString wrong = dir.filePath(QStringLiteral("wrong"));
    const QString right = dir.filePath(QStringLiteral("right"));
    QVERIFY(writeFile(wrong, "secret\n"));
    QVERIFY(writeFile(right, "s3cret\n"));

    // A file without protection over a protected unit: the unit's own record decides.
    const QString file = dir.filePath(QStringLiteral("open.vork"));
    setuppack open = protectedRecord;
    open.setPwp(false);
    open.setPw(QString());
    open.setDesc(QStringLiteral("Taken over"));
    QVERIFY(writeFile(file, open.prefix(238)));

    const QList<QStringList> downloads = {
        {QStringLiteral("setup"), QStringLiteral("set"), QStringLiteral("--yes"), address, QStringLiteral("desc=New")},
        {QStringLiteral("setup"), QStringLiteral("put"), QStringLiteral("--yes"), address, file},
        {QStringLiteral("clock"), QStringLiteral("--zone"), QStringLiteral("12"), address},
    };
    for (const QStringList &args : downloads) {
        // No password and no terminal, then a wrong one: refused, nothing sent.
        Run r = runVork(args);
        QVERIFY2(r.status == 4, qPrintable(printable(r)));
        QVERIFY2(r.err.contains(QStringLiteral("password protected")), qPrintable(printable(r)));
        r = runVork(args + QStringList{QStringLiteral("--password-file"), wrong});
        QVERIFY2(r.status == 4, qPrintable(printable(r)));
        QVERIFY2(r.err.contains(QStringLiteral("Entered password does not match saved password")),
                 qPrintable(printable(r)));
        QVERIFY(!u.downloaded());
        QCOMPARE(u.unit().setupRecord(), protectedRecord.bytes());
    }
    // The right one lets it go.
    Run r = runVork(downloads.at(0) + QStringList{QStringLiteral("--password-file"), right});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QCOMPARE(u.record().desc(), QStringLiteral("New"));

    // The password is masked unless asked for, in text, JSON and a diff.
    r = runVork({QStringLiteral("setup"), QStringLiteral("get"), address});
    QVERIFY2(r.status == 0 && r.out.contains(QStringLiteral("\npw: ********\n")) && !r.out.contains(QStringLiteral("s3cret")),
             qPrintable(printable(r)));
    r = runVork({QStringLiteral("setup"), QStringLiteral("get"), QStringLiteral("--json"), address});
    QVERIFY2(r.status == 0 && r.out.contains(QStringLiteral("\"pw\": \"********\"")) && !r.out.contains(QStringLiteral("s3cret")),
             qPrintable(printable(r)));
    r = runVork({QStringLiteral("setup"), QStringLiteral("get"), QStringLiteral("--show-password"), address});
    QVERIFY2(r.status == 0 && r.out.contains(QStringLiteral("\npw: s3cret\n")), qPrintable(printable(r)));
    const QString saved = dir.filePath(QStringLiteral("saved.vork"));
    r = runVork({QStringLiteral("setup"), QStringLiteral("get"), QStringLiteral("--out"), saved, address});
    QVERIFY2(r.status == 0, qPrintable(printable(r)));
    QCOMPARE(QFileInfo(saved).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
             QFileDevice::Permissions());
    r = runVork({QStringLiteral("setup"), QStringLiteral("diff"), file, address});
    QVERIFY2(r.out.contains(QStringLiteral("pw:  -> ********\n")) && !r.out.contains(QStringLiteral("s3cret")),
             qPrintable(printable(r)));
}

void TestCliSetup::diffAnswersAsDiffDoes()
{
    QTemporaryDir dir;
    const QString address = QStringLiteral("127.0.36.4");
    OneUnit u(address, {5, 0, 2});
    QVERIFY2(u.started, qPrintable(u.error));
    const setuppack record = u.record();
    const QString same = dir.filePath(QStringLiteral("same.vork"));
    const QString other = dir.filePath(QStringLiteral("other.vork"));
    const QString older = dir.filePath(QStringLiteral("older.vork"));
    QVERIFY(writeFile(same, record.prefix(239)));
    setuppack changed = record;
    changed.setDesc(QStringLiteral("Changed"));
    QVERIFY(writeFile(other, changed.prefix(239)));
    QVERIFY(writeFile(older, record.prefix(229)));

    Run r = runVork({QStringLiteral("setup"), QStringLiteral("diff"), same, address});
    QVERIFY2(r.status == 0 && r.out.isEmpty(), qPrintable(printable(r)));
    r = runVork({QStringLiteral("setup"), QStringLiteral("diff"), other, address});
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    QVERIFY(r.out.startsWith(QStringLiteral("desc: Changed -> ")));
    // The shorter side says what it lacks.
    r = runVork({QStringLiteral("setup"), QStringLiteral("diff"), older, same});
    QVERIFY2(r.status == 1, qPrintable(printable(r)));
    QCOMPARE(r.out, QStringLiteral("A lacks (229 bytes): tenths, rcmd, logRA, minB1, minB2, ethp, uats, firewall, "
                                   "eipDiags, ncp\n"));
    // Trouble is 2, never 1.
    r = runVork({QStringLiteral("setup"), QStringLiteral("diff"), same, dir.filePath(QStringLiteral("none.vork"))});
    QVERIFY2(r.status == 2, qPrintable(printable(r)));
    r = runVork({QStringLiteral("setup"), QStringLiteral("diff"), same, QStringLiteral("127.0.36.250"),
                 QStringLiteral("--wait"), QStringLiteral("200")});
    QVERIFY2(r.status == 2, qPrintable(printable(r)));
}

QTEST_GUILESS_MAIN(TestCliSetup)
#include "tst_cli_setup.moc"
