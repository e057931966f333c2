// Command-line colours, demo options and theme texts.
#include "app/startoptions.h"
#include "core/version.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace vork;

class TestStartOptions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void modelColours_data();
    void modelColours();
    void demoOptions();
    void themes_data();
    void themes();
    void commandLine_data();
    void commandLine();
    void programCommandLine_data();
    void programCommandLine();
};

void TestStartOptions::modelColours_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<qlonglong>("std"); // -1: not set
    QTest::addColumn<qlonglong>("eip");
    QTest::addColumn<int>("notes");
    QTest::newRow("decimal, separate") << QStringList{QStringLiteral("-STD"), QStringLiteral("255")} << 255LL << -1LL << 0;
    QTest::newRow("hex, joined") << QStringList{QStringLiteral("-EIP$00FF00")} << -1LL << 0xFF00LL << 0;
    QTest::newRow("both") << QStringList{QStringLiteral("-STD16711680"), QStringLiteral("-EIP"), QStringLiteral("$FF")}
                          << 16711680LL << 255LL << 0;
    QTest::newRow("malformed number") << QStringList{QStringLiteral("-STD"), QStringLiteral("red")} << -1LL << -1LL << 1;
    QTest::newRow("bad hex") << QStringList{QStringLiteral("-EIP$GG")} << -1LL << -1LL << 1;
    QTest::newRow("too large") << QStringList{QStringLiteral("-EIP"), QStringLiteral("$1000000")} << -1LL << -1LL << 1;
    QTest::newRow("missing number") << QStringList{QStringLiteral("-STD")} << -1LL << -1LL << 1;
}

void TestStartOptions::modelColours()
{
    QFETCH(QStringList, args);
    QFETCH(qlonglong, std);
    QFETCH(qlonglong, eip);
    QFETCH(int, notes);
    const StartOptions o = parseStartOptions(args);
    QCOMPARE(o.stdColor ? qlonglong(*o.stdColor) : -1LL, std);
    QCOMPARE(o.eipColor ? qlonglong(*o.eipColor) : -1LL, eip);
    QCOMPARE(o.notes.size(), notes);
}

