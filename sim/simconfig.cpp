#include "simconfig.h"

#include "simfaulttable.h"
#include "simfleet.h"
#include "connection/commands.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSet>

#include <cmath>

namespace vork::sim {

namespace {

// Reads one unit object; every problem names the field.
class UnitReader
{
public:
    explicit UnitReader(const QJsonObject &object) : m_object(object) {}

    QString error;

    bool has(const QString &key) const { return m_object.contains(key); }

    // A whole number in range, given as a JSON number, a decimal string or a "0x" hex string.
    bool integer(const QString &key, qint64 min, qint64 max, qint64 &out)
    {
        const QJsonValue v = m_object.value(key);
        bool ok = false;
        qint64 value = 0;
        if (v.isDouble()) {
            const double d = v.toDouble();
            ok = std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 9.0e15;
            value = ok ? static_cast<qint64>(d) : 0;
        } else if (v.isString()) {
            const QString s = v.toString().trimmed();
            if (s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
                value = s.mid(2).toLongLong(&ok, 16);
            else
                value = s.toLongLong(&ok, 10);
        }
        if (!ok || value < min || value > max) {
            fail(key, QStringLiteral("expected a whole number from ") + QString::number(min) + QStringLiteral(" to ")
                          + QString::number(max) + QStringLiteral(" (decimal, or a \"0x\" hex string)"));
            return false;
        }
        out = value;
        return true;
    }

    template<typename T>
    bool number(const QString &key, qint64 min, qint64 max, T &out)
    {
        if (!has(key))
            return true;
        qint64 v = 0;
        if (!integer(key, min, max, v))
            return false;
        out = static_cast<T>(v);
        return true;
    }

    bool boolean(const QString &key, bool &out)
    {
        if (!has(key))
            return true;
        const QJsonValue v = m_object.value(key);
        if (!v.isBool())
            return fail(key, QStringLiteral("expected true or false"));
        out = v.toBool();
        return true;
    }

    // An 8-bit text of at most width characters.
    bool text(const QString &key, int width, QString &out)
    {
        if (!has(key))
            return true;
        const QJsonValue v = m_object.value(key);
        if (!v.isString())
            return fail(key, QStringLiteral("expected a text"));
        const QString s = v.toString();
        if (s.size() > width)
            return fail(key, QStringLiteral("at most ") + QString::number(width) + QStringLiteral(" characters"));
        for (const QChar c : s) {
            if (c.unicode() > 0xFF || c.unicode() == 0)
                return fail(key, QStringLiteral("only 8-bit characters other than zero"));
        }
        out = s;
        return true;
    }

    // "5.0.3" or [5, 0, 3]: n bytes.
    template<std::size_t N>
    bool digits(const QString &key, std::array<std::uint8_t, N> &out)
    {
        if (!has(key))
            return true;
        const QJsonValue v = m_object.value(key);
        QList<QJsonValue> parts;
        if (v.isString()) {
            const QStringList texts = v.toString().split(QLatin1Char('.'));
            for (const QString &t : texts)
                parts.append(QJsonValue(t));
        } else if (v.isArray()) {
            const QJsonArray a = v.toArray();
            for (const QJsonValue &p : a)
                parts.append(p);
        }
        if (parts.size() != static_cast<qsizetype>(N))
            return fail(key, QStringLiteral("expected ") + QString::number(N)
                                 + QStringLiteral(" numbers 0-255, as \"a.b.c\" or an array"));
        std::array<std::uint8_t, N> result{};
        for (std::size_t i = 0; i < N; ++i) {
            QJsonObject one;
            one.insert(key, parts[static_cast<qsizetype>(i)]);
            UnitReader r(one);
            qint64 b = 0;
            if (!r.integer(key, 0, 255, b))
                return fail(key, QStringLiteral("expected ") + QString::number(N)
                                     + QStringLiteral(" numbers 0-255, as \"a.b.c\" or an array"));
            result[i] = static_cast<std::uint8_t>(b);
        }
        out = result;
        return true;
    }

    // "2019-03-07" or the raw bytes [day, month, century, year within century].
    bool buildDate(const QString &key, std::array<std::uint8_t, 4> &out)
    {
        if (!has(key))
            return true;
        const QJsonValue v = m_object.value(key);
        if (v.isString()) {
            const QDate d = QDate::fromString(v.toString(), Qt::ISODate);
            if (!d.isValid() || d.year() < 0 || d.year() > 25599)
                return fail(key, QStringLiteral("expected a date YYYY-MM-DD or [day, month, century, year]"));
            out = {static_cast<std::uint8_t>(d.day()), static_cast<std::uint8_t>(d.month()),
                   static_cast<std::uint8_t>(d.year() / 100), static_cast<std::uint8_t>(d.year() % 100)};
            return true;
        }
        if (!digits(key, out))
            return fail(key, QStringLiteral("expected a date YYYY-MM-DD or [day, month, century, year]"));
        return true;
    }

    bool fail(const QString &key, const QString &why)
    {
        if (error.isEmpty())
            error = QLatin1Char('"') + key + QStringLiteral("\": ") + why;
        return false;
    }

    QJsonObject object() const { return m_object; }

private:
    QJsonObject m_object;
};

// Unit fields read here; fault switches add theirs from the table.
const QStringList unitKeys = {
    QStringLiteral("description"), QStringLiteral("version"),   QStringLiteral("build"),
    QStringLiteral("readers"),     QStringLiteral("model"),     QStringLiteral("ncp"),
    QStringLiteral("mac"),         QStringLiteral("bootLoader"), QStringLiteral("flashMfg"),
    QStringLiteral("flashType"),   QStringLiteral("caddr"),     QStringLiteral("naddr"),
    QStringLiteral("cons"),        QStringLiteral("cpuIdle"),   QStringLiteral("runTime"),
    QStringLiteral("zosv"),        QStringLiteral("bla"),       QStringLiteral("blb"),
    QStringLiteral("address"),     QStringLiteral("clockOffset"), QStringLiteral("faults"),
    QStringLiteral("setup"),       QStringLiteral("checksum"),  QStringLiteral("commandFaults"),
};
const QStringList checksumKeys = {QStringLiteral("value"), QStringLiteral("byteCount")};

QString unknownKey(const QJsonObject &o, const QStringList &known)
{
    const QStringList keys = o.keys();
    for (const QString &k : keys) {
        if (!known.contains(k))
            return k;
    }
    return {};
}

// Reads one table row's key from o, if there, into the unit.
bool readFaultRow(const FaultSwitch &row, const QJsonObject &o, UnitReader &r, SimUnit &u)
{
    const QString key = row.jsonKey();
    if (!o.contains(key))
        return true;
    const QJsonValue v = o.value(key);
    FaultValue value;
    switch (row.kind) {
    case FaultKind::Switch:
        if (!r.boolean(key, value.on))
            return false;
        break;
    case FaultKind::Number:
    case FaultKind::HexNumber:
        if (!r.number(key, row.jsonMin(), row.max, value.number))
            return false;
        break;
    case FaultKind::Commands:
        if (!v.isString() || !parseCommandBytes(v.toString(), value.bytes))
            return r.fail(key, QStringLiteral("expected a text of command letters, such as \"hp\" ('0': history quit)"));
        break;
    case FaultKind::HexBytes:
        if (!v.isString() || !parseHexBytes(v.toString(), value.bytes) || value.bytes.size() > row.max)
            return r.fail(key, QStringLiteral("expected up to ") + QString::number(row.max)
                                   + QStringLiteral(" bytes as hex digits, such as \"00 41\""));
        break;
    case FaultKind::SwitchOrMac:
        if (v.isBool()) {
            value.on = v.toBool();
        } else if (v.isString() && isValidMac(v.toString())) {
            value.mac = v.toString().toUpper();
        } else {
            return r.fail(key, QStringLiteral("expected true, false or a MAC of 12 hex digits"));
        }
        break;
    }
    row.set(u, value);
    return true;
}

bool readFaultRows(FaultScope scope, const QJsonObject &o, UnitReader &r, SimUnit &u)
{
    for (const FaultSwitch &row : faultSwitches()) {
        if (row.scope == scope && !readFaultRow(row, o, r, u))
            return false;
    }
    return true;
}

// An object of a unit ("faults", "commandFaults", "checksum"): only known keys.
bool readObject(const QJsonValue &value, const QString &name, const QStringList &keys, QJsonObject &o,
                QString &error)
{
    if (!value.isObject()) {
        error = QLatin1Char('"') + name + QStringLiteral("\": expected an object");
        return false;
    }
    o = value.toObject();
    const QString unknown = unknownKey(o, keys);
    if (!unknown.isEmpty()) {
        error = QLatin1Char('"') + name + QStringLiteral("\": unknown field \"") + unknown + QLatin1Char('"');
        return false;
    }
    return true;
}

bool readScope(FaultScope scope, const QJsonObject &unitObject, const QStringList &ownKeys, SimUnit &u,
               QString &error)
{
    const QString name = faultScopeName(scope);
    if (!unitObject.contains(name))
        return true;
    QJsonObject o;
    if (!readObject(unitObject.value(name), name, ownKeys + faultKeys(scope), o, error))
        return false;
    UnitReader r(o);
    bool ok = readFaultRows(scope, o, r, u);
    if (ok && scope == FaultScope::Checksum)
        ok = r.number(QStringLiteral("value"), 0, 0xFFFFFFFFll, u.checksum.checksum)
             && r.number(QStringLiteral("byteCount"), 0, 0xFFFFFFFFll, u.checksum.byteCount);
    if (!ok) {
        error = QLatin1Char('"') + name + QStringLiteral("\": ") + r.error;
        return false;
    }
    if (scope == FaultScope::Answer) {
        const QString why = checkFaults(u.faults);
        if (!why.isEmpty()) {
            error = QLatin1Char('"') + name + QStringLiteral("\": ") + why;
            return false;
        }
    }
    return true;
}

bool readUnit(const QJsonObject &o, int index, const QHostAddress &base, SimUnit &u, QString &error)
{
    const QString unknown = unknownKey(o, unitKeys + faultKeys(FaultScope::Unit));
    if (!unknown.isEmpty()) {
        error = QStringLiteral("unknown field \"") + unknown + QLatin1Char('"');
        return false;
    }
    u.description = QStringLiteral("Unit ") + QString::number(index + 1);
    UnitReader r(o);
    qint64 offsetSeconds = 0;
    bool ok = r.text(QStringLiteral("description"), 64, u.description)
              && r.digits(QStringLiteral("version"), u.version) && r.buildDate(QStringLiteral("build"), u.build)
              && r.number(QStringLiteral("readers"), 0, 255, u.readers)
              && r.number(QStringLiteral("model"), 0, 255, u.model) && r.number(QStringLiteral("ncp"), 0, 255, u.ncp)
              && r.text(QStringLiteral("bootLoader"), 4, u.bootLoader)
              && r.number(QStringLiteral("flashMfg"), 0, 255, u.flashMfg)
              && r.number(QStringLiteral("flashType"), 0, 255, u.flashType)
              && r.number(QStringLiteral("caddr"), 0, 65535, u.caddr)
              && r.number(QStringLiteral("naddr"), 0, 65535, u.naddr)
              && r.number(QStringLiteral("cons"), 0, 255, u.cons)
              && r.number(QStringLiteral("cpuIdle"), 0, 255, u.cpuIdle)
              && r.number(QStringLiteral("runTime"), 0, 0xFFFFFFFFll, u.runTime)
              && r.digits(QStringLiteral("zosv"), u.zosv) && r.number(QStringLiteral("bla"), 0, 255, u.bla)
              && r.number(QStringLiteral("blb"), 0, 255, u.blb)
              && r.number(QStringLiteral("clockOffset"), -3153600000ll, 3153600000ll, offsetSeconds)
              && readFaultRows(FaultScope::Unit, o, r, u);
    if (!ok) {
        error = r.error;
        return false;
    }
    u.clockOffsetMs = offsetSeconds * 1000;

    u.address = addressAt(base, index);
    if (o.contains(QStringLiteral("address"))) {
        const QHostAddress a = parseIPv4(o.value(QStringLiteral("address")).toString());
        if (a.isNull()) {
            error = QStringLiteral("\"address\": expected a dotted IPv4 address");
            return false;
        }
        u.address = a;
    }
    if (u.address.isNull()) {
        error = QStringLiteral("no address after ") + base.toString() + QStringLiteral(" for this unit");
        return false;
    }
    u.mac = macForAddress(u.address);
    if (o.contains(QStringLiteral("mac"))) {
        const QString mac = o.value(QStringLiteral("mac")).toString();
        if (!isValidMac(mac)) {
            error = QStringLiteral("\"mac\": expected 12 hex digits without separators");
            return false;
        }
        u.mac = mac.toUpper();
    }
    if (!readScope(FaultScope::Answer, o, {}, u, error) || !readScope(FaultScope::Command, o, {}, u, error)
        || !readScope(FaultScope::Checksum, o, checksumKeys, u, error))
        return false;
    if (o.contains(QStringLiteral("setup"))) {
        const QJsonValue v = o.value(QStringLiteral("setup"));
        QByteArray record;
        if (!v.isString() || !parseHexBytes(v.toString(), record) || record.size() != setupRecordSize) {
            error = QStringLiteral("\"setup\": expected the 243-byte record as 486 hex digits (spaces allowed)");
            return false;
        }
        u.setupRecord = record;
    }
    return true;
}

} // namespace

bool parseHexBytes(const QString &text, QByteArray &out)
{
    QString digits = text;
    digits.remove(QLatin1Char(' '));
    if (digits.size() % 2 != 0)
        return false;
    QByteArray bytes;
    bytes.reserve(digits.size() / 2);
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        bool ok = false;
        const uint b = digits.mid(i, 2).toUInt(&ok, 16);
        if (!ok || !digits.at(i).isLetterOrNumber() || !digits.at(i + 1).isLetterOrNumber())
            return false;
        bytes.append(static_cast<char>(b));
    }
    out = bytes;
    return true;
}

bool parseCommandBytes(const QString &text, QByteArray &out)
{
    QByteArray bytes;
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
        bytes.append(static_cast<char>(c.unicode()));
    }
    out = bytes;
    return true;
}

