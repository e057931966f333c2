#pragma once

#include "monitor/ui/readerdetails.h"

#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>

class QStackedWidget;

namespace vork {

class ForceReadPanel;
class MonitorPageController;
class MonitorScrollGrid;
class MonitorSession;
class PhotoEyesPanel;
class MonitorUnitView;
class PageControl;

class SettingsFile;
class UnitServices;
class ViewParameters;
struct Settings;

// The MONITOR page: the list, tree and scrolling views of the live records
// over the lower tabs. The session does the talking; the page shows.
class MonitorPage : public QWidget
{
    Q_OBJECT
public:
    // Lower tabs, in order.
    enum Tab { AnnounceTab = 0, PhotoEyesTab, ForceReadTab, ViewParametersTab };
    // The views take the changes of a batch of records at once.
    static constexpr int refreshMs = 100;

    MonitorPage(UnitServices &services, MonitorPageController &controller, Settings &settings,
                SettingsFile &settingsFile, QWidget *parent = nullptr);
    ~MonitorPage() override;

    MonitorUnitView *listView() const { return m_list; }
    MonitorUnitView *treeView() const { return m_tree; }
    MonitorScrollGrid *scrollGrid() const { return m_scroll; }
    QStackedWidget *views() const { return m_views; }
    ViewParameters *viewParameters() const { return m_parameters; }
    PageControl *tabs() const { return m_tabs; }
    ReaderDetails *details() const { return m_details; }
    PhotoEyesPanel *photoEyesPanel() const { return m_photoEyes; }
    ForceReadPanel *forceReadPanel() const { return m_forceRead; }

    // Opens the "Reader Details" of a unit.
    void showDetails(quint64 link);
    // The list and tree take the changed units' values now.
    void refreshViews();

private:
    void buildViews();
    void choiceMade(int which, int tag);
    void applyTreeChoice();
    void fillUnitChoices();
    void lowerTabChanged(int index);

    UnitServices &m_services;
    MonitorSession &m_session;
    Settings &m_settings;
    SettingsFile &m_settingsFile;
    QStackedWidget *m_views;
    MonitorUnitView *m_list;
    MonitorUnitView *m_tree;
    MonitorScrollGrid *m_scroll;
    PageControl *m_tabs;
    ViewParameters *m_parameters;
    PhotoEyesPanel *m_photoEyes;
    ForceReadPanel *m_forceRead;
    int m_lowerTab = 0;
    QPointer<ReaderDetails> m_details;
    QSet<quint64> m_changed;
    QTimer m_refresh;
};

} // namespace vork
