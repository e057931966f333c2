#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>

class QLabel;
class QTreeWidget;

namespace vork {

class MonitorSession;
class UnitTable;
struct udppack;

// "Reader Details": one unit's identity and each reader's last label, error and
// diagnostic, rewritten every few seconds while records keep only the values current.
class ReaderDetails : public QDialog
{
    Q_OBJECT
public:
    static constexpr int refreshMs = 3000;

    ReaderDetails(MonitorSession &session, UnitTable &units, quint64 link, QWidget *parent = nullptr);
    ~ReaderDetails() override;

    // Window height by reader count.
    static int heightFor(int readers);
    // "hh:mm:ss  dd-MON-yyyy" of the unit's clock as announced.
    static QString clockText(const udppack &unit);
    // A reader's cell: the unit's reader address, padded to 8 with leading blanks.
    static QString readerCell(const udppack &unit, int reader);
    // The unit's identity lines as shown, by caption.
    QString infoText(const QString &caption) const;

    QTreeWidget *readers() const { return m_readers; }
    const QTimer &timer() const { return m_timer; }
    // Rewrites the value columns from the unit's last values.
    void refresh();

protected:
    void done(int result) override;

private:
    // The window may outlive the session at shutdown.
    QPointer<MonitorSession> m_session;
    UnitTable &m_units;
    quint64 m_link;
    QTreeWidget *m_readers;
    QList<QPair<QString, QLabel *>> m_info;
    QTimer m_timer;
};

} // namespace vork
