#pragma once

#include "services/pagecontroller.h"

#include <QList>
#include <QObject>

namespace vork {

class UnitServices;

// The rules of switching the main window's pages: refusals, pages held by a
// running operation, and the leave and enter actions of each page's controller.
class PageRules : public QObject
{
    Q_OBJECT
public:
    explicit PageRules(UnitServices &services, QObject *parent = nullptr);

    // A page's controller; it must outlive the rules or be removed first.
    void add(PageController &controller);
    void remove(PageController &controller);

    Page current() const { return m_current; }
    // Whether a running operation holds its page (no page or tab may change).
    bool anyHeld() const;
    // The first refusal of a close by a running operation, or empty.
    QString closeRefusal() const;

    // Before the page control leaves from for to: false refuses the change.
    bool requestChange(Page from, Page to);
    // After the page control shows to; returns the page that must be shown
    // instead when a running operation holds its page, else to.
    Page changed(Page from, Page to);

private:
    PageController *controller(Page page) const;
    void closingUnit();

    UnitServices &m_services;
    QList<PageController *> m_controllers;
    Page m_current = Page::Discover;
};

} // namespace vork
