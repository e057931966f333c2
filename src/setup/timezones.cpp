#include "setup/timezones.h"

#include <array>

namespace vork::timezones {

namespace {

constexpr const char *noDst = "00000000000000000000000000";
constexpr const char *usRule = "030207201C000B0107201C0001";
constexpr const char *mexicoRule = "040107201C000A0407201C0001";
constexpr const char *europeRule = "030407201C000A0407302A0001";
constexpr const char *southRule = "0A0407201C00030407302A0001";

constexpr std::array<StandardZone, zoneCount> zones = {{
    {"(GMT-12:00) Eniwetok, Kwajalein", noDst},
    {"(GMT-11:00) Midway Island, Samoa", noDst},
    {"(GMT-10:00) Hawaii", noDst},
    {"(GMT-09:00) Alaska", usRule},
    {"(GMT-08:00) Tijuana, Baja California", mexicoRule},
    {"(GMT-08:00) Pacific Time (US & Canada)", usRule},
    {"(GMT-07:00) Mountain Time (US & Canada)", usRule},
    {"(GMT-07:00) Chihuahua, La Paz, Mazatlan - Old", mexicoRule},
    {"(GMT-07:00) Chihuahua, La Paz, Mazatlan - New", mexicoRule},
    {"(GMT-07:00) Arizona", noDst},
    {"(GMT-06:00) Saskatchewan", noDst},
    {"(GMT-06:00) Guadalajara, Mexico City, Monterrey - Old", mexicoRule},
    {"(GMT-06:00) Guadalajara, Mexico City, Monterrey - New", mexicoRule},
    {"(GMT-06:00) Central Time (US & Canada)", usRule},
    {"(GMT-06:00) Central America", noDst},
    {"(GMT-05:00) Indiana (East)", noDst},
    {"(GMT-05:00) Eastern Time (US & Canada)", usRule},
    {"(GMT-05:00) Bogota, Lima, Quito, Rio Branco", noDst},
    {"(GMT-04:00) Santiago", "0A020600000003020600000001"},
    {"(GMT-04:00) Manaus", "0B010700000002040700000001"},
    {"(GMT-04:00) Caracas, La Paz", noDst},
    {"(GMT-04:00) Atlantic Time (Canada)", usRule},
    {"(GMT-03:30) Newfoundland", "0302070000000B010700000001"},
    {"(GMT-03:00) Montevideo", "0A0107201C00030207201C0001"},
    {"(GMT-03:00) Greenland", mexicoRule},
    {"(GMT-03:00) Buenos Aires, Georgetown", noDst},
    {"(GMT-03:00) Brasilia", "0B010700000002040700000001"},
    {"(GMT-02:00) Mid-Atlantic", "030407201C00090407201C0001"},
    {"(GMT-01:00) Cape Verde Is.", noDst},
    {"(GMT-01:00) Azores", europeRule},
    {"(GMT) Casablanca, Monrovia, Reykjavik", noDst},
    {"(GMT) Greenwich Mean Time : Dublin, Edinburgh, Lisbon, London", "030407100E000A0407201C0001"},
    {"(GMT+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna", europeRule},
    {"(GMT+01:00) Belgrade, Bratislava, Budapest, Ljubljana, Prague", europeRule},
    {"(GMT+01:00) Brussels, Copenhagen, Madrid, Paris", europeRule},
    {"(GMT+01:00) Sarajevo, Skopje, Sofija, Vilnius, Warsaw, Zagreb", europeRule},
    {"(GMT+01:00) West Central Africa", noDst},
    {"(GMT+02:00) Amman", "030404000000090405100E0001"},
    {"(GMT+02:00) Athens, Bucharest, Istanbul", "030407302A000A040740380001"},
    {"(GMT+02:00) Beirut", "0304070000000A040600000001"},
    {"(GMT+02:00) Cairo", "04040400000009040400000001"},
    {"(GMT+02:00) Harare, Pretoria", noDst},
    {"(GMT+02:00) Helsinki, Riga, Tallinn", "030407302A000A040740380001"},
    {"(GMT+02:00) Jerusalem", "030405201C00090307201C0001"},
    {"(GMT+02:00) Minsk", europeRule},
    {"(GMT+02:00) Windhoek", "040107201C00090107201C0001"},
    {"(GMT+03:00) Baghdad", "040107302A000A010740380001"},
    {"(GMT+03:00) Kuwait, Riyadh", noDst},
    {"(GMT+03:00) Moscow, St. Petersburg, Volgograd", europeRule},
    {"(GMT+03:00) Nairobi", noDst},
    {"(GMT+03:00) Tbilisi", noDst},
    {"(GMT+03:30) Tehran", noDst},
    {"(GMT+04:00) Abu Dhabi, Muscat", noDst},
    {"(GMT+04:00) Baku", "0304074038000A040750460001"},
    {"(GMT+04:00) Yerevan", europeRule},
    {"(GMT+04:30) Kabul", noDst},
    {"(GMT+05:00) Ekaterinburg", europeRule},
    {"(GMT+05:00) Islamabad, Karachi, Tashkent", noDst},
    {"(GMT+05:30) Calcutta, Chennai, Mumbai, New Delhi", noDst},
    {"(GMT+05:30) Sri Jayawardenepura", noDst},
    {"(GMT+05:45) Kathmandu", noDst},
    {"(GMT+06:00) Almaty, Novosibirsk", europeRule},
    {"(GMT+06:00) Astana, Dhaka", noDst},
    {"(GMT+06:30) Yangon (Rangoon)", noDst},
    {"(GMT+07:00) Bangkok, Hanoi, Jakarta", noDst},
    {"(GMT+07:00) Krasnoyarsk", europeRule},
    {"(GMT+08:00) Beijing, Chongqing, Hong Kong, Urumqi", noDst},
    {"(GMT+08:00) Irkutsk, Ulaan Bataar", europeRule},
    {"(GMT+08:00) Kuala Lumpur, Singapore", noDst},
    {"(GMT+08:00) Perth", southRule},
    {"(GMT+08:00) Taipei", noDst},
    {"(GMT+09:00) Osaka, Sapporo, Tokyo", noDst},
    {"(GMT+09:00) Seoul", noDst},
    {"(GMT+09:00) Yakutsk", europeRule},
    {"(GMT+09:30) Adelaide", southRule},
    {"(GMT+09:30) Darwin", noDst},
    {"(GMT+10:00) Brisbane", noDst},
    {"(GMT+10:00) Canberra, Melbourne, Sydney", southRule},
    {"(GMT+10:00) Guam, Port Moresby", noDst},
    {"(GMT+10:00) Hobart", "0A0107201C00030407302A0001"},
    {"(GMT+10:00) Vladivostok", europeRule},
    {"(GMT+11:00) Magadan, Solomon Is., New Caledonia", noDst},
    {"(GMT+12:00) Auckland, Wellington", "0A0107201C00030307302A0001"},
    {"(GMT+12:00) Fiji, Kamchatka, Marshall Is.", noDst},
    {"(GMT+13:00) Nuku'alofa", noDst},
}};

constexpr int dateRule = 5;

} // namespace

const StandardZone &zone(int index)
{
    return zones[std::size_t(qBound(0, index, zoneCount - 1))];
}

QStringList zoneNames()
{
    QStringList names;
    for (const StandardZone &z : zones)
        names << QString::fromUtf8(z.name);
    return names;
}

QByteArray zoneRule(int index)
{
    if (index < 0 || index >= zoneCount)
        return QByteArray(CustomTimeZone::size, '\0');
    return QByteArray::fromHex(zones[std::size_t(index)].code);
}

QString codeText(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex()).toUpper();
}

