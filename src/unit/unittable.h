#pragma once

#include "unit/records.h"
#include "unit/unitsort.h"

#include <QObject>
#include <QStringList>

#include <array>

namespace vork {

class Operator;

// Every unit found by the last discovery cycle, the display-order and active
// lists walked by the pages, the current unit and the selection.
class UnitTable : public QObject
{
    Q_OBJECT
public:
    static constexpr int capacity = 100;
    static constexpr int slots = capacity + 1; // the last slot stays empty: every walk ends there

    explicit UnitTable(Operator &op, QObject *parent = nullptr);
    ~UnitTable() override;

    int count() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    udppack &unit(int index) { return m_svrks[static_cast<std::size_t>(index)]; }
    const udppack &unit(int index) const { return m_svrks[static_cast<std::size_t>(index)]; }
    udppack *psvrks(int index) const { return m_psvrks[static_cast<std::size_t>(index)]; }
    udppack *active(int index) const { return m_active[static_cast<std::size_t>(index)]; }
    // Number of references in the active list up to the first empty one.
    int activeCount() const;
    // Table index of a record inside the table, -1 for anything else.
    int indexOf(const udppack *unit) const;

    udppack *current() const { return m_current; }
    int currentIndex() const { return indexOf(m_current); }
    void setCurrent(udppack *unit) { m_current = unit; }
    int connectedIndex() const { return m_connectedIndex; }
    void setConnectedIndex(int index) { m_connectedIndex = index; }
    udppack &mansvrk() { return m_mansvrk; }
    // The current unit, or the manually entered record when there is none.
    udppack &currentOrManual() { return m_current ? *m_current : m_mansvrk; }

    // While an automatic update owns the selection, update marks and selections survive a
    // rediscovery and a disconnect.
    void setSelectionHeld(bool held) { m_selectionHeld = held; }
    bool selectionHeld() const { return m_selectionHeld; }

    void clear();
    // Adds or updates the unit that answered from sender; returns its index, or -1 when the table is full.
    int enterAnnouncement(const udppack &announced, const QString &sender);
    int findByIP(const QString &ip) const;
    // The unit whose TCP client has this key, -1 when none.
    int findByLink(quint64 link) const;
    int selectedCount() const;

    // Duplicate-address bookkeeping of the running cycle.
    bool duplicate() const { return m_duplicate; }
    QString duplicateAddress() const { return m_duplicateAddress; }
    QStringList duplicateMacs() const { return m_duplicateMacs; }
    void clearDuplicates();

    // "Select All Units" toggle state.
    bool selectAllDown() const { return m_selectAll; }
    // Releases "Select All Units" without touching any unit.
    void releaseSelectAll();
    // The operator pressed or released "Select All Units".
    void selectAll(bool down);
    // The operator pressed the "Sel" cell of the unit at index; returns its new selection.
    bool toggleSelection(int index);

    int rebuildLists(bool all);
    void sortActiveList(SortOrder order);
    // Swaps two whole records (client objects included); the current unit follows its record.
    void swapUnits(int a, int b);
    // Orders the table by order, equal keys keeping their places; refreshes psvrks.
    void sort(SortOrder order);

Q_SIGNALS:
    // Before the records go: open connections are closed while the units are still known.
    void aboutToClear();
    void cleared();
    void unitEntered(int index, bool added);
    void selectionChanged();
    void selectAllChanged(bool down);
    void tableFull(const QString &sender);

private:

    Operator &m_op;
    std::array<udppack, slots> m_svrks;
    std::array<udppack *, slots> m_psvrks{};
    std::array<udppack *, slots> m_active{};
    int m_count = 0;
    udppack *m_current = nullptr;
    int m_connectedIndex = -1;
    udppack m_mansvrk;
    bool m_selectionHeld = false;
    quint64 m_lastLink = 0;
    bool m_selectAll = false;
    bool m_fullLogged = false;

    bool m_duplicate = false;
    QString m_duplicateAddress;
    QStringList m_duplicateMacs;
};

} // namespace vork
