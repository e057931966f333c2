#pragma once

#include "services/pagecontroller.h"

#include <memory>
#include <vector>

class QWidget;

namespace vork {

class UnitServices;

// One row per page of the main window, in tab order: the page's controller in
// the page rules and its widget. A new page is its feature folder plus a row here.
struct PageRow
{
    Page page;
    std::unique_ptr<PageController> (*controller)(UnitServices &services); // null: no controller yet
    QWidget *(*widget)(UnitServices &services, QWidget *parent);           // null: the window builds it
    // The page has content: the unit list's pop-up menu may lead a unit to it.
    bool hasContent;
};

const std::vector<PageRow> &pageRows();

// A page or tab whose content is still to come says so in one line.
QWidget *notBuiltPage(QWidget *parent);
QString notBuiltText();

} // namespace vork
