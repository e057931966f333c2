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

// The "Discover " tab: the Search button with its wait and port menu, the
// discovery toggles, the sort choice, "Select All Units", the checksum
// button and the discovery list.
class DiscoverPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int bottomPanelHeight = 115;

    // The transport's OnDataReceived stays with the owner of the cycle.
    DiscoverPage(Operator &op, TBroadcast &transport, UnitTable &units, DiscoveryCycle &cycle,
                 QWidget *parent = nullptr);

    DiscoveryGrid *grid() const { return m_grid; }
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
};

} // namespace vork
