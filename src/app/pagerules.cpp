#include "app/pagerules.h"

#include "core/operator.h"
#include "connection/unitclient.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

namespace vork {

QString pageCaption(Page page)
{
    static const char *const captions[pageCount] = {"DISCOVER", "MONITOR", "HISTORY", "FLASH", "SETUP", "NS", "HELP"};
    const int i = static_cast<int>(page);
    return i >= 0 && i < pageCount ? QString::fromLatin1(captions[i]) : QString();
}

QString PageRules::forceReadWarning()
{
    return QStringLiteral("Force read test in progress. You must stop the test before leaving this screen");
}

PageRules::PageRules(Operator &op, UnitTable &units, const ProtocolVariant &variant)
    : m_op(op), m_units(units), m_variant(variant)
{
}

bool PageRules::requestChange(Page from, Page to)
{
    if (from == to)
        return true;
    run(hooks.hideEipMark);

    if (from == Page::NS) {
        udppack *unit = m_units.current();
        if (unit && ask(hooks.currentUnitConnected)) {
            m_op.setPanel(1, QStringLiteral("Connected to ") + unit->ip);
        } else {
            for (int panel : {1, 2, 3, 5})
                m_op.setPanel(panel, QString());
            run(hooks.clearNetstatGrid);
        }
    }
    if (from == Page::History)
        run(hooks.closeHistorySearch);

    if (ask(hooks.historyImportOpen) || ask(hooks.historyExportRunning))
        return false;

    if (from == Page::Monitor && ask(hooks.forceReadTestRunning)) {
        run(hooks.showForceReadTab);
        m_op.warning(forceReadWarning());
        return false;
    }

    const bool holding = ask(hooks.flashRunning) || ask(hooks.autoUpdateRunning);
    if (holding || from == Page::History)
        return from == Page::History && !ask(hooks.historyRetrievalRunning);
    return true;
}

Page PageRules::changed(Page from, Page to)
{
    run(hooks.normalCursor);
    if (hooks.setKeyboardPreview)
        hooks.setKeyboardPreview(to == Page::Discover);
    run(hooks.resetSetupEditor);
    if (to == Page::Setup && hooks.showSetupGroup)
        hooks.showSetupGroup(m_variant.lastStandard());

    if (ask(hooks.historyRetrievalRunning) && to != Page::History)
        return Page::History;
    if ((ask(hooks.flashRunning) || ask(hooks.autoUpdateRunning)) && to != Page::Flash)
        return Page::Flash;

    run(hooks.advanceGuidedHelp);
    run(hooks.releaseMonitorTestMode);

    udppack *unit = m_units.current();
    if (unit && from != to) {
        switch (from) {
        case Page::Monitor:
            run(hooks.leave[static_cast<int>(Page::Monitor)]);
            if (to == Page::Discover && hooks.monitoredUnitCount && hooks.monitoredUnitCount() > 1)
                run(hooks.closeCurrentConnection);
            break;
        case Page::History:
            if (unit->cs)
                run(hooks.leave[static_cast<int>(Page::History)]);
            break;
        case Page::Setup:
            run(hooks.leave[static_cast<int>(Page::Setup)]);
            break;
        default:
            break;
        }
    }

    m_current = to;
    if (to == Page::Discover)
        m_units.rebuildLists(true);
    run(hooks.enter[static_cast<int>(to)]);
    run(hooks.repaintStatusBar);
    return to;
}

} // namespace vork
