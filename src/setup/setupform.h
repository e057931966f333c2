#pragma once

#include "setup/setupoptions.h"
#include "setup/setuprecord.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <span>

namespace vork {

class Operator;

// The groups of the setup form; the network port has its standard and its
// EtherNet/IP controls, of which one set is brought forward.
enum class FormGroup { General, NetworkPort, NetworkStd, NetworkEip, SerialPort, Auxiliary, Security, TimeZone, Rules };

enum class ControlKind { Text, Check, Choice, Spin, Radio };

// How a control's value meets the record.
enum class Binding {
    None,    // no field, or handled by the form itself
    Text,    // the field's text (IP texts, 24-bit numbers, addresses, the description)
    Bool,    // a Boolean field
    Index,   // a byte field as list position (a value past the list shows nothing)
    Number,  // a byte or word field in a spin box
    Diag,    // checked only when the field is exactly 1
};

// One control of the form: its component name, caption and hint, what it is,
// where it sits and which field it shows.
struct FormControl
{
    const char *name;
    const char *caption;
    const char *hint;
    ControlKind kind;
    FormGroup group;
    const char *field; // null: none
    Binding binding;
    std::span<const char *const> choices;
    int min = 0;
    int max = 0;

    QString controlName() const { return QString::fromLatin1(name); }
};

std::span<const FormControl> formControls();
const FormControl *formControl(const QString &name);
QString formGroupTitle(FormGroup group);

// The state of the setup form without any widget: control values, what is
// enabled and shown, the record last received and the outgoing record built
// from the controls, and the rules between them. The page's widgets only mirror it.
class SetupForm
{
public:
    struct Context
    {
        int versionNumber = 0;
        bool standardFamily = true; // below 5.0.0 the family decides STD or EIP
        bool connected = false;
        QString mac;
    };

    explicit SetupForm(Operator &op);

    // Values: QString for text, bool for boxes and radio buttons, int for lists (-1: none) and spin boxes.
    QVariant value(const QString &name) const { return m_values.value(name); }
    QString text(const QString &name) const { return m_values.value(name).toString(); }
    bool checked(const QString &name) const { return m_values.value(name).toBool(); }
    int index(const QString &name) const { return m_values.value(name, -1).toInt(); }
    // Sets a value as the operator would, without running the rules (edited() does).
    void setValue(const QString &name, const QVariant &value) { m_values.insert(name, value); }
    bool isEnabled(const QString &name) const;
    bool isVisible(const QString &name) const { return !m_hidden.contains(name); }
    // A control's caption as it stands (some change with the form).
    QString caption(const QString &name) const;
    QString hint(const QString &name) const;
    QStringList choices(const QString &name) const;
    bool groupsEnabled() const { return m_groupsEnabled; }

    // A record into the form; length: bytes it had.
    void show(const setuppack &record, int length, const Context &context);
    // The outgoing record from the controls; false for an invalid custom zone.
    bool build();
    // Every control empty; nothing shown.
    void clear();
    void loadDefaults();
    // After the operator changed a control: dependent controls and change tracking.
    void edited(const QString &sender);
    void setConnected(bool connected) { m_context.connected = connected; }
    // A download the unit confirmed: the record is the unit's now.
    void confirmed(const setuppack &record);

    // "STD" or "EIP" chosen.
    void selectProtocol(bool standard);
    bool stdSelected() const { return checked(QStringLiteral("RBstd")); }
    bool eipForward() const;
    QString networkGroupLabel() const { return eipForward() ? QStringLiteral("EthernetIP") : QStringLiteral("Standard"); }
    bool serialDisabledMarker() const { return checked(QStringLiteral("RBeip")); }

    // The kept values of the "Network Fault Monitoring" and "Watchdog" boxes.
    std::uint8_t nfmValue() const { return m_nfm; }
    void setNfmValue(std::uint8_t v);
    std::uint8_t wdtValue() const { return m_wdt; }
    void setWdtValue(std::uint8_t v);
    bool monitorWasOn() const { return m_monitorWasOn; }
    AdvancedSettings &advanced() { return m_advanced; }
    const AdvancedSettings &advanced() const { return m_advanced; }
    void loadAdvancedDefaults();
    // The password window's "Password" and "Password Confirm".
    QString password;
    QString passwordConfirm;

    // Time zone: a list choice shows its standard rule, a code fills the rule lists.
    void zoneChosen(int index);
    void decodeZone(const QString &code);
    QString encodeZone() const;
    void ruleTypeChanged(bool start);
    // Whether the zone "Download" has anything to send.
    bool zoneChanged() const;
    // The zone list position and the custom switch into the outgoing record.
    void takeZoneIntoOutgoing();

    const setuppack &received() const { return m_received; }
    const setuppack &outgoing() const { return m_outgoing; }
    int receivedLength() const { return m_length; }
    const Context &context() const { return m_context; }
    bool shown() const { return m_shown; }
    bool filling() const { return m_filling; }
    bool changesPending() const { return m_pending; }
    bool inSync() const { return m_inSync; }
    bool advancedChanged() const { return m_advancedChanged; }
    bool singleSize() const { return m_advanced.singleSize; }
    bool v264() const { return m_advanced.v264; }
    bool downloadEnabled() const { return m_shown && m_context.connected && m_pending; }
    bool saveEnabled() const { return m_shown; }
    bool printEnabled() const { return m_shown && !m_pending; }

    static QString markerHint() { return QStringLiteral("Configuration changes have been made"); }
    static QString serialMarkerText() { return QStringLiteral("Serial Control Port disabled for EIP units"); }

private:
    void applyRules();
    void track();

    Operator &m_op;
    Context m_context;
    QHash<QString, QVariant> m_values;
    QSet<QString> m_disabled; // controls disabled on their own
    QSet<QString> m_hidden;
    setuppack m_received;
    setuppack m_outgoing;
    AdvancedSettings m_advanced;
    int m_length = 0;
    std::uint8_t m_nfm = 0;
    std::uint8_t m_wdt = 0;
    bool m_monitorWasOn = false;
    bool m_shown = false;
    bool m_groupsEnabled = false;
    bool m_filling = false;
    bool m_pending = false;
    bool m_inSync = false;
    bool m_advancedChanged = false;
    bool m_dstAvailable = false;
    QString m_plcText; // the PLC IP as last shown
};

} // namespace vork
