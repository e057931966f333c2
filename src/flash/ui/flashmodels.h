#pragma once

#include "core/options.h"
#include "flash/flashimage.h"

#include <QAbstractTableModel>
#include <QColor>

namespace vork {

class FlashRun;
class UnitTable;
struct udppack;

// The progress grid: one row per unit flashed since the tab was entered, over the
// run's rows. The five step columns show a check mark coloured by the step's state.
class FlashProgressModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { C = 0, E, F, R, O, Mac, IPAddress, FlashDate, StartTime, ElapsedTime, OldVersion, NewVersion, Count };
    static constexpr QChar mark = QChar(0x2713);

    FlashProgressModel(const FlashRun &run, const GridColors &colors, QObject *parent = nullptr);

    static QString header(int column);
    static QString headerHint(int column);
    // The colour of a step's mark: passed blue, pending or not confirmed the grid-mark colour, failed red.
    static QColor passedColor() { return QColor(0, 0, 255); }
    static QColor failedColor() { return QColor(255, 0, 0); }
    QColor pendingColor() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void sync();

    const FlashRun &m_run;
    const GridColors &m_colors;
    int m_rows = 0;
};

// The image view of the "HEX FILE" page: the open image's lines, numbered. Text is
// read from the image when asked; nothing is copied per line.
class HexImageModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Number = 0, Record, Count };

    explicit HexImageModel(QObject *parent = nullptr);
    void setImage(const FlashImage &image);
    void clear();
    const FlashImage &image() const { return m_image; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    FlashImage m_image;
};

// The flash unit list: the units to choose from, the "Sel" column their selection.
class FlashUnitModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Sel = 0, Description, Ver, BLV, BuildDate, IPAddress, MACAddress, Rdrs, Flash, Date, Time, Count };

    explicit FlashUnitModel(UnitTable &units, QObject *parent = nullptr);

    static QString header(int column);
    static QString cellText(const udppack &unit, int column);
    // The unit of a row: the active list's order, or the table's when there is no active list.
    udppack *unitAt(int row) const;
    // Reads the table again.
    void refresh();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    UnitTable &m_units;
    int m_rows = 0;
};

} // namespace vork
