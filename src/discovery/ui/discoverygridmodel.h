#pragma once

#include "core/options.h"

#include <QAbstractTableModel>
#include <QColor>

namespace vork {

class DiscoveryCycle;
class UnitTable;
struct udppack;

// The discovery list over the unit table. Cell texts are computed from the
// records on request; the drawing decisions are exposed as roles so the
// delegate only paints what the model decided.
class DiscoveryGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role {
        // Column 0: colour of the selection square (mark colour when selected).
        BoxColorRole = Qt::UserRole + 1,
        // Column 0: the unit is selected (check mark).
        SelectedRole,
        // The row draws a unit (list complete and a unit in the slot).
        UnitRowRole,
        // Column 1: the unit's TCP connection is open.
        ConnectedRole,
        // Cell fill; invalid for the plain grid colour.
        FillRole,
        TextColorRole,
        BoldRole,
        // Frame around the cell; invalid for none.
        FrameRole,
        // 7-pixel mark at the cell's right edge; invalid for none.
        MarkRole,
        // Pixels the text counts wider when deciding whether to centre it.
        TextReserveRole,
        // Column 1: pixels taken off the column width before shortening.
        ShortenInsetRole,
    };

    static constexpr int markWidth = 7;

    explicit DiscoveryGridModel(UnitTable &units, QObject *parent = nullptr);

    UnitTable &units() const { return m_units; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The unit drawn in row, or nullptr for an empty row.
    udppack *unitAt(int row) const;
    bool isUnitRow(int row) const { return unitAt(row) != nullptr; }

    // Rows draw units only while the list is complete (a sorted cycle fills it at the end).
    bool listComplete() const { return m_listComplete; }
    void setListComplete(bool complete);
    // Follows a cycle: blank while a sorted cycle collects, rebuilt when it sorts.
    void followCycle(DiscoveryCycle &cycle);

    int hoverRow() const { return m_hoverRow; }
    void setHoverRow(int row);

    const TOptions &options() const { return m_options; }
    void setOptions(const TOptions &options);
    const GridColors &colors() const { return m_colors; }
    void setColors(const GridColors &colors);

    // Model marks of EtherNet/IP (model 1) and standard (model 0) units; -EIP / -STD on the command line.
    QColor modelColor(int model) const;
    void setModel1Color(const QColor &c);
    void setModel0Color(const QColor &c);
    // Colour of the model mark of a unit; invalid for a model without one.
    QColor modelMark(const udppack &unit) const;

    // Header hints as written (line breaks not yet normalised).
    static QString headerHint(int column);
    static QString descriptionHint();

    // Repaint one unit's row, or every row (connection or option changes).
    void refreshUnit(int tableIndex);
    void refreshAll();

private:
    void unitEntered(int index, bool added);
    void syncRowCount();
    int wantedRows() const;
    QVariant unitData(udppack &unit, int row, int column, int role) const;
    bool connectionShown(const udppack &unit) const;

    UnitTable &m_units;
    TOptions m_options;
    GridColors m_colors;
    QColor m_model0{0x7C, 0xA7, 0xDF};
    QColor m_model1{0xF8, 0x99, 0x09};
    bool m_listComplete = true;
    int m_rows = 1;
    int m_hoverRow = -1;
};

} // namespace vork
