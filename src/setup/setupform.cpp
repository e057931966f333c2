#include "setup/setupform.h"

#include "core/operator.h"
#include "setup/setupchecks.h"
#include "setup/timezones.h"

namespace vork {

namespace {

using K = ControlKind;
using G = FormGroup;
using B = Binding;

constexpr const char *masks[] = {"255.255.255.0", "255.255.0.0", "255.0.0.0"};
constexpr const char *ethernet[] = {"10 mbps Half Duplex", "10 mbps Full  Duplex", "100 mbps Half Duplex",
                                    "100 mbps Full  Duplex", "Auto Negotiate"};
constexpr const char *modes[] = {"Poll", "Handshake"};
constexpr const char *netProtocols[] = {"Ascii", "Classic"};
constexpr const char *roles[] = {"Server", "Client"};
constexpr const char *serialProtocols[] = {"Ascii", "Classic", "Device Net"};
constexpr const char *bauds[] = {"600", "1200", "2400", "4800", "9600", "19200", "38400", "57600"};
constexpr const char *parities[] = {"None", "Odd"};
constexpr const char *auxModes[] = {"OS Console", "Bluetooth Interface"};
constexpr const char *none[] = {""};

constexpr std::span<const char *const> noChoices{none, 0};

// One row per control, in the order of the form's groups.
const FormControl controls[] = {
    {"edesc", "Unit Description", nullptr, K::Text, G::General, "desc", B::Text, noChoices},
    {"cbndhcp", "DHCP", nullptr, K::Check, G::General, "ndhcp", B::Bool, noChoices},
    {"enrip", "IP", nullptr, K::Text, G::General, "nrip", B::Text, noChoices},
    {"CBnrm", "Subnet Mask", nullptr, K::Text, G::General, "nrm", B::Text, masks},
    {"endg", "Gateway", nullptr, K::Text, G::General, "ndg", B::Text, noChoices},
    {"entsvr", "Time Server IP", nullptr, K::Text, G::General, "ntsvr", B::Text, noChoices},
    {"entsuf", "Time Server Update Frequency", nullptr, K::Text, G::General, "ntsuf", B::Text, noChoices},
    {"edsd", "Diagnostic Start Delay ", "Quiet time before start (tenths of seconds)", K::Text, G::General, "dsd",
     B::Text, noChoices},
    {"edfd", "Diagnostic Finish Delay", "Buffer fill timeout (tenths of seconds)", K::Text, G::General, "dfd", B::Text,
     noChoices},
    {"Edrt", "Diagnostic Restart Delay", nullptr, K::Text, G::General, "drt", B::Text, noChoices},
    {"SEka", "Interval", nullptr, K::Spin, G::General, "nka", B::Number, noChoices, 0, 65535},
    // 0 is shown as it came: the checks before a download refuse it with an interval.
    {"SEkar", "Retries", nullptr, K::Spin, G::General, "nkar", B::Number, noChoices, 0, 255},
    {"CBwdt", "Watchdog", nullptr, K::Check, G::General, nullptr, B::None, noChoices},
    {"CBwdt31", "WDT at 31", nullptr, K::Check, G::General, "wdt31", B::Bool, noChoices},
    {"CBnfm", "Network Fault Monitoring", nullptr, K::Check, G::General, nullptr, B::None, noChoices},
    {"Cbe99", "History E99", nullptr, K::Check, G::General, "e99", B::Bool, noChoices},
    {"CBtenths", "Tenths", nullptr, K::Check, G::General, "tenths", B::Bool, noChoices},
    {"CBrcmd", "'R' command ", nullptr, K::Check, G::General, "rcmd", B::Bool, noChoices},
    {"CBxEthp", "Ethernet", nullptr, K::Choice, G::General, "ethp", B::Index, ethernet},
    {"CBuats", "Use Alt Time Source", nullptr, K::Check, G::General, "uats", B::Bool, noChoices},
    {"CBfirewall", "Firewall", nullptr, K::Check, G::General, "firewall", B::Bool, noChoices},
    {"Eemac", "MAC:", nullptr, K::Text, G::General, nullptr, B::None, noChoices},

    {"CBna", "Enabled", nullptr, K::Check, G::NetworkPort, "na", B::Bool, noChoices},
    {"RBstd", "STD", nullptr, K::Radio, G::NetworkPort, nullptr, B::None, noChoices},
    {"RBeip", "EIP", nullptr, K::Radio, G::NetworkPort, nullptr, B::None, noChoices},
    {"cbxnmode", "Mode", nullptr, K::Choice, G::NetworkStd, "nmode", B::Index, modes},
    {"cbxnpro", "Protocol", nullptr, K::Choice, G::NetworkStd, "npro", B::Index, netProtocols},
    {"cbxntyp", "Client/Server", nullptr, K::Choice, G::NetworkStd, "ntyp", B::Index, roles},
    {"ensip", "Server IP", nullptr, K::Text, G::NetworkStd, "nsip", B::Text, noChoices},
    {"enprt", "Port #", nullptr, K::Text, G::NetworkStd, "nprt", B::Text, noChoices},
    {"cbndiag", "Diagnostics", nullptr, K::Check, G::NetworkStd, "ndiag", B::Diag, noChoices},
    {"cbnerr", "Errors", nullptr, K::Check, G::NetworkStd, "nerr", B::Bool, noChoices},
    {"cbnpad", "Pad", "Pad sent messages with * character", K::Check, G::NetworkStd, "npad", B::Bool, noChoices},
    // The field is one byte: the box holds no more.
    {"SEnrtcnt", "Retransmit Close Count", "Number of retransmits without an ack before socket is closed", K::Spin,
     G::NetworkStd, "nrtcnt", B::Number, noChoices, 0, 255},
    {"enaddr", "Address", "Classic Range 0-255, ASCII Range 0-9999", K::Text, G::NetworkStd, "naddr", B::Text,
     noChoices},
    {"CBeipDiags", "Send Diagnostics", nullptr, K::Check, G::NetworkPort, "eipDiags", B::Bool, noChoices},
    {"CBeipDataLoss", "Close Connection on Data Loss", nullptr, K::Check, G::NetworkEip, nullptr, B::None, noChoices},
    {"CBeipReply", "Enable UDP Broadcast Reply", nullptr, K::Check, G::NetworkEip, nullptr, B::None, noChoices},
    {"EeipPLC", "PLC IP", "Only Allow Connection from this IP address. 0.0.0.0 Disables this feature", K::Text,
     G::NetworkEip, nullptr, B::None, noChoices},

    {"cbcpa", "Enabled", nullptr, K::Check, G::SerialPort, nullptr, B::None, noChoices},
    {"cbxcmode", "Mode", nullptr, K::Choice, G::SerialPort, "cmode", B::Index, modes},
    {"cbxcpro", "Protocol", nullptr, K::Choice, G::SerialPort, "cpro", B::Index, serialProtocols},
    {"ecaddr", "Address (0-255)", nullptr, K::Text, G::SerialPort, "caddr", B::Text, noChoices},
    {"cbxcbaud", "Baud", nullptr, K::Choice, G::SerialPort, "cbaud", B::Index, bauds},
    {"cbxcpar", "Parity", nullptr, K::Choice, G::SerialPort, "cpar", B::Index, parities},
    {"cbcdiag", "Diagnostics", nullptr, K::Check, G::SerialPort, "cdiag", B::Diag, noChoices},
    {"cbcerr", "Errors", nullptr, K::Check, G::SerialPort, "cerr", B::Bool, noChoices},

    {"cbxabaud", "Baud", nullptr, K::Choice, G::Auxiliary, "abaud", B::Index, bauds},
    {"cbxapar", "Parity", nullptr, K::Choice, G::Auxiliary, "apar", B::Index, parities},
    {"cbxafunc", "Mode", nullptr, K::Choice, G::Auxiliary, "afunc", B::Index, auxModes},

    {"cbpwp", "Password Protect", nullptr, K::Check, G::Security, "pwp", B::Bool, noChoices},

    {"CBtimezone", "Timezone Offset From GMT", nullptr, K::Choice, G::TimeZone, nullptr, B::None, noChoices},
    {"CBdst", "DST on/off", "Enable/Disable Daylight saving time", K::Check, G::TimeZone, "dst", B::Bool, noChoices},
    {"CButzo", "Define Custom Timezone", nullptr, K::Check, G::TimeZone, "utzo", B::Bool, noChoices},
    {"Etzcode", "Timezone Code", "Use Alternate TimeZone Definition", K::Text, G::TimeZone, nullptr, B::None,
     noChoices},
    {"CBstartmonth", "Start Month", nullptr, K::Choice, G::Rules, nullptr, B::None, noChoices},
    {"CBstarttype", "Start Type", nullptr, K::Choice, G::Rules, nullptr, B::None, noChoices},
    {"CBstartday", "Start Day", nullptr, K::Choice, G::Rules, nullptr, B::None, noChoices},
    {"CBstarthour", "Start Time", nullptr, K::Choice, G::Rules, nullptr, B::None, noChoices},
    {"CBendmonth", "End Month", nullptr, K::Choice, G::Rules, nullptr, B::None, noChoices},
    {"CBendtype", "End Type", nullptr, K::Choice, G::Rules, nullptr, B::None, noChoices},
    {"CBendday", "End Day", nullptr, K::Choice, G::Rules, nullptr, B::None, noChoices},
    {"CBendhour", "End Time", nullptr, K::Choice, G::Rules, nullptr, B::None, noChoices},
    {"CBobserve", "Observe Daylight Saving Time", nullptr, K::Check, G::Rules, nullptr, B::None, noChoices},
};

QString n(const char *name)
{
    return QString::fromLatin1(name);
}

const QString zeroIp = QStringLiteral("0.0.0.0");
constexpr int descMax = 63;
constexpr std::uint8_t bluetooth = 1;
constexpr std::uint8_t baud57600 = 7;
constexpr int client = 1;
constexpr int version500 = 500;

} // namespace

std::span<const FormControl> formControls()
{
    return controls;
}

const FormControl *formControl(const QString &name)
{
    for (const FormControl &c : controls)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

QString formGroupTitle(FormGroup group)
{
    switch (group) {
    case G::General: return QStringLiteral("GENERAL SETUP");
    case G::NetworkPort:
    case G::NetworkStd:
    case G::NetworkEip: return QStringLiteral("NETWORK CONTROL PORT");
    case G::SerialPort: return QStringLiteral("SERIAL CONTROL PORT");
    case G::Auxiliary: return QStringLiteral("AUXILIARY PORT");
    case G::Security: return QStringLiteral("SECURITY");
    case G::TimeZone: return QStringLiteral("Time Zone Definition");
    case G::Rules: return QStringLiteral("Custom Time Zone Definition");
    }
    return {};
}

SetupForm::SetupForm(Operator &op) : m_op(op)
{
    clear();
}

bool SetupForm::isEnabled(const QString &name) const
{
    const FormControl *c = formControl(name);
    if (!c || m_disabled.contains(name))
        return false;
    if (c->group != G::TimeZone && c->group != G::Rules && !m_groupsEnabled)
        return false;
    // Port groups follow their "Enabled" boxes.
    if ((c->group == G::NetworkStd || c->group == G::NetworkEip) && m_context.versionNumber >= version500
        && !checked(n("CBna")))
        return false;
    if ((name == n("RBstd") || name == n("RBeip")) && m_context.versionNumber >= version500 && !checked(n("CBna")))
        return false;
    if (c->group == G::SerialPort && name != n("cbcpa") && !checked(n("cbcpa")))
        return false;
    return true;
}

QString SetupForm::caption(const QString &name) const
{
    if (name == n("ecaddr"))
        return index(n("cbxcpro")) == 0 ? QStringLiteral("Address (0-9999)") : QStringLiteral("Address (0-255)");
    const FormControl *c = formControl(name);
    return c ? QString::fromLatin1(c->caption) : QString();
}

QString SetupForm::hint(const QString &name) const
{
    if (name == n("CBnfm"))
        return nfmrules::hint(m_nfm);
    const FormControl *c = formControl(name);
    return c && c->hint ? QString::fromLatin1(c->hint) : QString();
}

QStringList SetupForm::choices(const QString &name) const
{
    if (name == n("CBtimezone"))
        return timezones::zoneNames();
    if (name == n("CBstartmonth") || name == n("CBendmonth"))
        return timezones::monthNames();
    if (name == n("CBstarttype") || name == n("CBendtype"))
        return timezones::ruleNames();
    if (name == n("CBstarthour") || name == n("CBendhour"))
        return timezones::hourNames();
    if (name == n("CBstartday"))
        return timezones::dayNames(index(n("CBstarttype")) + 1);
    if (name == n("CBendday"))
        return timezones::dayNames(index(n("CBendtype")) + 1);
    QStringList out;
    if (const FormControl *c = formControl(name))
        for (const char *t : c->choices)
            out << QString::fromLatin1(t);
    return out;
}

void SetupForm::clear()
{
    m_filling = true;
    for (const FormControl &c : controls) {
        switch (c.kind) {
        case K::Text: m_values.insert(c.controlName(), QString()); break;
        case K::Check:
        case K::Radio: m_values.insert(c.controlName(), false); break;
        case K::Choice: m_values.insert(c.controlName(), -1); break;
        case K::Spin: m_values.insert(c.controlName(), 0); break;
        }
    }
    password.clear();
    passwordConfirm.clear();
    m_nfm = 0;
    m_wdt = 0;
    m_disabled.clear();
    m_hidden.clear();
    m_shown = false;
    m_groupsEnabled = false;
    m_pending = false;
    m_inSync = false;
    m_filling = false;
}

void SetupForm::loadAdvancedDefaults()
{
    m_advanced = AdvancedSettings::defaults(m_advanced.singleSize, m_advanced.v264);
}

void SetupForm::setNfmValue(std::uint8_t v)
{
    m_nfm = v;
    m_values.insert(n("CBnfm"), bool(v & nfmbit::monitorOn));
    m_values.insert(n("CBeipDataLoss"), bool(v & nfmbit::eipCloseOnDataLoss));
    m_values.insert(n("CBeipReply"), bool(v & nfmbit::eipBroadcastReply));
}

void SetupForm::setWdtValue(std::uint8_t v)
{
    m_wdt = v;
    m_values.insert(n("CBwdt"), v > 0);
}

bool SetupForm::eipForward() const
{
    if (m_context.versionNumber < version500)
        return !m_context.standardFamily;
    return checked(n("RBeip"));
}

void SetupForm::show(const setuppack &record, int length, const Context &context)
{
    m_filling = true;
    m_context = context;
    m_received = record;
    m_length = qBound(0, length, setuppack::size);
    m_hidden.clear();
    m_disabled.clear();
    const bool old = context.versionNumber < version500;

    // Fields by their bindings.
    for (const FormControl &c : controls) {
        const QString name = c.controlName();
        const SetupField *f = c.field ? setupField(QString::fromLatin1(c.field)) : nullptr;
        if (!f)
            continue;
        switch (c.binding) {
        case B::Text: m_values.insert(name, record.valueText(*f)); break;
        case B::Bool: m_values.insert(name, record.byteAt(f->offset) != 0); break;
        case B::Diag: m_values.insert(name, record.byteAt(f->offset) == 1); break;
        case B::Number: m_values.insert(name, record.value(*f).toInt()); break;
        case B::Index: {
            const int v = record.byteAt(f->offset);
            m_values.insert(name, v < int(c.choices.size()) ? v : -1);
            break;
        }
        case B::None: break;
        }
    }
    m_values.insert(n("Eemac"), context.mac);
    // Protocol: below 5.0.0 the family decides, from then on the record.
    const bool standard = old ? context.standardFamily : record.ncp() == 1;
    m_values.insert(n("RBstd"), standard);
    m_values.insert(n("RBeip"), !standard);
    m_values.insert(n("cbcpa"), record.cpa() && (old ? context.standardFamily : standard));
    m_plcText = plcAddressText(record.eipPLCIPValue());
    m_values.insert(n("EeipPLC"), m_plcText);

    setNfmValue(record.nfm());
    m_monitorWasOn = record.nfm() & nfmbit::monitorOn;
    setWdtValue(record.wdt());
    if (!m_wdt)
        m_values.insert(n("CBwdt31"), false);

    const bool singleSize = !setupShowsAdvancedBits(m_length);
    const bool v264 = m_length < 234 && context.versionNumber == 264;
    m_advanced = AdvancedSettings::fromRecord(record, singleSize, v264);

    // Time zone: the list only for a zone the list has.
    const int tzi = record.tzi();
    m_values.insert(n("CBtimezone"), tzi < timezones::zoneCount ? tzi : -1);
    const QString code = timezones::codeText(record.tzo());
    m_values.insert(n("Etzcode"), code);
    decodeZone(code);

    m_outgoing = record;
    m_groupsEnabled = true;
    m_shown = true;
    m_pending = false;
    m_inSync = true;
    m_advancedChanged = false;
    applyRules();
    m_filling = false;
}

void SetupForm::applyRules()
{
    m_hidden.clear();
    m_disabled.clear();
    const auto hide = [this](const char *name, bool hidden) {
        if (hidden)
            m_hidden.insert(n(name));
    };
    const auto disable = [this](const char *name, bool disabled) {
        if (disabled)
            m_disabled.insert(n(name));
    };
    const bool old = m_context.versionNumber < version500;
    hide("enaddr", !setupShowsNaddr(m_length));
    hide("CBuats", !setupShowsUats(m_length));
    hide("CBfirewall", !setupShowsFirewall(m_length));
    hide("RBstd", old);
    hide("RBeip", old);
    hide("CBxEthp", old);
    hide("CBeipDiags", !eipForward());
    hide("ensip", index(n("cbxntyp")) != client);

    const bool standardUnit = old ? m_context.standardFamily : stdSelected();
    disable("cbcpa", !standardUnit);
    disable("CBeipDiags", !checked(n("RBeip")));
    for (const char *ip : {"enrip", "CBnrm", "endg"})
        disable(ip, checked(n("cbndhcp")));
    for (const char *server : {"entsvr", "entsuf"})
        disable(server, checked(n("CBuats")));
    disable("CBwdt31", !checked(n("CBwdt")));
    const bool bt = index(n("cbxafunc")) == bluetooth;
    disable("cbxabaud", bt);
    disable("cbxapar", bt);
    disable("CBdst", !m_dstAvailable);
    const bool custom = checked(n("CButzo"));
    for (const FormControl &c : controls)
        if (c.group == G::Rules)
            disable(c.name, !custom);
}

bool SetupForm::build()
{
    setuppack &out = m_outgoing;
    // The form's own corrections first, so the controls show what is stored.
    QString desc = text(n("edesc"));
    if (desc.size() > descMax)
        m_values.insert(n("edesc"), desc.left(descMax));
    if (text(n("entsuf")) == QLatin1String("0"))
        m_values.insert(n("entsuf"), QStringLiteral("1"));

    for (const FormControl &c : controls) {
        const QString name = c.controlName();
        const SetupField *f = c.field ? setupField(QString::fromLatin1(c.field)) : nullptr;
        if (!f)
            continue;
        switch (c.binding) {
        case B::Text:
            // Bytes after a text's end are not ours to tidy: an unchanged text keeps them.
            if (out.valueText(*f) != text(name))
                out.setValueText(*f, text(name));
            break;
        case B::Bool: out.setByteAt(f->offset, checked(name) ? 1 : 0); break;
        case B::Diag: out.setByteAt(f->offset, checked(name) ? 1 : 0); break;
        case B::Number: out.setValueText(*f, QString::number(value(name).toInt())); break;
        case B::Index:
            if (index(name) >= 0)
                out.setByteAt(f->offset, std::uint8_t(index(name)));
            break;
        case B::None: break;
        }
    }
    out.setCpa(checked(n("cbcpa")));
    out.setNfm(m_nfm);
    out.setWdt(checked(n("CBwdt")) ? m_wdt : 0);
    if (const auto plc = plcAddressFromText(text(n("EeipPLC"))))
        out.setEipPLCIPValue(*plc);
    // The protocol byte only where the unit has one.
    if (m_context.versionNumber >= version500 || m_length > 238)
        out.setNcp(stdSelected() ? 1 : 0);

    if (checked(n("cbpwp"))) {
        if (!password.isEmpty())
            out.setPw(password.left(passwordrules::maxLength));
    } else {
        password.clear();
        passwordConfirm.clear();
    }

    bool valid = true;
    if (checked(n("CButzo"))) {
        const QString code = text(n("Etzcode"));
        if (code.isEmpty()) {
            out.setTzo(QByteArray(CustomTimeZone::size, '\0'));
        } else if (const auto bytes = timezones::parseCode(code); bytes && setupchecks::customZoneValid(*bytes)) {
            out.setTzo(*bytes);
        } else {
            valid = false;
        }
    }
    m_advanced.write(out);
    m_advancedChanged = setupchecks::advancedChanged(out, m_received);
    return valid;
}

void SetupForm::track()
{
    build();
    m_pending = !(m_outgoing == m_received);
    m_inSync = !m_pending;
}

void SetupForm::edited(const QString &sender)
{
    const FormControl *c = formControl(sender);
    if (!m_filling && c && c->kind != K::Text)
        m_op.tone(c->kind == K::Radio ? Tone::Button : Tone::CheckBox);
    if (m_filling || !m_shown) {
        applyRules();
        return;
    }
    // Values that follow another control.
    if (sender == n("cbxafunc") && index(sender) == bluetooth) {
        m_values.insert(n("cbxabaud"), int(baud57600));
        m_values.insert(n("cbxapar"), 0);
    }
    if (sender == n("CBwdt") && !checked(sender))
        m_values.insert(n("CBwdt31"), false);
    applyRules();
    track();
}

void SetupForm::confirmed(const setuppack &record)
{
    m_received = record;
    m_outgoing = record;
    m_monitorWasOn = record.nfm() & nfmbit::monitorOn;
    track();
}

void SetupForm::selectProtocol(bool standard)
{
    m_values.insert(n("RBstd"), standard);
    m_values.insert(n("RBeip"), !standard);
    if (!standard)
        m_values.insert(n("cbcpa"), false);
    edited(standard ? n("RBstd") : n("RBeip"));
}

void SetupForm::loadDefaults()
{
    const bool wasShown = m_shown;
    m_filling = true;
    const auto set = [this](const char *name, const QVariant &v) { m_values.insert(n(name), v); };
    set("edesc", QStringLiteral("Vork - New Reader"));
    set("cbndhcp", false);
    set("enrip", QStringLiteral("192.168.22.243"));
    set("CBnrm", QStringLiteral("255.255.255.255"));
    set("endg", zeroIp);
    set("ecaddr", QStringLiteral("48"));
    set("enaddr", QStringLiteral("48"));
    set("entsvr", zeroIp);
    set("entsuf", QStringLiteral("60"));
    set("edsd", QStringLiteral("5"));
    set("edfd", QStringLiteral("30"));
    set("Edrt", QStringLiteral("0"));
    set("EeipPLC", zeroIp);
    set("CBna", false);
    set("cbxnmode", 1);
    set("cbxnpro", 1);
    set("cbxntyp", 0);
    set("ensip", QString());
    set("enprt", QStringLiteral("3000"));
    set("SEnrtcnt", 0);
    set("SEka", 0);
    set("SEkar", 1);
    setNfmValue(0);
    setWdtValue(1);
    for (const char *off : {"CBwdt31", "Cbe99", "CBuats", "CBtenths", "CBrcmd", "CBfirewall", "CBeipDiags", "cbnerr",
                            "cbndiag", "cbnpad", "cbcpa", "cbcerr", "cbcdiag", "cbpwp"})
        set(off, false);
    set("RBstd", true);
    set("RBeip", false);
    set("cbxcmode", 0);
    set("cbxcpro", 1);
    set("cbxcbaud", 5);
    set("cbxcpar", 0);
    set("cbxabaud", int(baud57600));
    set("cbxapar", 0);
    set("cbxafunc", 0);
    set("CBxEthp", 4);
    password.clear();
    passwordConfirm.clear();
    constexpr int eastern = 16;
    set("CBtimezone", eastern);
    loadAdvancedDefaults();
    m_filling = false;
    if (wasShown) {
        applyRules();
        track();
    } else {
        applyRules();
    }
}

void SetupForm::zoneChosen(int zoneIndex)
{
    m_op.tone(Tone::CheckBox);
    m_values.insert(n("CBtimezone"), zoneIndex);
    const QString code = timezones::codeText(timezones::zoneRule(zoneIndex));
    m_values.insert(n("Etzcode"), code);
    decodeZone(code);
    edited(n("CBtimezone"));
}

void SetupForm::decodeZone(const QString &code)
{
    const auto bytes = timezones::parseCode(code);
    if (!bytes)
        return;
    const CustomTimeZone zone = CustomTimeZone::decode(*bytes);
    const timezones::RulePositions p = timezones::decode(zone);
    const auto set = [this](const char *name, int v) { m_values.insert(n(name), v); };
    set("CBstartmonth", p.startMonth);
    set("CBstarttype", p.startRule);
    set("CBstartday", p.startDay);
    set("CBstarthour", p.startHour);
    set("CBendmonth", p.endMonth);
    set("CBendtype", p.endRule);
    set("CBendday", p.endDay);
    set("CBendhour", p.endHour);
    m_values.insert(n("CBobserve"), p.observe);
    m_dstAvailable = !zone.isNone();
    applyRules();
}

QString SetupForm::encodeZone() const
{
    timezones::RulePositions p;
    p.startMonth = index(n("CBstartmonth"));
    p.startRule = index(n("CBstarttype"));
    p.startDay = index(n("CBstartday"));
    p.startHour = index(n("CBstarthour"));
    p.endMonth = index(n("CBendmonth"));
    p.endRule = index(n("CBendtype"));
    p.endDay = index(n("CBendday"));
    p.endHour = index(n("CBendhour"));
    p.observe = checked(n("CBobserve"));
    return timezones::codeText(timezones::encode(p).encode());
}

void SetupForm::ruleTypeChanged(bool start)
{
    m_op.tone(Tone::CheckBox);
    // The day list takes the other kind of day: what was chosen no longer means anything.
    m_values.insert(start ? n("CBstartday") : n("CBendday"), -1);
    edited(start ? n("CBstarttype") : n("CBendtype"));
}

bool SetupForm::zoneChanged() const
{
    return index(n("CBtimezone")) != int(m_received.tzi()) || checked(n("CBdst")) != m_received.dst()
           || checked(n("CButzo")) != m_received.utzo() || checked(n("CButzo"));
}

void SetupForm::takeZoneIntoOutgoing()
{
    if (checked(n("CButzo")))
        m_values.insert(n("Etzcode"), encodeZone());
    m_outgoing.setUtzo(checked(n("CButzo")));
    if (index(n("CBtimezone")) >= 0)
        m_outgoing.setTzi(std::uint8_t(index(n("CBtimezone"))));
}

} // namespace vork
