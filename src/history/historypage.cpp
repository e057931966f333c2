#include "history/historypage.h"

#include "connection/unitcommands.h"
#include "services/unitservices.h"

namespace vork {

void HistoryPageController::left(Page)
{
    m_services.commands().leaveHistoryMode();
}

void HistoryPageController::entered(Page)
{
    m_services.commands().enterHistoryMode();
}

void HistoryPageController::closingUnit()
{
    m_services.commands().leaveHistoryMode();
}

} // namespace vork
