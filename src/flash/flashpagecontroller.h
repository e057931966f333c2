#pragma once

#include "flash/flashimage.h"
#include "services/pagecontroller.h"

#include <memory>

namespace vork {

class FlashRun;
class UnitServices;

// The flash tab's side of the page rules. It owns the run and the open image;
// while a flash runs it keeps the page and the program.
class FlashPageController : public PageController
{
public:
    explicit FlashPageController(UnitServices &services);
    ~FlashPageController() override;

    FlashRun &run() { return *m_run; }
    // Opens and checks a file; on success it becomes the image of the next run.
    ImageOpenResult open(const QString &path);

    Page page() const override { return Page::Flash; }
    bool allowsChange(Page from, Page to) override;
    bool holdsPage() const override;
    QString closeRefusal() const override;
    void entered(Page from) override;

private:
    UnitServices &m_services;
    std::unique_ptr<FlashRun> m_run;
};

} // namespace vork
