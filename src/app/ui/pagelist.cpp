#include "app/ui/pagelist.h"

#include "history/historypage.h"
#include "setup/setuppage.h"

#include <QLabel>
#include <QWidget>

namespace vork {

namespace {

template <class Controller>
std::unique_ptr<PageController> make(UnitServices &services)
{
    return std::make_unique<Controller>(services);
}

QWidget *blank(UnitServices &, QWidget *parent)
{
    return notBuiltPage(parent);
}

} // namespace

const std::vector<PageRow> &pageRows()
{
    static const std::vector<PageRow> rows = {
        {Page::Discover, nullptr, nullptr, true},
        {Page::Monitor, nullptr, blank, false},
        {Page::History, make<HistoryPageController>, blank, false},
        {Page::Flash, nullptr, blank, false},
        {Page::Setup, make<SetupPageController>, blank, false},
        {Page::NS, nullptr, blank, false},
        {Page::Help, nullptr, blank, false},
    };
    return rows;
}

QString notBuiltText()
{
    return QStringLiteral("Not built yet in this version.");
}

QWidget *notBuiltPage(QWidget *parent)
{
    auto *label = new QLabel(notBuiltText(), parent);
    label->setObjectName(QStringLiteral("notBuilt"));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace vork
