#include "core/boundedwait.h"
#include "core/closesignals.h"
#include "app/startoptions.h"
#include "app/ui/mainwindow.h"
#include "core/version.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QSplashScreen>

#include <cstdio>

namespace {

// The splash picture: the program's name and version on a plain panel.
QPixmap splashPicture()
{
    QPixmap pm(420, 220);
    pm.fill(QColor(0x00, 0x40, 0x80));
    QPainter p(&pm);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPointSize(22);
    f.setBold(true);
    p.setFont(f);
    p.drawText(pm.rect().adjusted(0, 0, 0, -40), Qt::AlignCenter, QString::fromLatin1(vork::MainWindow::caption));
    f.setPointSize(10);
    f.setBold(false);
    p.setFont(f);
    p.drawText(pm.rect().adjusted(0, 80, 0, 0), Qt::AlignCenter, vork::ProgramVersion::current().text());
    return pm;
}

// Prints text to a standard stream and returns code.
int say(std::FILE *stream, const QString &text, int code)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    const QString program = QString::fromLatin1(vork::MainWindow::caption).replace(QLatin1Char(' '), QLatin1Char('_'));
    // Help and version need no display: they are answered before the GUI starts.
    QStringList raw;
    for (int i = 1; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const vork::StartOptions early = vork::parseStartOptions(raw);
    if (early.action == vork::StartOptions::Action::Help)
        return say(stdout, vork::startUsage(program), 0);
    if (early.action == vork::StartOptions::Action::Version)
        return say(stdout, program + QLatin1Char(' ') + vork::ProgramVersion::current().text() + QLatin1Char('\n'), 0);

    QApplication app(argc, argv);
    QApplication::setApplicationName(program);
    // Qt has taken its own options out by now; what is left must be ours.
    const vork::StartOptions start = vork::parseStartOptions(QApplication::arguments().mid(1));
    if (start.action == vork::StartOptions::Action::Refuse)
        return say(stderr, program + QStringLiteral(": ") + start.error + QStringLiteral("\nTry \"") + program
                               + QStringLiteral(" --help\".\n"),
                   vork::badArgumentsExit);
    // Installed before the window is built: a signal meanwhile waits for arm().
    vork::CloseSignals closeSignals;

    constexpr int splashMs = 2200;
    QSplashScreen splash(splashPicture());
    splash.show();
    splash.repaint();
    QElapsedTimer shown;
    shown.start();

    vork::MainWindow window(start, QApplication::applicationDirPath());
    bool closed = false;
    QObject::connect(&closeSignals, &vork::CloseSignals::closeRequested, &window, [&] {
        // As the window's own close: exit keys written, units told. Refused, the next signal tries again.
        closed = window.close();
        if (!closed)
            closeSignals.arm();
    });
    closeSignals.arm();

    vork::wait::delay(static_cast<int>(splashMs - shown.elapsed()));
    if (closed)
        return 0;
    // Shown first: finish() waits for the window to be exposed.
    window.show();
    splash.finish(&window);
    return QApplication::exec();
}
