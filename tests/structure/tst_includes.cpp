// The direction of includes: core <- unit <- features <- their ui <- app.
#include "includerules.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vork::structure;

class TestIncludes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void theTreeKeepsTheDirection();
    void rules_data();
    void rules();
    void aPlantedUpwardIncludeIsFound();
};

void TestIncludes::theTreeKeepsTheDirection()
{
    const QList<Violation> found =
        check(QStringLiteral(VORK_SOURCE_DIR "/src"), QStringLiteral(VORK_SOURCE_DIR "/sim"));
    QStringList lines;
    for (const Violation &v : found)
        lines << v.file + QStringLiteral(": \"") + v.include + QStringLiteral("\": ") + v.why;
    QVERIFY2(found.isEmpty(), qPrintable(lines.join(QLatin1Char('\n'))));
    // The walk found our files at all.
    QVERIFY(QFile::exists(QStringLiteral(VORK_SOURCE_DIR "/src/core/operator.h")));
}

void TestIncludes::rules_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("include");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("down: unit uses core") << "unit" << "core/operator.h" << true;
    QTest::newRow("up: core uses unit") << "core" << "unit/records.h" << false;
    QTest::newRow("up: unit uses connection") << "unit" << "connection/unitclient.h" << false;
    QTest::newRow("sideways: connection uses discovery") << "connection" << "discovery/broadcast.h" << false;
    QTest::newRow("feature uses services") << "history" << "services/unitservices.h" << true;
    QTest::newRow("sideways: setup uses history") << "setup" << "history/historypage.h" << false;
    QTest::newRow("up: services uses a feature") << "services" << "setup/setuppage.h" << false;
    QTest::newRow("ui uses its core") << "discovery/ui" << "discovery/discoverycycle.h" << true;
    QTest::newRow("ui uses shared ui") << "discovery/ui" << "core/ui/colors.h" << true;
    QTest::newRow("up: ui uses the window") << "discovery/ui" << "app/ui/mainwindow.h" << false;
    QTest::newRow("up: core uses a page") << "connection" << "setup/ui/setupeditor.h" << false;
    QTest::newRow("app/ui uses a page") << "app/ui" << "discovery/ui/discoverpage.h" << true;
    QTest::newRow("cli uses a controller") << "cli" << "setup/setupreply.h" << true;
    QTest::newRow("cli uses no widgets") << "cli" << "discovery/ui/discoverygrid.h" << false;
    QTest::newRow("own folder") << "connection" << "connection/commands.h" << true;
    QTest::newRow("not ours") << "core" << "buildinfo.h" << true;
}

void TestIncludes::rules()
{
    QFETCH(QString, from);
    QFETCH(QString, include);
    QFETCH(bool, allowed);
    QCOMPARE(refusal(from, include).isEmpty(), allowed);
}

void TestIncludes::aPlantedUpwardIncludeIsFound()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto write = [&](const QString &path, const QByteArray &text) {
        QDir().mkpath(QFileInfo(dir.filePath(path)).absolutePath());
        QFile f(dir.filePath(path));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write(QStringLiteral("src/core/fine.h"), "#include <QString>\n#include \"core/other.h\"\n");
    write(QStringLiteral("src/unit/table.cpp"), "#include \"core/fine.h\"\n  #  include \"connection/unitclient.h\"\n");
    write(QStringLiteral("sim/server.cpp"), "#include \"connection/commands.h\"\n#include \"services/unitservices.h\"\n");
    const QList<Violation> found = check(dir.filePath(QStringLiteral("src")), dir.filePath(QStringLiteral("sim")));
    QCOMPARE(found.size(), 2);
    QCOMPARE(found.at(0).file, QStringLiteral("src/unit/table.cpp"));
    QCOMPARE(found.at(0).include, QStringLiteral("connection/unitclient.h"));
    QVERIFY(found.at(0).why.startsWith(QStringLiteral("upward")));
    QCOMPARE(found.at(1).file, QStringLiteral("sim/server.cpp"));
    QCOMPARE(found.at(1).include, QStringLiteral("services/unitservices.h"));
}

QTEST_GUILESS_MAIN(TestIncludes)
#include "tst_includes.moc"
