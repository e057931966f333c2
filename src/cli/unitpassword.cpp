#include "cli/unitpassword.h"

#include "cli/exitcodes.h"
#include "cli/secretinput.h"
#include "cli/unitsession.h"

#include "setup/setuprecord.h"

#include <QCommandLineParser>

namespace vork::cli {

namespace {

const QString fileOption = QStringLiteral("password-file");
const QString showOption = QStringLiteral("show-password");

} // namespace

void addPasswordFileOption(QCommandLineParser &p)
{
    p.addOption({fileOption,
                 QStringLiteral("The unit's setup password, on the first line of FILE (needed when the unit's "
                                "setup is password protected and there is no terminal to ask)."),
                 QStringLiteral("FILE")});
}

void addShowPasswordOption(QCommandLineParser &p)
{
    p.addOption({showOption, QStringLiteral("Print the setup password (pw) instead of masking it.")});
}

bool showPassword(const QCommandLineParser &p)
{
    return p.isSet(showOption);
}

QString shownPassword(const QString &pw, bool show)
{
    return show || pw.isEmpty() ? pw : QStringLiteral("********");
}

int unitPasswordAllowed(UnitSession &s, const QCommandLineParser &p, const setuppack &unitRecord)
{
    if (!unitRecord.pwp())
        return exitOk;
    QString entered;
    if (p.isSet(fileOption)) {
        QString why;
        if (!secretFromFile(p.value(fileOption), entered, why)) {
            s.op.error(QStringLiteral("Cannot read the password: ") + p.value(fileOption) + QStringLiteral(": ") + why);
            return exitUsage;
        }
    } else if (!secretFromTerminal(QStringLiteral("Enter original password to make changes: "), entered)) {
        s.op.error(QStringLiteral("The setup of Vork Unit ") + s.address
                   + QStringLiteral(" is password protected: give --password-file FILE; nothing sent"));
        return exitDeclined;
    }
    if (entered != unitRecord.pw()) {
        s.op.error(QStringLiteral("Entered password does not match saved password"));
        return exitDeclined;
    }
    return exitOk;
}

} // namespace vork::cli
