#pragma once

#include "services/pagecontroller.h"

namespace vork {

class UnitServices;

// The HISTORY page's side of the page rules: history mode while it shows.
class HistoryPageController : public PageController
{
public:
    explicit HistoryPageController(UnitServices &services) : m_services(services) {}

    Page page() const override { return Page::History; }
    void left(Page to) override;
    void entered(Page from) override;
    void closingUnit() override;

private:
    UnitServices &m_services;
};

} // namespace vork
