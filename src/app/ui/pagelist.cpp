#include "app/ui/pagelist.h"

#include "flash/flashpagecontroller.h"
#include "flash/ui/flashpage.h"
#include "history/historypage.h"
#include "history/ui/historypage.h"
#include "monitor/monitorpagecontroller.h"
#include "monitor/ui/monitorpage.h"
#include "setup/setuppage.h"
#include "setup/ui/setuppage.h"

#include <QWidget>

namespace vork {

namespace {

template <class Controller>
std::unique_ptr<PageController> make(UnitServices &services)
{
    return std::make_unique<Controller>(services);
}

QWidget *blank(PageContext &, QWidget *parent)
{
    return notBuiltPage(parent);
}

QWidget *monitorPage(PageContext &c, QWidget *parent)
{
    return new MonitorPage(c.services, static_cast<MonitorPageController &>(*c.controller), c.settings,
                           c.settingsFile, parent);
}

QWidget *historyPage(PageContext &c, QWidget *parent)
{
    return new HistoryPage(c.services, static_cast<HistoryPageController &>(*c.controller), c.settings,
                           c.settingsFile, parent);
}

QWidget *flashPage(PageContext &c, QWidget *parent)
{
    return new FlashPage(c.services, static_cast<FlashPageController &>(*c.controller), c.settings, c.settingsFile,
                         parent);
}

QWidget *setupPage(PageContext &c, QWidget *parent)
{
    return new SetupPage(c.services, static_cast<SetupPageController &>(*c.controller), c.settings, c.settingsFile,
                         parent);
}

} // namespace

const std::vector<PageRow> &pageRows()
{
    static const std::vector<PageRow> rows = {
        {Page::Discover, nullptr, nullptr, true},
        {Page::Monitor, make<MonitorPageController>, monitorPage, true},
        {Page::History, make<HistoryPageController>, historyPage, true},
        {Page::Flash, make<FlashPageController>, flashPage, true},
        {Page::Setup, make<SetupPageController>, setupPage, true},
        {Page::NS, nullptr, blank, false},
        {Page::Help, nullptr, blank, false},
    };
    return rows;
}

} // namespace vork
