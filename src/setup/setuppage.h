#pragma once

#include "services/pagecontroller.h"
#include "setup/setupreply.h"

namespace vork {

class UnitServices;

// The SETUP page's side of the page rules: setup mode while it shows, the
// setup record's reply, and no checksum message over the editor.
class SetupPageController : public PageController
{
public:
    explicit SetupPageController(UnitServices &services);

    SetupReply &reply() { return m_reply; }

    Page page() const override { return Page::Setup; }
    void pageChanged(Page from, Page to) override;
    void left(Page to) override;
    void entered(Page from) override;
    void closingUnit() override;

private:
    UnitServices &m_services;
    SetupReply m_reply;
};

} // namespace vork
