// vork setup put / set / diff: a setup record from a file or by field into a
// unit, and two records (units or files) compared field by field.
#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/safetext.h"
#include "cli/setupfetch.h"
#include "cli/unitpassword.h"
#include "cli/unitsession.h"

#include "setup/setupchecks.h"
#include "setup/setupdownload.h"
#include "setup/setupfiles.h"
#include "setup/setuprecord.h"
#include "unit/records.h"
#include "unit/unitrules.h"

#include <QFileInfo>
#include <QTextStream>

namespace vork::cli {

namespace {

// Files keep the record in the program's own layout, the one a 5.0.0 unit has.
constexpr int fileLayoutVersion = 500;
// setup diff answers as diff(1) does.
constexpr int diffDiffer = 1;
constexpr int diffTrouble = 2;

int usage(const QString &line)
{
    QTextStream(stderr) << "usage: " << line << '\n';
    return exitUsage;
}

int downloadStatus(SetupDownload::Result r)
{
    switch (r) {
    case SetupDownload::Result::Saved: return exitOk;
    case SetupDownload::Result::Invalid: return exitUsage;
    case SetupDownload::Result::Declined: return exitDeclined;
    default: return exitFailed;
    }
}

// Connects, reads the unit's record, lets change() edit it and downloads the result.
template <class Change>
int changeUnit(const QString &name, const QCommandLineParser &p, const QString &address, const QString &question,
               Change change)
{
    UnitSession s(name);
    if (const int status = s.configure(p, address, true); status != exitOk)
        return status;
    if (!s.confirm(question))
        return exitDeclined;
    if (const int status = s.identify(); status != exitOk)
        return status;
    if (const int status = s.connectUnit(); status != exitOk)
        return status;
    QByteArray bytes;
    int length = 0;
    bool entered = false;
    int status = fetchSetup(s, bytes, length, entered);
    if (status == exitOk) {
        const setuppack received(bytes);
        setuppack outgoing = received;
        // The unit's own record decides whether its password is needed, whatever goes over it.
        status = unitPasswordAllowed(s, p, received);
        if (status == exitOk)
            status = change(outgoing, length, versionNumber(s.unit().ver));
        if (status == exitOk) {
            SetupDownload download(s.services);
            download.setReceived(received);
            status = downloadStatus(download.download(outgoing));
            if (status == exitFailed && s.op.errors == 0)
                s.op.error(QStringLiteral("Vork Unit ") + s.address + QStringLiteral(" did not take the setup record"));
        }
    }
    if (entered)
        status = leaveSetup(s, status);
    s.closeUnit();
    return status;
}

// A side of a comparison: a unit by address, or a configuration file.
struct Side
{
    setuppack record;
    int length = 0;
    int version = fileLayoutVersion;
    QString label;
};

int readSide(const QString &text, const QCommandLineParser &p, Side &side)
{
    side.label = text;
    const QFileInfo file(text);
    if (file.exists() || text.endsWith(QLatin1String(".vork"), Qt::CaseInsensitive)
        || text.contains(QLatin1String(".txt"), Qt::CaseInsensitive)) {
        const setupfiles::ReadResult r = setupfiles::read(text, setuppack());
        if (!r.ok) {
            QTextStream(stderr) << "vork setup diff: " << r.error << '\n';
            return exitUsage;
        }
        side.record = r.record;
        side.length = r.length;
        return exitOk;
    }
    UnitSession s(QStringLiteral("setup diff"));
    if (const int status = s.configure(p, text, false); status != exitOk)
        return status;
    if (const int status = s.identify(); status != exitOk)
        return status;
    if (const int status = s.connectUnit(); status != exitOk)
        return status;
    QByteArray bytes;
    bool entered = false;
    int status = fetchSetup(s, bytes, side.length, entered);
    if (entered)
        status = leaveSetup(s, status);
    side.version = versionNumber(s.unit().ver);
    side.record = setuppack(bytes);
    s.closeUnit();
    return status;
}

} // namespace

int setupPut(const QStringList &args)
{
    const QString name = QStringLiteral("setup put");
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Writes a configuration file (.vork, or a .txt dump) to a unit: the file's bytes go over the\n"
        "unit's own record, the record is checked as the editor checks it, then downloaded; the unit's\n"
        "second acknowledgement confirms it. Asks first unless --yes."));
    p.addHelpOption();
    UnitSession::addOptions(p, true);
    addPasswordFileOption(p);
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("The unit's IPv4 address."));
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The configuration file."));
    if (const int status = parseCommand(p, name, args); status >= 0)
        return status;
    const QStringList pos = p.positionalArguments();
    if (pos.size() != 2)
        return usage(QStringLiteral("vork setup put [options] ADDRESS FILE (vork setup put --help)"));
    const QString path = pos.at(1);
    // The file is read before anything goes to a unit.
    const setupfiles::ReadResult probe = setupfiles::read(path, setuppack());
    if (!probe.ok) {
        QTextStream(stderr) << "vork setup put: " << probe.error << '\n';
        return exitUsage;
    }
    return changeUnit(name, p, pos.first(),
                      QStringLiteral("Download ") + path + QStringLiteral(" to Vork Unit ") + pos.first() + QLatin1Char('?'),
                      [&](setuppack &outgoing, int, int) {
                          const setupfiles::ReadResult r = setupfiles::read(path, outgoing);
                          if (!r.ok) {
                              QTextStream(stderr) << "vork setup put: " << r.error << '\n';
                              return exitUsage;
                          }
                          outgoing = r.record;
                          return exitOk;
                      });
}

