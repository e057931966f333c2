#include "services/pagerules.h"

#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "core/operator.h"
#include "services/unitservices.h"
#include "unit/unittable.h"

namespace vork {

QString pageCaption(Page page)
{
    static const char *const captions[pageCount] = {"DISCOVER", "MONITOR", "HISTORY", "FLASH", "SETUP", "NS", "HELP"};
    const int i = static_cast<int>(page);
    return i >= 0 && i < pageCount ? QString::fromLatin1(captions[i]) : QString();
}

PageRules::PageRules(UnitServices &services, QObject *parent) : QObject(parent), m_services(services)
{
    connect(&services.connections(), &ConnectionManager::closingCurrent, this, &PageRules::closingUnit);
}

void PageRules::add(PageController &controller)
{
    if (!m_controllers.contains(&controller))
        m_controllers.append(&controller);
}

void PageRules::remove(PageController &controller)
{
    m_controllers.removeAll(&controller);
}

PageController *PageRules::controller(Page page) const
{
    for (PageController *c : m_controllers)
        if (c->page() == page)
            return c;
    return nullptr;
}

bool PageRules::anyHeld() const
{
    for (const PageController *c : m_controllers)
        if (c->holdsPage())
            return true;
    return false;
}

QString PageRules::closeRefusal() const
{
    for (const PageController *c : m_controllers)
        if (const QString why = c->closeRefusal(); !why.isEmpty())
            return why;
    return {};
}

void PageRules::closingUnit()
{
    if (PageController *c = controller(m_current))
        c->closingUnit();
}

bool PageRules::requestChange(Page from, Page to)
{
    if (from == to)
        return true;
    Operator &op = m_services.op();
    // The unit actions of a running operation would go out nested inside it.
    if (m_services.operations().busy()) {
        op.log(OperationGate::refusalText(QStringLiteral("Page change"), m_services.operations().running()));
        return false;
    }

    if (from == Page::NS) {
        udppack *unit = m_services.units().current();
        if (unit && m_services.connections().isOpen(unit)) {
            op.setPanel(Panel::Connection, QStringLiteral("Connected to ") + unit->ip);
        } else {
            for (Panel panel : {Panel::Connection, Panel::Version, Panel::Description, Panel::Idle})
                op.setPanel(panel, QString());
        }
    }

    for (PageController *c : std::as_const(m_controllers))
        if (!c->allowsChange(from, to))
            return false;
    return !anyHeld();
}

Page PageRules::changed(Page from, Page to)
{
    const auto controllers = m_controllers;
    for (PageController *c : controllers)
        c->pageChanged(from, to);

    for (PageController *c : controllers)
        if (c->holdsPage() && c->page() != to)
            return c->page();

    if (from != to && m_services.units().current()) {
        if (PageController *c = controller(from))
            c->left(to);
    }

    m_current = to;
    if (to == Page::Discover)
        m_services.units().rebuildLists(true);
    if (PageController *c = controller(to))
        c->entered(from);
    return to;
}

} // namespace vork
