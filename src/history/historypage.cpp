#include "history/historypage.h"

#include "connection/unitcommands.h"
#include "history/historyretrieval.h"
#include "services/unitservices.h"

namespace vork {

HistoryPageController::HistoryPageController(UnitServices &services)
    : m_services(services), m_retrieval(std::make_unique<HistoryRetrieval>(services))
{
}

HistoryPageController::~HistoryPageController() = default;

bool HistoryPageController::allowsChange(Page from, Page to)
{
    // Nothing goes out while a retrieval runs: the change is refused before any mode is left.
    return from != Page::History || to == Page::History || !m_retrieval->running();
}

bool HistoryPageController::holdsPage() const
{
    return m_retrieval->running();
}

void HistoryPageController::left(Page)
{
    m_retrieval->pageLeft();
    m_services.commands().leaveHistoryMode();
}

void HistoryPageController::entered(Page)
{
    m_retrieval->pageEntered();
    m_services.commands().enterHistoryMode();
    m_retrieval->historyModeEntered();
}

void HistoryPageController::closingUnit()
{
    m_retrieval->endLocally();
    m_retrieval->pageLeft();
    m_services.commands().leaveHistoryMode();
}

} // namespace vork