int setupSet(const QStringList &args)
{
    const QString name = QStringLiteral("setup set");
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Changes fields of a unit's setup record by name (as vork setup get prints them) and downloads\n"
        "the record after the editor's checks. Asks first unless --yes."));
    p.addHelpOption();
    UnitSession::addOptions(p, true);
    addPasswordFileOption(p);
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("The unit's IPv4 address."));
    p.addPositionalArgument(QStringLiteral("FIELD=VALUE"), QStringLiteral("One or more fields."), QStringLiteral("FIELD=VALUE..."));
    if (const int status = parseCommand(p, name, args); status >= 0)
        return status;
    const QStringList pos = p.positionalArguments();
    if (pos.size() < 2)
        return usage(QStringLiteral("vork setup set [options] ADDRESS FIELD=VALUE... (vork setup set --help)"));

    // Every assignment is checked before the unit is touched.
    QList<QPair<const SetupField *, QString>> changes;
    for (const QString &a : pos.mid(1)) {
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        const SetupField *field = eq > 0 ? setupField(QStringView(a).left(eq)) : nullptr;
        if (!field || field->passThrough) {
            QTextStream(stderr) << "vork setup set: " << (eq > 0 ? a.left(eq) : a) << " is not a setup field\n";
            return exitUsage;
        }
        QString value = a.mid(eq + 1);
        const QString fieldName = field->fieldName();
        if (field->kind == SetupFieldKind::Text || field->kind == SetupFieldKind::IpText) {
            // Nothing is cut or changed on the way into the record.
            if (fieldName == QLatin1String("pw") && value.size() > field->width - 1) {
                QTextStream(stderr) << "vork setup set: Maximum password length is 8 characters.\n";
                return exitUsage;
            }
            if (const auto bad = setupchecks::badText(*field, value)) {
                QTextStream(stderr) << "vork setup set: " << *bad << '\n';
                return exitUsage;
            }
        }
        if (fieldName == QLatin1String("ntsuf") && value == QLatin1String("0"))
            value = QStringLiteral("1"); // the editor turns 0 into the least frequency
        setuppack probe;
        if (!probe.setValueText(*field, value)) {
            QTextStream(stderr) << "vork setup set: " << value << " does not fit " << field->name << '\n';
            return exitUsage;
        }
        // Addresses and the retry count depend on other fields: the editor's checks see them in the record.
        const bool inContext = fieldName == QLatin1String("caddr") || fieldName == QLatin1String("naddr")
                               || fieldName == QLatin1String("nkar");
        const QVariant v = probe.value(*field);
        if (!inContext && v.typeId() == QMetaType::UInt && !setupValueAllowed(*field, v.toUInt())) {
            QTextStream(stderr) << "vork setup set: " << value << " is not a value of " << field->name << '\n';
            return exitUsage;
        }
        changes.append({field, value});
    }
    return changeUnit(name, p, pos.first(),
                      QStringLiteral("Change ") + QString::number(changes.size())
                          + QStringLiteral(" field(s) of Vork Unit ") + pos.first() + QLatin1Char('?'),
                      [&](setuppack &outgoing, int length, int version) {
                          for (const auto &[field, value] : std::as_const(changes)) {
                              if (!setupFieldHeld(*field, length, version)) {
                                  QTextStream(stderr) << "vork setup set: this unit's record has no "
                                                      << field->name << '\n';
                                  return exitUsage;
                              }
                              outgoing.setValueText(*field, value);
                          }
                          if (outgoing.pwp() && outgoing.pw().isEmpty()) {
                              QTextStream(stderr)
                                  << "vork setup set: To password protect, you must enter a password.\n";
                              return exitUsage;
                          }
                          return exitOk;
                      });
}

