#include "flash/ui/flashmodels.h"

#include "core/ui/colors.h"
#include "discovery/unitcolumns.h"
#include "flash/flashrun.h"
#include "flash/flashstatus.h"
#include "unit/unittable.h"

namespace vork {

// --- progress grid ---------------------------------------------------------

FlashProgressModel::FlashProgressModel(const FlashRun &run, const GridColors &colors, QObject *parent)
    : QAbstractTableModel(parent), m_run(run), m_colors(colors)
{
    m_rows = int(run.rows().size());
    connect(&run, &FlashRun::rowAdded, this, [this] { sync(); });
    connect(&run, &FlashRun::rowsCleared, this, [this] { sync(); });
    connect(&run, &FlashRun::rowChanged, this, [this](int row) {
        sync();
        if (row >= 0 && row < m_rows)
            Q_EMIT dataChanged(index(row, 0), index(row, Count - 1));
    });
}

QString FlashProgressModel::header(int column)
{
    static const char *const headers[Count] = {"C", "E", "F", "R", "O", "MAC", "IP Address", "Flash Date",
                                               "Start Time", "Elapsed Time", "Old Version", "New Version"};
    return column >= 0 && column < Count ? QString::fromLatin1(headers[column]) : QString();
}

QString FlashProgressModel::headerHint(int column)
{
    static const char *const hints[] = {"Flash Command Sent", "Flash Erased Confirmed", "File Sent", "Reboot Confirmed",
                                        "Flash Overall Pass/Fail"};
    return column >= C && column <= O ? QString::fromLatin1(hints[column]) : QString();
}

QColor FlashProgressModel::pendingColor() const
{
    return toQColor(m_colors.GridMark);
}

void FlashProgressModel::sync()
{
    const int now = int(m_run.rows().size());
    if (now == m_rows)
        return;
    if (now > m_rows) {
        beginInsertRows({}, m_rows, now - 1);
        m_rows = now;
        endInsertRows();
    } else {
        beginResetModel();
        m_rows = now;
        endResetModel();
    }
}

int FlashProgressModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int FlashProgressModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count;
}

QVariant FlashProgressModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows || index.row() >= m_run.rows().size())
        return {};
    const FlashRun::Row &row = m_run.rows().at(index.row());
    const int column = index.column();
    if (column <= O) {
        const auto state = flashstatus::state(row.status, column);
        if (role == Qt::DisplayRole)
            return state == flashstatus::StepState::None ? QString() : QString(mark);
        if (role == Qt::ForegroundRole) {
            switch (state) {
            case flashstatus::StepState::Passed: return passedColor();
            case flashstatus::StepState::Pending: return pendingColor();
            case flashstatus::StepState::Failed: return failedColor();
            case flashstatus::StepState::None: return {};
            }
        }
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        if (role == Qt::ToolTipRole)
            return headerHint(column);
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (column) {
    case Mac: return row.mac;
    case IPAddress: return row.ip;
    case FlashDate: return row.flashDate;
    case StartTime: return row.startTime;
    case ElapsedTime: return row.elapsed;
    case OldVersion: return row.oldVersion;
    case NewVersion: return row.newVersion;
    default: return {};
    }
}

QVariant FlashProgressModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return header(section);
    if (role == Qt::ToolTipRole && section <= O)
        return headerHint(section);
    return {};
}

// --- image view ------------------------------------------------------------

HexImageModel::HexImageModel(QObject *parent) : QAbstractTableModel(parent) {}

void HexImageModel::setImage(const FlashImage &image)
{
    beginResetModel();
    m_image = image; // the list is shared with the run's copy, not duplicated
    endResetModel();
}

void HexImageModel::clear()
{
    setImage({});
}

int HexImageModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_image.lineCount();
}

int HexImageModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count;
}

QVariant HexImageModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_image.lineCount())
        return {};
    return index.column() == Number ? QVariant(index.row() + 1) : QVariant(m_image.lines.at(index.row()));
}

QVariant HexImageModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == Number ? QStringLiteral("Line") : QStringLiteral("Record");
}

// --- unit list -------------------------------------------------------------

FlashUnitModel::FlashUnitModel(UnitTable &units, QObject *parent) : QAbstractTableModel(parent), m_units(units)
{
    refresh();
    connect(&units, &UnitTable::selectionChanged, this, &FlashUnitModel::refresh);
    connect(&units, &UnitTable::unitEntered, this, &FlashUnitModel::refresh);
    connect(&units, &UnitTable::cleared, this, &FlashUnitModel::refresh);
}

QString FlashUnitModel::header(int column)
{
    static const char *const headers[Count] = {"Sel",  "SVRK Flash List", "Ver",   "BLV",  "Build Date", "IP Address",
                                               "MAC Address", "Rdrs", "Flash", "Date", "Time"};
    return column >= 0 && column < Count ? QString::fromLatin1(headers[column]) : QString();
}

QString FlashUnitModel::cellText(const udppack &unit, int column)
{
    switch (column) {
    case Description: return unit.desc;
    case Ver:
        // Model 8 and up carry no variant letter.
        return unit.vnumber + (unit.model >= 8 ? QString() : (unit.model & 1) ? QStringLiteral("e") : QStringLiteral("s"));
    case BLV: return unit.blv;
    case BuildDate: return unit.vbuild;
    case IPAddress: return unit.ip;
    case MACAddress: return unit.mac;
    case Rdrs: return QString::number(unit.ver.vrcnt);
    case Flash: return unitcolumns::flashCell(unit);
    case Date: return unitcolumns::dateCell(unit);
    case Time: return unitcolumns::timeCell(unit);
    default: return {};
    }
}

udppack *FlashUnitModel::unitAt(int row) const
{
    if (row < 0 || row >= m_rows)
        return nullptr;
    if (m_units.activeCount() > 0)
        return row < UnitTable::capacity ? m_units.active(row) : nullptr;
    return row < m_units.count() ? &m_units.unit(row) : nullptr;
}

void FlashUnitModel::refresh()
{
    const int rows = m_units.activeCount() > 0 ? qMin(m_units.activeCount(), int(UnitTable::capacity)) : m_units.count();
    // The same number of rows keeps the view's place (a Sel toggle from the keyboard).
    if (rows == m_rows) {
        if (rows > 0)
            Q_EMIT dataChanged(index(0, 0), index(rows - 1, Count - 1));
        return;
    }
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

int FlashUnitModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int FlashUnitModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count;
}

QVariant FlashUnitModel::data(const QModelIndex &index, int role) const
{
    const udppack *u = index.isValid() ? unitAt(index.row()) : nullptr;
    if (!u)
        return {};
    if (index.column() == Sel)
        return role == Qt::CheckStateRole ? QVariant(u->selected ? Qt::Checked : Qt::Unchecked) : QVariant();
    return role == Qt::DisplayRole ? QVariant(cellText(*u, index.column())) : QVariant();
}

bool FlashUnitModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    udppack *u = index.isValid() && index.column() == Sel && role == Qt::CheckStateRole ? unitAt(index.row()) : nullptr;
    if (!u)
        return false;
    if ((value.toInt() == Qt::Checked) != u->selected)
        m_units.toggleSelection(m_units.indexOf(u)); // the table's rules: a connected unit stays selected
    Q_EMIT dataChanged(index, index);
    return true;
}

Qt::ItemFlags FlashUnitModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == Sel)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant FlashUnitModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return header(section);
}

} // namespace vork
