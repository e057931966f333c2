#pragma once

#include "core/ui/notbuilt.h"
#include "services/pagecontroller.h"

#include <memory>
#include <vector>

class QWidget;

namespace vork {

class SettingsFile;
class UnitServices;
struct Settings;

// What a page's widget is built from.
struct PageContext
{
    UnitServices &services;
    PageController *controller; // the page's own, or null
    Settings &settings;
    SettingsFile &settingsFile;
};

// One row per page of the main window, in tab order: the page's controller in
// the page rules and its widget. A new page is its feature folder plus a row here.
struct PageRow
{
    Page page;
    std::unique_ptr<PageController> (*controller)(UnitServices &services); // null: no controller yet
    QWidget *(*widget)(PageContext &context, QWidget *parent);             // null: the window builds it
    // The page has content: the unit list's pop-up menu may lead a unit to it.
    bool hasContent;
};

const std::vector<PageRow> &pageRows();


} // namespace vork
