#include "setup/setuppage.h"

#include "connection/commandreplies.h"
#include "connection/connectionmanager.h"
#include "connection/unitcommands.h"
#include "services/unitservices.h"

namespace vork {

SetupPageController::SetupPageController(UnitServices &services)
    : m_services(services), m_reply(services.op(), services.connections().replies())
{
}

void SetupPageController::pageChanged(Page, Page to)
{
    // After any page change a reboot asks the unit's known address again.
    m_services.commands().setDhcpSwitched(false);
    m_services.replies().setChecksumQuiet(to == Page::Setup);
    if (to == Page::Setup && m_opening)
        m_opening();
}

void SetupPageController::left(Page)
{
    m_services.commands().leaveSetupMode();
    if (m_mode)
        m_mode(false);
}

void SetupPageController::entered(Page)
{
    const bool on = m_services.commands().enterSetupMode();
    if (m_mode)
        m_mode(on);
}

void SetupPageController::closingUnit()
{
    m_services.commands().leaveSetupMode();
}

} // namespace vork
