#include "app/ui/pagelist.h"

#include "history/historypage.h"
#include "setup/setuppage.h"

#include <QWidget>

namespace vork {

namespace {

template <class Controller>
std::unique_ptr<PageController> make(UnitServices &services)
{
    return std::make_unique<Controller>(services);
}

// A page whose content is still to come.
QWidget *blank(UnitServices &, QWidget *parent)
{
    return new QWidget(parent);
}

} // namespace

const std::vector<PageRow> &pageRows()
{
    static const std::vector<PageRow> rows = {
        {Page::Discover, nullptr, nullptr},
        {Page::Monitor, nullptr, blank},
        {Page::History, make<HistoryPageController>, blank},
        {Page::Flash, nullptr, blank},
        {Page::Setup, make<SetupPageController>, blank},
        {Page::NS, nullptr, blank},
        {Page::Help, nullptr, blank},
    };
    return rows;
}

} // namespace vork
