#pragma once

#include <QString>

#include <array>
#include <functional>

namespace vork {

class Operator;
class ProtocolVariant;
class UnitTable;

enum class Page : int { Discover = 0, Monitor, History, Flash, Setup, NS, Help };
constexpr int pageCount = 7;
QString pageCaption(Page page);

// What may refuse a page change, and what runs when one happens. Each page's
// feature plugs its enter and leave actions and its state queries in here.
struct PageHooks
{
    // State of the long operations and windows that hold a page.
    std::function<bool()> historyImportOpen;
    std::function<bool()> historyExportRunning;
    std::function<bool()> forceReadTestRunning;
    std::function<bool()> flashRunning;
    std::function<bool()> autoUpdateRunning;
    std::function<bool()> historyRetrievalRunning;
    // Whether the current unit's connection is open.
    std::function<bool()> currentUnitConnected;

    // Side effects of a request.
    std::function<void()> hideEipMark;
    std::function<void()> clearNetstatGrid;
    std::function<void()> closeHistorySearch;
    std::function<void()> showForceReadTab;

    // Side effects of a change.
    std::function<void()> normalCursor;
    std::function<void(bool discover)> setKeyboardPreview;
    std::function<void()> resetSetupEditor;
    std::function<void(bool standard)> showSetupGroup;
    std::function<void()> advanceGuidedHelp;
    std::function<void()> releaseMonitorTestMode;
    std::function<int()> monitoredUnitCount;
    std::function<void()> closeCurrentConnection;
    std::function<void()> repaintStatusBar;

    // Per page: run when it is left (with a current unit) and when it is entered.
    std::array<std::function<void()>, pageCount> leave;
    std::array<std::function<void()>, pageCount> enter;
};

// The rules of switching the main window's pages.
class PageRules
{
public:
    static QString forceReadWarning();

    PageRules(Operator &op, UnitTable &units, const ProtocolVariant &variant);

    PageHooks hooks;

    Page current() const { return m_current; }

    // Before the page control leaves from for to: false refuses the change.
    bool requestChange(Page from, Page to);
    // After the page control shows to; returns the page that must be shown
    // instead when a running operation holds its page, else to.
    Page changed(Page from, Page to);

private:
    static bool ask(const std::function<bool()> &f) { return f && f(); }
    static void run(const std::function<void()> &f)
    {
        if (f)
            f();
    }

    Operator &m_op;
    UnitTable &m_units;
    const ProtocolVariant &m_variant;
    Page m_current = Page::Discover;
};

} // namespace vork
