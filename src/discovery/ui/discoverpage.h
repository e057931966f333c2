#pragma once

#include <QWidget>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;

namespace vork {

class DiscoveryCycle;
class DiscoveryGrid;
class DiscoveryGridModel;
class Operator;
class TBroadcast;
class UnitTable;

class PageControl;

// The DISCOVER page: the discovery list on top, always in view, and under it
// the bottom panel of tabs, of which this page fills "Discover " (the Search
// button with its wait and port menu, the discovery toggles, the sort choice,
// "Select All Units" and the checksum button); the owner adds the others.
class DiscoverPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int bottomPanelHeight = 115;
    static constexpr int tallBottomPanelHeight = 175; // while "Auto Update " shows

    // The transport's OnDataReceived stays with the owner of the cycle.
    DiscoverPage(Operator &op, TBroadcast &transport, UnitTable &units, DiscoveryCycle &cycle,
                 QWidget *parent = nullptr);

    DiscoveryGrid *grid() const { return m_grid; }
    // The bottom panel's tabs; "Discover " is the first.
    PageControl *tabs() const { return m_tabs; }
    // The taller panel while a tab needs the room; never less than its controls need.
    void setPanelTall(bool tall);
    // A row between the list and the bottom panel (the unit actions).
    void setUnitBar(QWidget *bar);
    // "Verify Checksum for selected units" does something only once a checksum run is wired in.
    void setVerifyAvailable(bool available);
    DiscoveryGridModel &gridModel() const { return *m_model; }

    QPushButton *searchButton() const { return m_search; }
    QMenu *searchMenu() const { return m_searchMenu; }
    QMenu *waitMenu() const { return m_waitMenu; }
    QCheckBox *syncToggle() const { return m_sync; }
    QCheckBox *useListToggle() const { return m_useList; }
    QCheckBox *discoverOnStartToggle() const { return m_discoverOnStart; }
    QComboBox *sortChoice() const { return m_sort; }
    QCheckBox *selectAllToggle() const { return m_selectAll; }
    QPushButton *verifyButton() const { return m_verify; }
    QLabel *discoveringLabel() const { return m_discovering; }
    QProgressBar *busyAnimation() const { return m_animation; }

    // Settings loaded at start-up: no tones, no signals back.
    void setSortChoice(int choice);
    void setUseList(bool on);
    void setDiscoverOnStart(bool on);
    // Marks the wait entry equal to TimeOut and "3010 Fixed" for any non-zero LocalPort, else "Automatic (default)".
    void markTransportChoices();
    // The "CLICK SEARCH BUTTON" reminder; the first search hides it.
    void setSearchHintVisible(bool visible);
    QLabel *searchHint() const { return m_searchHint; }

    static QString waitMenuTitle(int timeOutMs);

    // The toolbar's ping field, button and result label, built by the owner of the ping tools.
    void setPingBar(QWidget *bar);
    QWidget *pingBar() const { return m_pingBar; }

Q_SIGNALS:
    void useListToggled(bool on);
    void discoverOnStartToggled(bool on);
    // "Verify Checksum for selected units": the checksum run is wired in by its owner.
    void verifyRequested();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void buildSearchMenu();
    void markWait();
    void collectingStarted();
    void windowFinished(bool animationStops);

    Operator &m_op;
    TBroadcast &m_transport;
    UnitTable &m_units;
    DiscoveryCycle &m_cycle;
    DiscoveryGridModel *m_model;
    DiscoveryGrid *m_grid;

    QPushButton *m_search;
    QMenu *m_searchMenu;
    QMenu *m_waitMenu;
    QActionGroup *m_waitGroup;
    QActionGroup *m_portGroup;
    QAction *m_portAutomatic;
    QAction *m_portFixed;
    QCheckBox *m_sync;
    QCheckBox *m_useList;
    QCheckBox *m_discoverOnStart;
    QComboBox *m_sort;
    QCheckBox *m_selectAll;
    QPushButton *m_verify;
    QLabel *m_discovering;
    QLabel *m_searchHint = nullptr;
    QProgressBar *m_animation;
    QGridLayout *m_controls;
    QWidget *m_pingBar = nullptr;
    PageControl *m_tabs;
    QWidget *m_discoverTab;
    bool m_tall = false;
    bool m_verifyAvailable = false;
    bool m_verifyWanted = false;
};

} // namespace vork
