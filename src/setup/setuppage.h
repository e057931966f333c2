#pragma once

#include "services/pagecontroller.h"
#include "setup/setupreply.h"

#include <functional>

namespace vork {

class UnitServices;

// The SETUP page's side of the page rules: setup mode while it shows, the
// setup record's reply, and no checksum message over the editor.
class SetupPageController : public PageController
{
public:
    explicit SetupPageController(UnitServices &services);

    SetupReply &reply() { return m_reply; }
    // The editor's side: cleared whenever the page opens (before setup mode is asked
    // for, so a record uploaded at once lands in a clear form), and told whether the
    // unit is in setup mode.
    void setEditorHooks(std::function<void()> opening, std::function<void(bool inSetupMode)> mode)
    {
        m_opening = std::move(opening);
        m_mode = std::move(mode);
    }

    Page page() const override { return Page::Setup; }
    void pageChanged(Page from, Page to) override;
    void left(Page to) override;
    void entered(Page from) override;
    void closingUnit() override;

private:
    UnitServices &m_services;
    SetupReply m_reply;
    std::function<void()> m_opening;
    std::function<void(bool)> m_mode;
};

} // namespace vork