QString checkFaults(const SimFaults &f)
{
    if (f.shortLength < 0 || f.shortLength >= 130)
        return QStringLiteral("a short answer has 1 to 129 bytes");
    if (f.oversizeLength != 0 && (f.oversizeLength <= 130 || f.oversizeLength > maxDatagramSize))
        return QStringLiteral("an oversized answer has 131 to ") + QString::number(maxDatagramSize)
               + QStringLiteral(" bytes");
    if (f.shortLength > 0 && f.oversizeLength > 0)
        return QStringLiteral("an answer cannot be short and oversized at once");
    if (f.garbageLength < 0 || f.garbageLength > maxDatagramSize)
        return QStringLiteral("garbage has 1 to ") + QString::number(maxDatagramSize) + QStringLiteral(" bytes");
    if (f.delayMs < 0 || f.delayMs > 600000)
        return QStringLiteral("the delay is 0 to 600000 ms");
    if (!f.duplicateMac.isEmpty() && !isValidMac(f.duplicateMac))
        return QStringLiteral("the duplicate MAC has 12 hex digits");
    return {};
}

bool parseFleetConfig(const QByteArray &json, const QHostAddress &base, QList<SimUnit> &units, QString *error)
{
    units.clear();
    auto failWith = [&](const QString &why) {
        if (error)
            *error = why;
        units.clear();
        return false;
    };
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return failWith(QStringLiteral("not JSON at offset ") + QString::number(parseError.offset)
                        + QStringLiteral(": ") + parseError.errorString());
    if (!doc.isArray())
        return failWith(QStringLiteral("expected an array of unit objects"));
    const QJsonArray array = doc.array();
    if (array.isEmpty())
        return failWith(QStringLiteral("the fleet has no units"));
    if (array.size() > maxUnits)
        return failWith(QStringLiteral("at most ") + QString::number(maxUnits) + QStringLiteral(" units"));

    QSet<quint32> addresses;
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral("unit ") + QString::number(i + 1) + QStringLiteral(": ");
        if (!array.at(i).isObject())
            return failWith(where + QStringLiteral("expected an object"));
        SimUnit u;
        QString why;
        if (!readUnit(array.at(i).toObject(), static_cast<int>(i), base, u, why))
            return failWith(where + why);
        if (addresses.contains(u.address.toIPv4Address()))
            return failWith(where + QStringLiteral("address ") + u.address.toString()
                            + QStringLiteral(" is taken by another unit"));
        addresses.insert(u.address.toIPv4Address());
        units.append(u);
    }
    return true;
}

bool loadFleetConfig(const QString &path, const QHostAddress &base, QList<SimUnit> &units, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = path + QStringLiteral(": ") + file.errorString();
        units.clear();
        return false;
    }
    // A fleet file is small; a huge one is a mistake, not a fleet.
    const QByteArray json = file.read(16 * 1024 * 1024);
    if (!parseFleetConfig(json, base, units, error)) {
        if (error)
            *error = path + QStringLiteral(": ") + *error;
        return false;
    }
    return true;
}

} // namespace vork::sim
