#include "setup/setupchecks.h"

#include "core/address.h"

namespace vork::setupchecks {

namespace {
constexpr std::uint8_t classic = 1;
constexpr std::uint8_t ascii = 0;
constexpr std::uint8_t client = 1;
constexpr int classicMax = 255;
constexpr int asciiMax = 9999;

SetupCheckFailure failure(const char *message, const char *field)
{
    return {QString::fromLatin1(message), QString::fromLatin1(field)};
}
} // namespace

bool ipTextValid(const QString &text)
{
    if (text.size() >= 16 || text.startsWith(QLatin1Char('.')))
        return false;
    int dots = 0;
    int digits = 0;
    int number = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('.')) {
            if (i + 1 >= text.size() || !text.at(i + 1).isDigit())
                return false;
            ++dots;
            digits = 0;
            number = 0;
            continue;
        }
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        number = number * 10 + (c.unicode() - '0');
        if (++digits > 3 || number > 255)
            return false;
    }
    return dots == 3;
}

void blankIPsToZero(setuppack &record)
{
    const QString zero = QStringLiteral("0.0.0.0");
    if (record.nrip().isEmpty())
        record.setNrip(zero);
    if (record.nrm().isEmpty())
        record.setNrm(zero);
    if (record.ndg().isEmpty())
        record.setNdg(zero);
    if (record.ntsvr().isEmpty())
        record.setNtsvr(zero);
    if (record.nsip().isEmpty())
        record.setNsip(zero);
}

bool customZoneValid(QByteArrayView tzo)
{
    const CustomTimeZone z = CustomTimeZone::decode(tzo);
    if (z.isNone())
        return true;
    const auto dayOk = [](int rule, int day) { return rule == 5 ? day >= 1 && day <= 31 : day >= 1 && day <= 7; };
    const auto byte = [&](int i) { return i < tzo.size() ? std::uint8_t(tzo.at(i)) : std::uint8_t(0); };
    return z.startMonth >= 1 && z.startMonth <= 12 && z.startRule >= 1 && z.startRule <= 5
           && dayOk(z.startRule, z.startDay) && z.endMonth >= 1 && z.endMonth <= 12 && z.endRule >= 1
           && z.endRule <= 5 && dayOk(z.endRule, z.endDay) && byte(11) <= 1 && byte(12) <= 1;
}

std::optional<SetupCheckFailure> beforeDownload(const setuppack &record)
{
    // Address texts of the fields that are in use.
    const bool dhcp = record.ndhcp();
    struct IpField
    {
        QString text;
        bool inUse;
        const char *name;
        const char *field;
    };
    const IpField fields[] = {
        {record.nrip(), !dhcp, "Network IP is invalid. Download aborted", "nrip"},
        {record.nrm(), !dhcp, "Mask IP is invalid. Download aborted", "nrm"},
        {record.ndg(), !dhcp, "Gateway IP is invalid. Download aborted", "ndg"},
        {record.ntsvr(), !record.uats(), "Time Server IP is invalid. Download aborted", "ntsvr"},
        {record.nsip(), record.ntyp() == client, "Server IP is invalid. Download aborted", "nsip"},
    };
    for (const IpField &f : fields)
        if (f.inUse && !ipTextValid(f.text))
            return failure(f.name, f.field);

    if (record.utzo() && !customZoneValid(record.tzo()))
        return failure("Invalid parameter(s). Download aborted", "tzo");

    if (!dhcp) {
        if (!isValidUnitIP(record.nrip(), false))
            return failure("Invalid IP address entered.", "nrip");
        if (!isValidUnitIP(record.nrm(), false))
            return failure("Invalid network mask entered.", "nrm");
        if (!isValidUnitIP(record.ndg(), true))
            return failure("Invalid network gateway entered.", "ndg");
    }
    if (record.nka() > 0 && record.nkar() == 0)
        return failure("Invalid Keep Alive Retry Count. Valid Range is 1-255 Decimal.", "nkar");

    const auto addressFailure = [](std::uint8_t protocol, int address, const char *field)
        -> std::optional<SetupCheckFailure> {
        if (protocol == classic && address > classicMax)
            return failure("Invalid Reader Address for Classic Mode. Valid Range is 1-255 Decimal.", field);
        if (protocol == ascii && address > asciiMax)
            return failure("Invalid Reader Address for ASCII Mode. Valid Range is 1-9999 Decimal.", field);
        return std::nullopt;
    };
    if (record.cpa())
        if (auto f = addressFailure(record.cpro(), record.caddr(), "caddr"))
            return f;
    if (record.na())
        if (auto f = addressFailure(record.npro(), record.naddr(), "naddr"))
            return f;
    return std::nullopt;
}