int setupDiff(const QStringList &args)
{
    const QString name = QStringLiteral("setup diff");
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Compares two setup records field by field and prints each field that differs as\n"
        "\"name: A -> B\", and the fields a shorter side lacks. Each side is a unit's address or a\n"
        "configuration file. Exit status as diff(1): 0 equal, 1 different, 2 trouble."));
    p.addHelpOption();
    UnitSession::addOptions(p, false);
    addShowPasswordOption(p);
    p.addPositionalArgument(QStringLiteral("A"), QStringLiteral("An address or a .vork file."));
    p.addPositionalArgument(QStringLiteral("B"), QStringLiteral("An address or a .vork file."));
    if (const int status = parseCommand(p, name, args); status >= 0)
        return status == exitOk ? exitOk : diffTrouble;
    const QStringList pos = p.positionalArguments();
    if (pos.size() != 2) {
        usage(QStringLiteral("vork setup diff [options] A B (vork setup diff --help)"));
        return diffTrouble;
    }
    Side a;
    Side b;
    if (readSide(pos.at(0), p, a) != exitOk || readSide(pos.at(1), p, b) != exitOk)
        return diffTrouble;
    const bool show = showPassword(p);
    QTextStream out(stdout);
    bool differ = false;
    QStringList onlyA;
    QStringList onlyB;
    for (const SetupField &f : setupFields()) {
        if (f.passThrough)
            continue;
        const bool inA = setupFieldHeld(f, a.length, a.version);
        const bool inB = setupFieldHeld(f, b.length, b.version);
        // Files never keep the PLC address: its absence there is no difference.
        const bool plc = f.kind == SetupFieldKind::PlcAddress;
        if (inA != inB && !plc) {
            (inA ? onlyA : onlyB).append(f.fieldName());
            continue;
        }
        if (!inA || !inB)
            continue;
        QString left = a.record.valueText(f);
        QString right = b.record.valueText(f);
        if (left == right)
            continue;
        if (f.offset == setupField(u"pw")->offset) {
            left = shownPassword(left, show);
            right = shownPassword(right, show);
        }
        out << f.name << ": " << escaped(left) << " -> " << escaped(right) << '\n';
        differ = true;
    }
    // A shorter side is no match: say what it lacks.
    if (!onlyA.isEmpty()) {
        out << "B lacks (" << b.length << " bytes): " << onlyA.join(QStringLiteral(", ")) << '\n';
        differ = true;
    }
    if (!onlyB.isEmpty()) {
        out << "A lacks (" << a.length << " bytes): " << onlyB.join(QStringLiteral(", ")) << '\n';
        differ = true;
    }
    return differ ? diffDiffer : exitOk;
}

} // namespace vork::cli
