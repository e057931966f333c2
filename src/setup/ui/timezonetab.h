#pragma once

#include <QHash>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

namespace vork {

class SetupClock;
class SetupForm;
class UnitServices;

// The "TIME & TIMEZONE" tab: the unit's clock, and the zone part of the form
// (standard list, daylight saving, custom definition as rule lists or code).
class TimeZoneTab : public QWidget
{
    Q_OBJECT
public:
    TimeZoneTab(UnitServices &services, SetupForm &form, QWidget *parent = nullptr);
    ~TimeZoneTab() override;

    QWidget *control(const QString &name) const { return m_controls.value(name); }
    QComboBox *list(const QString &name) const;
    QCheckBox *box(const QString &name) const;
    QLineEdit *code() const;
    QDateEdit *datePicker() const { return m_date; }
    QTimeEdit *timePicker() const { return m_time; }
    QLabel *clockLabel() const { return m_clockLabel; }
    QPushButton *clockUpload() const { return m_clockUp; }
    QPushButton *clockDownload() const { return m_clockDown; }
    QPushButton *nowButton() const { return m_now; }
    QPushButton *decodeButton() const { return m_decode; }
    QPushButton *encodeButton() const { return m_encode; }
    QPushButton *zoneUpload() const { return m_zoneUp; }
    QPushButton *zoneDownload() const { return m_zoneDown; }
    QGroupBox *zoneGroup() const { return m_zoneGroup; }

    void mirror();
    // The unit's mode: the clock and zone transfer buttons work in setup mode only.
    void setUnitActions(bool on);
    void readClock();
    // The rule controls and code show the listed zone's standard rule (a custom zone in use stays).
    void refreshZoneDisplay();
    void setClock();

Q_SIGNALS:
    void edited();
    void zoneUploadRequested();
    void zoneDownloadRequested();

private:
    void changed(const QString &name);

    UnitServices &m_services;
    SetupForm &m_form;
    SetupClock *m_clock;
    QHash<QString, QWidget *> m_controls;
    QDateEdit *m_date;
    QTimeEdit *m_time;
    QLabel *m_clockLabel;
    QPushButton *m_clockUp, *m_clockDown, *m_now, *m_decode, *m_encode, *m_zoneUp, *m_zoneDown;
    QGroupBox *m_zoneGroup;
    bool m_mirroring = false;
};

} // namespace vork