namespace {
bool printable(char16_t c) { return c >= 0x20 && c < 0x7F; }

QString holds(const SetupField &f, const QString &what)
{
    return f.fieldName() + QStringLiteral(" holds ") + what;
}
} // namespace

std::optional<QString> badText(const SetupField &f, const QString &text)
{
    const int most = f.width - 1;
    if (text.size() > most)
        return f.fieldName() + QStringLiteral(" takes at most ") + QString::number(most)
               + QStringLiteral(" characters; ") + QString::number(text.size()) + QStringLiteral(" given");
    for (const QChar c : text)
        if (!printable(c.unicode()))
            return f.fieldName() + QStringLiteral(" takes printable ASCII characters only");
    return std::nullopt;
}

std::optional<QString> badField(const setuppack &record, int length)
{
    const QByteArray &bytes = record.bytes();
    for (const SetupField &f : setupFields()) {
        if (f.passThrough || !f.presentAt(length))
            continue;
        switch (f.kind) {
        case SetupFieldKind::Text:
        case SetupFieldKind::IpText: {
            const QByteArray field = bytes.mid(f.offset, f.width);
            const qsizetype end = field.indexOf('\0');
            if (end < 0)
                return holds(f, QStringLiteral("no terminator within its ") + QString::number(f.width)
                                    + QStringLiteral(" bytes"));
            for (qsizetype i = 0; i < end; ++i)
                if (!printable(std::uint8_t(field.at(i))))
                    return holds(f, QStringLiteral("the byte 0x") + QString::number(std::uint8_t(field.at(i)), 16)
                                        + QStringLiteral(", not a character it can hold"));
            continue;
        }
        case SetupFieldKind::Bytes:
            if (f.offset == setupField(u"tzo")->offset && record.utzo() && !customZoneValid(record.tzo()))
                return holds(f, QStringLiteral("an invalid custom time zone"));
            continue;
        case SetupFieldKind::PlcAddress:
            continue;
        default:
            break;
        }
        const std::int64_t v = record.value(f).toLongLong();
        const QString name = f.fieldName();
        if (name == QLatin1String("nkar") && record.nka() == 0)
            continue;
        if (name == QLatin1String("ntsuf") && v == 0)
            continue;
        bool ok = setupValueAllowed(f, v);
        if (name == QLatin1String("caddr"))
            ok = v <= setupAddressMax(record.cpro());
        else if (name == QLatin1String("naddr"))
            ok = v <= setupAddressMax(record.npro());
        if (f.kind == SetupFieldKind::Boolean)
            ok = std::uint8_t(bytes.at(f.offset)) <= 1;
        if (!ok) {
            const std::int64_t raw = f.kind == SetupFieldKind::Boolean ? std::uint8_t(bytes.at(f.offset)) : v;
            return holds(f, QString::number(raw) + QStringLiteral(", not one of its values"));
        }
    }
    return std::nullopt;
}

bool advancedChanged(const setuppack &outgoing, const setuppack &received)
{
    return outgoing.logRA() != received.logRA() || outgoing.minB1() != received.minB1()
           || outgoing.minB2() != received.minB2() || outgoing.gwf() != received.gwf()
           || outgoing.hcode() != received.hcode() || outgoing.lsa() != received.lsa()
           || outgoing.lsm1() != received.lsm1() || outgoing.lsc() != received.lsc()
           || outgoing.lsf() != received.lsf();
}

QString advancedQuestion()
{
    return QStringLiteral("At least one advanced setting has changed. If you intended to make this change then click\n\r"
                          "'YES' to continue the Download.\n\r'NO' to restore advanced defaults before Download\n\r"
                          "'CANCEL' to restore previous settings and cancel the download");
}

} // namespace vork::setupchecks