void TestStartOptions::demoOptions()
{
    const StartOptions o = parseStartOptions({QStringLiteral("--settings"), QStringLiteral("/tmp/demo.ini"),
                                              QStringLiteral("--targets"), QStringLiteral("127.0.0.2,nonsense,127.0.0.3")});
    QCOMPARE(o.settingsPath, QStringLiteral("/tmp/demo.ini"));
    QCOMPARE(o.targets, (QStringList{QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3")}));
    QCOMPARE(o.notes.size(), 1);
}

void TestStartOptions::themes_data()
{
    QTest::addColumn<QString>("theme");
    QTest::addColumn<QString>("error");
    QTest::addColumn<uint>("fixed");
    QTest::addColumn<bool>("bold");
    QTest::newRow("default") << "$000000,$FFFFFF,$80FF00,$804000,$FFFFFF,1,1,1,0" << "" << 0x804000u << false;
    QTest::newRow("theme 2") << "$000000,$FFFFFF,$80FF00,$0000A6,$FFFFFF,1,1,1,1" << "" << 0xA6u << true;
    QTest::newRow("empty") << "" << "Invalid Theme - no values found" << 8404992u << false;
    QTest::newRow("short") << "$000000,$FFFFFF,1" << "Theme does not have enough parameters - aborting" << 8404992u << false;
}

void TestStartOptions::themes()
{
    QFETCH(QString, theme);
    QFETCH(QString, error);
    QFETCH(uint, fixed);
    QFETCH(bool, bold);
    GridColors c;
    QCOMPARE(parseTheme(theme, c), error);
    QCOMPARE(c.GridFixed, StoredColor(fixed));
    QCOMPARE(c.GridBold, bold);
    if (error.isEmpty()) {
        QCOMPARE(c.GridMark, StoredColor(0x80FF00));
        QVERIFY(c.GridLines && c.ShowBox && c.GridHeaderBold);
    }
}

void TestStartOptions::commandLine_data()
{
    using A = StartOptions::Action;
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("settings");
    const auto l = [](std::initializer_list<const char *> items) {
        QStringList out;
        for (const char *i : items)
            out << QString::fromLatin1(i);
        return out;
    };
    QTest::newRow("nothing") << QStringList() << int(A::Start) << QString() << QString();
    QTest::newRow("help") << l({"--help"}) << int(A::Help) << QString() << QString();
    QTest::newRow("short help") << l({"-h"}) << int(A::Help) << QString() << QString();
    QTest::newRow("version") << l({"--version"}) << int(A::Version) << QString() << QString();
    QTest::newRow("help wins over version") << l({"--version", "--help"}) << int(A::Help) << QString() << QString();
    QTest::newRow("help wins over an unknown option")
        << l({"-platform", "offscreen", "--help"}) << int(A::Help) << QStringLiteral("unknown option \"-platform\"")
        << QString();
    QTest::newRow("misspelt option") << l({"--setings", "/tmp/x.ini"}) << int(A::Refuse)
                                     << QStringLiteral("unknown option \"--setings\"") << QString();
    QTest::newRow("first error is told") << l({"--bogus", "--worse"}) << int(A::Refuse)
                                         << QStringLiteral("unknown option \"--bogus\"") << QString();
    QTest::newRow("stray argument") << l({"Vork.ini"}) << int(A::Refuse)
                                    << QStringLiteral("unexpected argument \"Vork.ini\"") << QString();
    QTest::newRow("settings without a file") << l({"--settings"}) << int(A::Refuse)
                                             << QStringLiteral("option --settings needs a file") << QString();
    QTest::newRow("settings with equals") << l({"--settings=/tmp/a.ini"}) << int(A::Start) << QString()
                                          << QStringLiteral("/tmp/a.ini");
    QTest::newRow("file named like an option") << l({"--settings", "--help"}) << int(A::Start) << QString()
                                               << QStringLiteral("--help");
    QTest::newRow("targets without a list") << l({"--targets"}) << int(A::Refuse)
                                            << QStringLiteral("option --targets needs a list of addresses") << QString();
    QTest::newRow("colours and settings") << l({"-std", "255", "-EIP$FF", "--settings", "/tmp/b.ini"}) << int(A::Start)
                                          << QString() << QStringLiteral("/tmp/b.ini");
    QTest::newRow("colour without number before an option")
        << l({"-STD", "--settings", "/tmp/c.ini"}) << int(A::Start) << QString() << QStringLiteral("/tmp/c.ini");
}

void TestStartOptions::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, action);
    QFETCH(QString, error);
    QFETCH(QString, settings);
    const StartOptions o = parseStartOptions(args);
    QCOMPARE(int(o.action), action);
    QCOMPARE(o.error, error);
    QCOMPARE(o.settingsPath, settings);
}

void TestStartOptions::programCommandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0
                          << QByteArray("Usage: Brivella_Utility [options]\n") << QByteArray();
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0
                             << QByteArray("Brivella_Utility " + ProgramVersion::current().text().toLatin1() + '\n')
                             << QByteArray();
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--setings"), QStringLiteral("x.ini")} << 2
                                    << QByteArray()
                                    << QByteArray("Brivella_Utility: unknown option \"--setings\"\n"
                                                  "Try \"Brivella_Utility --help\".\n");
    QTest::newRow("stray argument") << QStringList{QStringLiteral("x.ini")} << 2 << QByteArray()
                                    << QByteArray("Brivella_Utility: unexpected argument \"x.ini\"\n"
                                                  "Try \"Brivella_Utility --help\".\n");
}

void TestStartOptions::programCommandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("Vork.ini"));
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    // With a settings file: had the program started, it would write it at exit.
    p.start(QStringLiteral(BRIVELLA_EXE), QStringList{QStringLiteral("--settings"), settings} + args);
    QVERIFY2(p.waitForFinished(20000), "the program started instead of ending");
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), exitCode);
    const QByteArray stdOut = p.readAllStandardOutput();
    const QByteArray stdErr = p.readAllStandardError();
    if (out.isEmpty())
        QCOMPARE(stdOut, QByteArray());
    else
        QVERIFY2(stdOut.startsWith(out), stdOut.constData());
    if (exitCode == 0) // answered before the GUI starts: nothing from Qt either
        QCOMPARE(stdErr, QByteArray());
    if (!err.isEmpty()) // Qt may add its own warnings first
        QVERIFY2(stdErr.endsWith(err), stdErr.constData());
    QVERIFY(!QFile::exists(settings));
}

QTEST_GUILESS_MAIN(TestStartOptions)
#include "tst_startoptions.moc"
