#include "core/version.h"

#include "buildinfo.h"

namespace vork {

QString monthAbbreviation(int month)
{
    static const char *const names[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (month < 1 || month > 12)
        return {};
    return QString::fromLatin1(names[month - 1]);
}

ProgramVersion ProgramVersion::current()
{
    ProgramVersion v;
    v.major = VORK_VERSION_MAJOR;
    v.minor = VORK_VERSION_MINOR;
    v.release = VORK_VERSION_PATCH;
    v.buildDate = QDate::fromString(QStringLiteral(VORK_BUILD_DATE), Qt::ISODate);
    return v;
}

QString ProgramVersion::text(bool leadingSpace) const
{
    const QString t = QStringLiteral("v%1.%2.%3 %4-%5-%6")
                          .arg(major, 2, 10, QLatin1Char('0'))
                          .arg(minor)
                          .arg(release)
                          .arg(monthAbbreviation(buildDate.month()))
                          .arg(buildDate.day(), 2, 10, QLatin1Char('0'))
                          .arg(buildDate.year(), 4, 10, QLatin1Char('0'));
    return leadingSpace ? QLatin1Char(' ') + t : t;
}

QString ProgramVersion::fileVersion() const
{
    return QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(release).arg(build);
}

} // namespace vork
