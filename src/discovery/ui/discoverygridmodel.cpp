#include "discovery/ui/discoverygridmodel.h"

#include "core/operator.h"
#include "core/ui/colors.h"
#include "discovery/discoverycycle.h"
#include "discovery/unitcolumns.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QFont>

#include <algorithm>

namespace vork {

using namespace unitcolumns;

namespace {
const QColor navy{0x00, 0x00, 0x80};
const QColor white{0xFF, 0xFF, 0xFF};
const QColor black{0x00, 0x00, 0x00};
const QColor red{0xFF, 0x00, 0x00};
const QColor green{0x00, 0xFF, 0x00};
const QColor yellow{0xFF, 0xFF, 0x00};
constexpr int textReserve = 4;
constexpr int connectedInset = 15;
} // namespace

DiscoveryGridModel::DiscoveryGridModel(UnitTable &units, QObject *parent) : QAbstractTableModel(parent), m_units(units)
{
    connect(&m_units, &UnitTable::cleared, this, [this] {
        beginResetModel();
        m_rows = 1;
        m_hoverRow = -1;
        endResetModel();
    });
    connect(&m_units, &UnitTable::unitEntered, this, &DiscoveryGridModel::unitEntered);
    connect(&m_units, &UnitTable::selectionChanged, this, [this] {
        Q_EMIT dataChanged(index(0, Sel), index(m_rows - 1, Sel),
                           {BoxColorRole, SelectedRole, Qt::CheckStateRole});
    });
}

int DiscoveryGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int DiscoveryGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count;
}

int DiscoveryGridModel::wantedRows() const
{
    // Like the grid it replaces: never fewer than one row below the header.
    return m_listComplete ? std::max(1, m_units.count()) : 1;
}

void DiscoveryGridModel::syncRowCount()
{
    const int wanted = wantedRows();
    if (wanted > m_rows) {
        beginInsertRows({}, m_rows, wanted - 1);
        m_rows = wanted;
        endInsertRows();
    } else if (wanted < m_rows) {
        beginRemoveRows({}, wanted, m_rows - 1);
        m_rows = wanted;
        endRemoveRows();
    }
}

void DiscoveryGridModel::unitEntered(int index, bool)
{
    if (!m_listComplete)
        return;
    syncRowCount();
    if (index >= 0 && index < m_rows)
        Q_EMIT dataChanged(this->index(index, 0), this->index(index, Count - 1));
}

udppack *DiscoveryGridModel::unitAt(int row) const
{
    if (!m_listComplete || row < 0 || row >= m_units.count() || row >= m_rows)
        return nullptr;
    return m_units.psvrks(row);
}

void DiscoveryGridModel::setListComplete(bool complete)
{
    if (m_listComplete == complete)
        return;
    beginResetModel();
    m_listComplete = complete;
    m_rows = wantedRows();
    endResetModel();
}

void DiscoveryGridModel::followCycle(DiscoveryCycle &cycle)
{
    connect(&cycle, &DiscoveryCycle::started, this, [this, &cycle] { setListComplete(cycle.listComplete()); });
    // Sorting moves whole records between slots: every row may change.
    connect(&cycle, &DiscoveryCycle::listSorted, this, [this] {
        beginResetModel();
        m_listComplete = true;
        m_rows = wantedRows();
        endResetModel();
    });
}

void DiscoveryGridModel::setHoverRow(int row)
{
    if (row == m_hoverRow)
        return;
    const int old = m_hoverRow;
    m_hoverRow = row;
    for (int r : {old, row})
        if (r >= 0 && r < m_rows)
            Q_EMIT dataChanged(index(r, 0), index(r, Count - 1));
}

void DiscoveryGridModel::setOptions(const TOptions &options)
{
    m_options = options;
    refreshAll();
}

void DiscoveryGridModel::setColors(const GridColors &colors)
{
    m_colors = colors;
    refreshAll();
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, Count - 1);
}

QColor DiscoveryGridModel::modelColor(int model) const
{
    switch (model) {
    case 0: return m_model0;
    case 1: return m_model1;
    case 2: return {0x47, 0x77, 0xB5};
    case 3: return {0xDE, 0x8B, 0x10};
    case 4:
    case 5: return {0xEF, 0x8D, 0xE7};
    case 6: return {0xAB, 0x38, 0xA1};
    case 7: return {0x4A, 0xCC, 0xC6};
    default: return {};
    }
}

void DiscoveryGridModel::setModel1Color(const QColor &c)
{
    m_model1 = c;
    refreshAll();
}

void DiscoveryGridModel::setModel0Color(const QColor &c)
{
    m_model0 = c;
    refreshAll();
}

QColor DiscoveryGridModel::modelMark(const udppack &unit) const
{
    if (unit.model == 8 || unit.model == 9) {
        if (versionNumber(unit.ver) == 501)
            return yellow;
        // The newer models borrow the standard and EtherNet/IP colours, overrides included.
        return unit.ncp != 0 ? m_model0 : m_model1;
    }
    return modelColor(unit.model);
}

QString DiscoveryGridModel::headerHint(int column)
{
    switch (column) {
    case Sel: return QStringLiteral("Click to Select - Selects unit(s) to be Monitored");
    case Description: return descriptionHint();
    case RunTime: return QStringLiteral("Days:Hours:Minutes");
    case Connect: return QStringLiteral("Connections:\rC=Control\rE=EthernetIP\rS=Server\rR=Remote\rT=Telnet");
    default: return {};
    }
}

