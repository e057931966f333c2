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
}

void SetupPageController::left(Page)
{
    m_services.commands().leaveSetupMode();
}

void SetupPageController::entered(Page)
{
    m_services.commands().enterSetupMode();
}

void SetupPageController::closingUnit()
{
    m_services.commands().leaveSetupMode();
}

} // namespace vork
