#pragma once

#include "monitor/forceread.h"
#include "monitor/monitorsession.h"
#include "monitor/photoeyes.h"
#include "services/pagecontroller.h"

#include <functional>

namespace vork {

class UnitServices;

// The MONITOR page's side of the page rules. It owns what the page drives:
// the monitor session, the photo eyes and the force read.
class MonitorPageController : public PageController
{
public:
    explicit MonitorPageController(UnitServices &services);

    MonitorSession &session() { return m_session; }
    PhotoEyes &photoEyes() { return m_photoEyes; }
    ForceRead &forceRead() { return m_forceRead; }
    // Called when leaving is refused for a running test, to bring its tab forward.
    void setLeaveRefused(std::function<void()> show) { m_leaveRefused = std::move(show); }

    Page page() const override { return Page::Monitor; }
    bool allowsChange(Page from, Page to) override;
    void entered(Page from) override;
    void left(Page to) override;
    void closingUnit() override;

private:
    UnitServices &m_services;
    MonitorSession m_session;
    PhotoEyes m_photoEyes;
    ForceRead m_forceRead;
    std::function<void()> m_leaveRefused;
};

} // namespace vork