std::optional<QByteArray> parseCode(const QString &text)
{
    if (text.size() != 2 * CustomTimeZone::size)
        return std::nullopt;
    for (const QChar c : text)
        if (!c.isDigit() && !(c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
            return std::nullopt;
    return QByteArray::fromHex(text.toLatin1());
}

QStringList monthNames()
{
    return {QStringLiteral("January"), QStringLiteral("Feburary"), QStringLiteral("March"),
            QStringLiteral("April"),   QStringLiteral("May"),      QStringLiteral("June"),
            QStringLiteral("July"),    QStringLiteral("August"),   QStringLiteral("September"),
            QStringLiteral("October"), QStringLiteral("November"), QStringLiteral("December")};
}

QStringList ruleNames()
{
    return {QStringLiteral("First"), QStringLiteral("Second"), QStringLiteral("Third"), QStringLiteral("Last"),
            QStringLiteral("Date")};
}

QStringList dayNames(int rule)
{
    if (rule == dateRule) {
        QStringList days;
        for (int d = 1; d <= 31; ++d)
            days << QString::number(d);
        return days;
    }
    return {QStringLiteral("Monday"), QStringLiteral("Tuesday"),  QStringLiteral("Wednesday"),
            QStringLiteral("Thursday"), QStringLiteral("Friday"), QStringLiteral("Saturday"),
            QStringLiteral("Sunday")};
}

QStringList hourNames()
{
    QStringList hours;
    for (int i = 0; i < halfHours; ++i) {
        const int hour24 = i / 2;
        const QString minutes = i % 2 ? QStringLiteral("30") : QStringLiteral("00");
        if (i == 0) {
            hours << QStringLiteral("12:00 midnight");
            continue;
        }
        const int hour12 = hour24 % 12 == 0 ? 12 : hour24 % 12;
        hours << QStringLiteral("%1:%2 %3")
                     .arg(hour12, 2, 10, QLatin1Char('0'))
                     .arg(minutes, hour24 < 12 ? QStringLiteral("am") : QStringLiteral("pm"));
    }
    return hours;
}

RulePositions decode(const CustomTimeZone &z)
{
    RulePositions p;
    if (z.isNone())
        return p;
    p.startMonth = z.startMonth - 1;
    p.startRule = z.startRule - 1;
    p.startDay = z.startDay - 1;
    p.startHour = int(z.startTime / secondsPerHalfHour);
    p.endMonth = z.endMonth - 1;
    p.endRule = z.endRule - 1;
    p.endDay = z.endDay - 1;
    p.endHour = int(z.endTime / secondsPerHalfHour);
    p.observe = z.observeDst == 1;
    return p;
}

CustomTimeZone encode(const RulePositions &p)
{
    const auto byte = [](int position) { return std::uint8_t(qBound(0, position + 1, 255)); };
    CustomTimeZone z;
    z.startMonth = byte(p.startMonth);
    z.startRule = byte(p.startRule);
    z.startDay = byte(p.startDay);
    z.startTime = std::uint32_t(qMax(0, p.startHour)) * secondsPerHalfHour;
    z.endMonth = byte(p.endMonth);
    z.endRule = byte(p.endRule);
    z.endDay = byte(p.endDay);
    z.endTime = std::uint32_t(qMax(0, p.endHour)) * secondsPerHalfHour;
    z.observeDst = p.observe ? 1 : 0;
    return z;
}

} // namespace vork::timezones