QString DiscoveryGridModel::descriptionHint()
{
    return QStringLiteral("Click Description to Connect\n\rRight Click for Menu Options");
}

void DiscoveryGridModel::refreshUnit(int tableIndex)
{
    if (tableIndex >= 0 && tableIndex < m_rows)
        Q_EMIT dataChanged(index(tableIndex, 0), index(tableIndex, Count - 1));
}

void DiscoveryGridModel::refreshAll()
{
    if (m_rows > 0)
        Q_EMIT dataChanged(index(0, 0), index(m_rows - 1, Count - 1));
}

bool DiscoveryGridModel::connectionShown(const udppack &unit) const
{
    return unit.connected && m_units.current() == &unit;
}

QVariant DiscoveryGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= Count)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
    case Qt::DisplayRole: return header(section);
    case Qt::ToolTipRole: {
        const QString hint = headerHint(section);
        return hint.isEmpty() ? QVariant() : QVariant(displayText(hint));
    }
    case Qt::BackgroundRole: return toQColor(m_colors.GridFixed);
    case Qt::ForegroundRole: return toQColor(m_colors.GridFixedFont);
    case BoldRole: return m_colors.GridHeaderBold;
    case Qt::FontRole: {
        QFont font;
        font.setBold(m_colors.GridHeaderBold);
        return font;
    }
    default: return {};
    }
}

QVariant DiscoveryGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows || index.column() >= Count)
        return {};
    udppack *unit = unitAt(index.row());
    if (role == UnitRowRole)
        return unit != nullptr;
    if (!unit) {
        switch (role) {
        case Qt::BackgroundRole: return toQColor(m_colors.Grid);
        case TextColorRole:
        case Qt::ForegroundRole: return toQColor(m_colors.GridFont);
        default: return {};
        }
    }
    return unitData(*unit, index.row(), index.column(), role);
}

QVariant DiscoveryGridModel::unitData(udppack &unit, int row, int column, int role) const
{
    const QColor gridColor = toQColor(m_colors.Grid);
    const QColor fontColor = toQColor(m_colors.GridFont);
    const bool hovered = row == m_hoverRow;

    if (role == Qt::DisplayRole) {
        if (column == Sel)
            return {};
        return cellText(unit, column, connectionShown(unit));
    }

    if (column == Sel) {
        switch (role) {
        case SelectedRole: return unit.selected;
        case Qt::CheckStateRole: return unit.selected ? Qt::Checked : Qt::Unchecked;
        case BoxColorRole:
            if (unit.selected)
                return toQColor(m_colors.GridMark);
            return m_colors.ShowBox ? fontColor : gridColor;
        case Qt::BackgroundRole: return gridColor;
        case TextColorRole:
        case Qt::ForegroundRole: return fontColor;
        default: return {};
        }
    }

    if (column == Description) {
        const bool open = unit.connected;
        switch (role) {
        case ConnectedRole: return open;
        case FillRole:
            if (!open)
                return {};
            return hovered ? navy : gridColor;
        case Qt::BackgroundRole: return open && hovered ? navy : gridColor;
        case TextColorRole:
        case Qt::ForegroundRole: return open && hovered ? white : fontColor;
        case BoldRole: return open || hovered || m_colors.GridBold;
        case FrameRole: return open ? red : QVariant();
        case ShortenInsetRole: return open ? connectedInset : 0;
        default: return {};
        }
    }

    // Columns 2 to 12.
    QColor fill;
    QColor frame;
    QColor mark;
    QColor text = fontColor;
    int reserve = 0;
    if (column == Ver) {
        if (unit.update < 1 || unit.update > 3)
            unit.update = 0;
        if (unit.update != 0) {
            frame = unit.update == 1 ? green : unit.update == 2 ? red : yellow;
            text = white;
        } else if (m_options.DisplayModelIcon) {
            mark = modelMark(unit);
        }
        if (m_options.DisplayModelIcon)
            reserve = textReserve;
    } else if (column == Date || column == Time) {
        bool critical = false;
        bool warning = false;
        if (column == Date) {
            critical = m_options.CritDate && unit.dateoff;
        } else if (m_options.TimeWarnLow != 0) {
            critical = unit.minutesoff > m_options.TimeWarnHigh;
            warning = !critical && unit.minutesoff >= m_options.TimeWarnLow;
        }
        if (critical) {
            fill = toQColor(m_options.CritColor);
            if (m_options.CritFontBlk)
                text = black;
        } else if (warning) {
            fill = toQColor(m_options.Warncolor);
            if (m_options.WarnFontBlk)
                text = black;
        }
    } else if (column == RunTime) {
        reserve = textReserve;
        if (m_options.RebootWarn != 0 && unit.rt < static_cast<std::uint32_t>(m_options.RebootWarn) * 3600u)
            mark = toQColor(m_options.Warncolor);
    }

    switch (role) {
    case FillRole: return fill.isValid() ? QVariant(fill) : QVariant();
    case Qt::BackgroundRole: return fill.isValid() ? fill : gridColor;
    case TextColorRole:
    case Qt::ForegroundRole: return text;
    case BoldRole: return m_colors.GridBold;
    case FrameRole: return frame.isValid() ? QVariant(frame) : QVariant();
    case MarkRole: return mark.isValid() ? QVariant(mark) : QVariant();
    case TextReserveRole: return reserve;
    case Qt::TextAlignmentRole: return int(Qt::AlignHCenter | Qt::AlignTop);
    default: return {};
    }
}

} // namespace vork
