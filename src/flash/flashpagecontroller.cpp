#include "flash/flashpagecontroller.h"

#include "core/operator.h"
#include "flash/flashrun.h"
#include "services/unitservices.h"

namespace vork {

FlashPageController::FlashPageController(UnitServices &services)
    : m_services(services), m_run(std::make_unique<FlashRun>(services))
{
}

FlashPageController::~FlashPageController() = default;

ImageOpenResult FlashPageController::open(const QString &path)
{
    ImageOpenResult r = openImage(path, m_services.op());
    if (r.status == ImageOpen::Loaded)
        m_run->setImage(r.image);
    return r;
}

bool FlashPageController::allowsChange(Page from, Page to)
{
    // A unit being flashed must not be left half written: nothing else runs meanwhile.
    return from != Page::Flash || to == Page::Flash || !m_run->running();
}

bool FlashPageController::holdsPage() const
{
    return m_run->running();
}

QString FlashPageController::closeRefusal() const
{
    return m_run->running() ? FlashRun::closeRefusalText() : QString();
}

void FlashPageController::entered(Page)
{
    // The progress grid starts empty each time the tab is entered.
    if (!m_run->running())
        m_run->clearRows();
}

} // namespace vork
