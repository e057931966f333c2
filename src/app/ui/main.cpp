#include "app/ui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brivella_Utility"));
    vork::MainWindow window;
    window.show();
    return QApplication::exec();
}
