#pragma once

#include <QString>

namespace vork {

enum class Page : int { Discover = 0, Monitor, History, Flash, Setup, NS, Help };
constexpr int pageCount = 7;
QString pageCaption(Page page);

// What a page's feature tells the page rules. Every method has a quiet default,
// so a page overrides only what it needs.
class PageController
{
public:
    virtual ~PageController() = default;
    virtual Page page() const = 0;

    // A change from one page to another is about to happen anywhere; false refuses
    // it (the controller tells the operator why).
    virtual bool allowsChange(Page from, Page to)
    {
        Q_UNUSED(from);
        Q_UNUSED(to);
        return true;
    }
    // A running operation of this page keeps the page showing.
    virtual bool holdsPage() const { return false; }
    // Why the program may not close now (a running operation), or empty.
    virtual QString closeRefusal() const { return {}; }
    // Every page hears of every change, before the new page's mode is entered.
    virtual void pageChanged(Page from, Page to)
    {
        Q_UNUSED(from);
        Q_UNUSED(to);
    }
    // This page was left while there is a current unit.
    virtual void left(Page to) { Q_UNUSED(to); }
    // This page was opened (or opened again for a new current unit).
    virtual void entered(Page from) { Q_UNUSED(from); }
    // The current unit's connection is about to close while this page shows: leave its mode.
    virtual void closingUnit() {}
};

} // namespace vork
