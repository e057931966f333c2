#include "unit/unittable.h"

#include "core/operator.h"

#include <utility>

namespace vork {

UnitTable::UnitTable(Operator &op, QObject *parent) : QObject(parent), m_op(op) {}

UnitTable::~UnitTable() = default;

int UnitTable::activeCount() const
{
    int n = 0;
    while (n < slots && m_active[static_cast<std::size_t>(n)])
        ++n;
    return n;
}

int UnitTable::indexOf(const udppack *unit) const
{
    if (!unit || unit < m_svrks.data() || unit >= m_svrks.data() + m_count)
        return -1;
    return static_cast<int>(unit - m_svrks.data());
}

void UnitTable::clear()
{
    // The connection side closes the current unit with the close command and drops every client.
    Q_EMIT aboutToClear();
    for (int i = 0; i < statusPanelCount; ++i)
        m_op.setPanel(i, QString());
    releaseSelectAll();
    for (int i = 0; i < capacity; ++i) {
        udppack *u = m_psvrks[static_cast<std::size_t>(i)];
        if (!u)
            continue;
        if (!m_selectionHeld)
            u->update = 0;
        m_psvrks[static_cast<std::size_t>(i)] = nullptr;
    }
    m_count = 0;
    m_current = nullptr;
    m_connectedIndex = -1;
    m_fullLogged = false;
    Q_EMIT cleared();
}

void UnitTable::clearDuplicates()
{
    m_duplicate = false;
    m_duplicateAddress.clear();
    m_duplicateMacs.clear();
}

int UnitTable::enterAnnouncement(const udppack &announced, const QString &sender)
{
    int index = -1;
    for (int i = 0; i < m_count; ++i) {
        udppack &u = unit(i);
        if (u.ip != sender)
            continue;
        if (u.mac == announced.mac) {
            index = i;
            break;
        }
        // Two units answer from one address: remember both MACs, each once.
        m_duplicate = true;
        m_duplicateAddress = sender;
        if (!m_duplicateMacs.contains(u.mac))
            m_duplicateMacs.append(u.mac);
        if (!m_duplicateMacs.contains(announced.mac))
            m_duplicateMacs.append(announced.mac);
    }

    const bool added = index < 0;
    if (added) {
        if (m_count >= capacity) {
            if (!m_fullLogged) {
                m_fullLogged = true;
                m_op.log(QStringLiteral("Unit table full (") + QString::number(capacity)
                         + QStringLiteral(" units): ignoring further units, first from ") + sender);
            }
            Q_EMIT tableFull(sender);
            return -1;
        }
        index = m_count++;
        udppack &slot = unit(index);
        if (!m_selectionHeld)
            slot.selected = false;
        slot.connected = false;
        // Nothing of the slot's previous unit may show up as this unit's state.
        slot.FlashState = 0;
        slot.resetReaderTexts();
        // A fresh key: a client of the slot's previous unit never serves this one.
        slot.link = ++m_lastLink;
    }

    udppack &entry = unit(index);
    entry.takeAnnouncement(announced);
    entry.ip = sender;
    entry.Monitor = false;
    m_psvrks[static_cast<std::size_t>(index)] = &entry;
    Q_EMIT unitEntered(index, added);
    return index;
}

int UnitTable::findByIP(const QString &ip) const
{
    for (int i = 0; i < m_count; ++i)
        if (unit(i).ip == ip)
            return i;
    return -1;
}

int UnitTable::findByLink(quint64 link) const
{
    if (link == 0)
        return -1;
    for (int i = 0; i < m_count; ++i)
        if (unit(i).link == link)
            return i;
    return -1;
}

int UnitTable::selectedCount() const
{
    int n = 0;
    for (int i = 0; i < m_count; ++i)
        n += unit(i).selected ? 1 : 0;
    return n;
}

void UnitTable::releaseSelectAll()
{
    if (!m_selectAll)
        return;
    m_selectAll = false;
    Q_EMIT selectAllChanged(false);
}

void UnitTable::selectAll(bool down)
{
    m_op.tone(Tone::Button);
    const bool changed = m_selectAll != down;
    m_selectAll = down;
    for (int i = 0; i < m_count; ++i) {
        udppack &u = unit(i);
        u.selected = u.connected || down;
    }
    if (down && !m_current && m_count > 0)
        m_current = m_psvrks[0];
    if (changed)
        Q_EMIT selectAllChanged(down);
    Q_EMIT selectionChanged();
}

bool UnitTable::toggleSelection(int index)
{
    if (index < 0 || index >= m_count)
        return false;
    udppack &u = unit(index);
    if (!u.selected) {
        u.selected = true;
        m_op.tone(Tone::CheckBox);
    } else if (!u.connected) {
        u.selected = false;
    }
    if (!m_current)
        m_current = &u;
    if (!u.selected)
        releaseSelectAll();
    Q_EMIT selectionChanged();
    return u.selected;
}

int UnitTable::rebuildLists(bool all)
{
    for (int i = 0; i < capacity; ++i) {
        m_psvrks[static_cast<std::size_t>(i)] = nullptr;
        if (!all)
            m_active[static_cast<std::size_t>(i)] = nullptr;
    }
    int next = 1;
    int lastPlaced = -1;
    for (int j = 0; j < m_count; ++j) {
        udppack *u = &unit(j);
        m_psvrks[static_cast<std::size_t>(j)] = u;
        if (all)
            continue;
        if (u->connected) {
            m_active[0] = u;
        } else if (u->selected) {
            lastPlaced = next;
            m_active[static_cast<std::size_t>(next++)] = u;
        }
    }
    if (all)
        return m_count;
    if (!m_active[0] && lastPlaced > 0) {
        m_active[0] = m_active[static_cast<std::size_t>(lastPlaced)];
        m_active[static_cast<std::size_t>(lastPlaced)] = nullptr;
    }
    const int n = activeCount();
    return n == 0 ? 1 : n;
}

void UnitTable::sortActiveList(SortOrder order)
{
    const int n = activeCount();
    for (int p = 0; p < n; ++p) {
        int lowest = p;
        QString lowestKey = activeListKey(*m_active[static_cast<std::size_t>(p)], order);
        for (int q = p + 1; q < n; ++q) {
            const QString key = activeListKey(*m_active[static_cast<std::size_t>(q)], order);
            if (QString::compare(key, lowestKey, Qt::CaseSensitive) < 0) {
                lowest = q;
                lowestKey = key;
            }
        }
        if (lowest != p)
            std::swap(m_active[static_cast<std::size_t>(p)], m_active[static_cast<std::size_t>(lowest)]);
    }
}

void UnitTable::swapUnits(int a, int b)
{
    if (a == b)
        return;
    udppack *pa = &unit(a);
    udppack *pb = &unit(b);
    std::swap(*pa, *pb);
    if (m_current == pa)
        m_current = pb;
    else if (m_current == pb)
        m_current = pa;
    if (m_connectedIndex == a)
        m_connectedIndex = b;
    else if (m_connectedIndex == b)
        m_connectedIndex = a;
}

void UnitTable::sort(SortOrder order)
{
    if (order != SortOrder::None) {
        for (int p = 0; p < m_count; ++p) {
            int lowest = p;
            for (int q = p + 1; q < m_count; ++q)
                if (compareUnits(unit(q), unit(lowest), order) < 0)
                    lowest = q;
            swapUnits(p, lowest);
        }
    }
    for (int i = 0; i < m_count; ++i)
        m_psvrks[static_cast<std::size_t>(i)] = &unit(i);
}

} // namespace vork
