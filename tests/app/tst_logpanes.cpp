// The flash log pane's clear question and save, the log view's save.
#include "app/ui/logwindow.h"
#include "flash/ui/flashlogpane.h"
#include "recordingoperator.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vork;

class TestLogPanes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void flashLogClearAsks_data();
    void flashLogClearAsks();
    void flashLogSave();
    void logViewSave();
};

void TestLogPanes::flashLogClearAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("yes") << int(Answer::Yes) << true;
    QTest::newRow("no") << int(Answer::No) << false;
    QTest::newRow("cancel") << int(Answer::Cancel) << false;
}

void TestLogPanes::flashLogClearAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, cleared);
    RecordingOperator op;
    FlashLogPane pane(op, QString());
    pane.appendPlainText(QStringLiteral("Flashing 10.0.0.5"));
    op.answers = {Answer(answer)};
    pane.clearAsked();
    QCOMPARE(op.questions, QStringList{QStringLiteral("Are you sure you want to clear the flash log?")});
    QCOMPARE(pane.toPlainText().isEmpty(), cleared);
}

void TestLogPanes::flashLogSave()
{
    QTemporaryDir dir;
    RecordingOperator op;
    FlashLogPane pane(op, dir.path());
    QString asked;
    const QString path = dir.filePath(QStringLiteral("flash.txt"));
    pane.chooseSaveFile = [&](const QString &start) {
        asked = start;
        return path;
    };
    pane.save(); // nothing to save: no dialog
    QVERIFY(asked.isEmpty());
    QVERIFY(!QFile::exists(path));
    pane.appendPlainText(QStringLiteral("line one"));
    pane.appendPlainText(QStringLiteral("line two"));
    pane.save();
    QCOMPARE(asked, dir.path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("line one\nline two\n"));
}

void TestLogPanes::logViewSave()
{
    QTemporaryDir dir;
    LogView view;
    view.appendLine(QStringLiteral("Connected to Vork Unit 10.0.0.5  10:00:00"));
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QVERIFY(view.saveTo(path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("Connected to Vork Unit 10.0.0.5  10:00:00\n"));
    QVERIFY(!view.saveTo(dir.filePath(QStringLiteral("missing/dir/log.txt"))));
}

QTEST_MAIN(TestLogPanes)
#include "tst_logpanes.moc"
