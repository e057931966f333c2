#include "app/ui/mainwindow.h"

#include "app/ui/guioperator.h"
#include "discovery/broadcast.h"
#include "unit/unittable.h"

#include <QStatusBar>
#include <QTabWidget>

namespace vork {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_op(new GuiOperator(this, this))
{
    setWindowTitle(QString::fromLatin1(caption));
    m_op->attachStatusBar(statusBar());

    m_transport = new TBroadcast(*m_op, this);
    m_transport->setBroadCastIP(QStringLiteral("255.255.255.255"));
    m_transport->setLocalPort(3009);
    m_transport->setRemotePort(3010);
    m_transport->setTimeOut(500);

    m_units = new UnitTable(*m_op, this);

    m_pages = new QTabWidget(this);
    m_discoverTabs = new QTabWidget(m_pages);
    for (const char *tab : {"Discover ", "Discover List ", "Manual ", "Set IP Address ", "Auto Update "})
        m_discoverTabs->addTab(new QWidget(m_discoverTabs), QString::fromLatin1(tab));
    m_pages->addTab(m_discoverTabs, QStringLiteral("DISCOVER"));
    for (const char *page : {"MONITOR", "HISTORY", "FLASH", "SETUP", "NS", "HELP"})
        m_pages->addTab(new QWidget(m_pages), QString::fromLatin1(page));
    setCentralWidget(m_pages);
    resize(1000, 640);
}

MainWindow::~MainWindow() = default;

} // namespace vork
