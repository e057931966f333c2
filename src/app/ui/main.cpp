#include "core/boundedwait.h"
#include "app/startoptions.h"
#include "app/ui/mainwindow.h"
#include "core/version.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QSplashScreen>

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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brivella_Utility"));
    constexpr int splashMs = 2200;

    QSplashScreen splash(splashPicture());
    splash.show();
    splash.repaint();
    QElapsedTimer shown;
    shown.start();

    const vork::StartOptions start = vork::parseStartOptions(QApplication::arguments().mid(1));
    vork::MainWindow window(start, QApplication::applicationDirPath());

    vork::wait::delay(static_cast<int>(splashMs - shown.elapsed()));
    splash.finish(&window);
    window.show();
    return QApplication::exec();
}
