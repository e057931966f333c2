#pragma once

#include "services/pagecontroller.h"

#include <memory>

namespace vork {

class HistoryRetrieval;
class UnitServices;

// The HISTORY page's side of the page rules: history mode while it shows, and
// the page held while a retrieval runs (a change returns here, sending nothing).
class HistoryPageController : public PageController
{
public:
    explicit HistoryPageController(UnitServices &services);
    ~HistoryPageController() override;

    HistoryRetrieval &retrieval() { return *m_retrieval; }

    Page page() const override { return Page::History; }
    bool allowsChange(Page from, Page to) override;
    bool holdsPage() const override;
    void left(Page to) override;
    void entered(Page from) override;
    void closingUnit() override;

private:
    UnitServices &m_services;
    std::unique_ptr<HistoryRetrieval> m_retrieval;
};

} // namespace vork
