#pragma once

#include "monitor/monitorsession.h"

#include <QHash>
#include <QTreeWidget>

namespace vork {

class UnitTable;

// The list and tree views of the MONITOR page: one entry per reader of every
// unit of the active list, with the reader's last read, error and diagnostic.
// Both find their entries by the unit's link, never by a count from the wire.
class MonitorUnitView : public QTreeWidget
{
    Q_OBJECT
public:
    enum class Shape { List, Tree };

    MonitorUnitView(Shape shape, UnitTable &units, QWidget *parent = nullptr);

    Shape shape() const { return m_shape; }
    // Rebuilds from the active unit list.
    void build();
    // Unit titles and reader identifiers by the current choices.
    void applyIdentifiers(UnitIdentifier unit, ReaderIdentifier reader);
    // A unit's read, error and diagnostic texts from its last values.
    void refresh(const udppack &unit);
    // A unit whose link dropped: the not-monitored mark and empty values, with the reason.
    void markNotMonitored(const udppack &unit, const QString &why);
    // Whether a unit's entry (unitItem) carries the monitoring mark.
    static bool showsMonitoring(const QTreeWidgetItem *unitEntry);
    // The entry of a unit's reader: the list row or the tree's reader node; null for none.
    QTreeWidgetItem *readerItem(quint64 link, int reader) const;
    // The item a click opens the details of: the list's reader-0 row, the tree's unit node.
    QTreeWidgetItem *unitItem(quint64 link) const;

    static QString readText(const udppack &unit, int reader);
    static QString errorText(const udppack &unit, int reader);
    static QString diagnosticText(const udppack &unit, int reader);

Q_SIGNALS:
    // The operator asked for the "Reader Details" of a unit.
    void detailsRequested(quint64 link);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void itemChosen(QTreeWidgetItem *item);

    Shape m_shape;
    UnitTable &m_units;
    UnitIdentifier m_unitChoice = UnitIdentifier::Mac;
    ReaderIdentifier m_readerChoice = ReaderIdentifier::Index;
    QHash<quint64, QList<QTreeWidgetItem *>> m_readers; // by link: one entry per reader
    QHash<QTreeWidgetItem *, quint64> m_unitItems;      // items that open the details
    bool m_pressOnButtons = false;
};

} // namespace vork
