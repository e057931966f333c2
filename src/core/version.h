#pragma once

#include <QDate>
#include <QString>

namespace vork {

// "JAN" to "DEC" for months 1 to 12, empty for any other number: unit build dates
// and the program's own version text use the same names.
QString monthAbbreviation(int month);

// The program's own version and build date, from the build.
struct ProgramVersion
{
    int major = 0;
    int minor = 0;
    int release = 0;
    int build = 0;
    QDate buildDate;

    static ProgramVersion current();
    // "v05.2.1 JUN-14-2021"; the status bar shows it with one leading space.
    QString text(bool leadingSpace = false) const;
    // major.minor.release.build
    QString fileVersion() const;
};

} // namespace vork
