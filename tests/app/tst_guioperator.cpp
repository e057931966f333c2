// The desktop program's questions: the buttons each kind shows and what each button answers.
#include "app/ui/guioperator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

using namespace vork;

class TestGuiOperator : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void questionButtons_data();
    void questionButtons();
};

void TestGuiOperator::questionButtons_data()
{
    QTest::addColumn<int>("choices");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("press"); // the button pressed, or 0 for Escape
    QTest::addColumn<int>("answer");
    const int okAbort = QMessageBox::Ok | QMessageBox::Abort;
    const int okCancel = QMessageBox::Ok | QMessageBox::Cancel;
    QTest::newRow("OK of OK/Abort") << int(Choices::OkAbort) << okAbort << int(QMessageBox::Ok) << int(Answer::Yes);
    QTest::newRow("Abort") << int(Choices::OkAbort) << okAbort << int(QMessageBox::Abort) << int(Answer::Cancel);
    QTest::newRow("Escape on OK/Abort") << int(Choices::OkAbort) << okAbort << 0 << int(Answer::Cancel);
    QTest::newRow("OK of OK/Cancel") << int(Choices::OkCancel) << okCancel << int(QMessageBox::Ok) << int(Answer::Yes);
    QTest::newRow("Cancel") << int(Choices::OkCancel) << okCancel << int(QMessageBox::Cancel) << int(Answer::Cancel);
}

void TestGuiOperator::questionButtons()
{
    QFETCH(int, choices);
    QFETCH(int, buttons);
    QFETCH(int, press);
    QFETCH(int, answer);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Brivella Utility"));
    GuiOperator op(&window);
    int shown = -1;
    QString text;
    // The box is modal: look at it from a timer while it runs, then press the button.
    QTimer poll;
    int tries = 0;
    connect(&poll, &QTimer::timeout, &window, [&] {
        QMessageBox *box = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *b = qobject_cast<QMessageBox *>(w); b && b->isVisible())
                box = b;
        if (!box) {
            if (++tries > 200)
                poll.stop();
            return;
        }
        poll.stop();
        shown = int(box->standardButtons());
        text = box->text();
        if (press == 0)
            QTest::keyClick(box, Qt::Key_Escape);
        else if (QAbstractButton *b = box->button(QMessageBox::StandardButton(press)))
            b->click();
        else
            box->reject();
    });
    poll.start(10);
    const Answer got = op.askChoice(QStringLiteral("Add the record?\n\rGo on?"), Choices(choices));
    QCOMPARE(shown, buttons);
    QCOMPARE(text, QStringLiteral("Add the record?\nGo on?"));
    QCOMPARE(int(got), answer);
}

QTEST_MAIN(TestGuiOperator)
#include "tst_guioperator.moc"
