#include "monitor/monitorpagecontroller.h"

#include "core/operator.h"
#include "services/unitservices.h"

namespace vork {

MonitorPageController::MonitorPageController(UnitServices &services)
    : m_services(services), m_session(services), m_photoEyes(services), m_forceRead(services)
{
}

bool MonitorPageController::allowsChange(Page from, Page to)
{
    if (from != Page::Monitor || to == Page::Monitor || !m_forceRead.testRunning())
        return true;
    if (m_leaveRefused)
        m_leaveRefused();
    m_services.op().warning(ForceRead::leaveRefusalText());
    return false;
}

void MonitorPageController::entered(Page)
{
    m_session.monitorOn();
}

void MonitorPageController::left(Page to)
{
    m_photoEyes.stop();
    m_session.monitorOff(to);
}

void MonitorPageController::closingUnit()
{
    m_photoEyes.stop();
    m_forceRead.stopTest();
    m_session.monitorOff(Page::Monitor);
}

} // namespace vork
