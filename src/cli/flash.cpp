// vork flash: an image to one unit or many, each checked first; vork hex info in hexinfo.cpp.
#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/safetext.h"
#include "cli/unitsession.h"

#include "core/closesignals.h"
#include "flash/flashfitness.h"
#include "flash/flashimage.h"
#include "flash/flashrun.h"
#include "unit/unittable.h"

#include <QHash>
#include <QTextStream>

#include <unistd.h>

namespace vork::cli {

namespace {

const QString name = QStringLiteral("flash");
constexpr int progressWidth = 30;

bool parseSpeed(const QString &text, FlashRun::Speed &speed)
{
    const QStringList words{QStringLiteral("full"), QStringLiteral("fast"), QStringLiteral("medium"),
                            QStringLiteral("slow")};
    const int i = int(words.indexOf(text.toLower()));
    if (i < 0)
        return false;
    speed = static_cast<FlashRun::Speed>(i);
    return true;
}

bool parseBootLoader(const QString &text, BootLoaderChoice &choice)
{
    const QString t = text.toLower();
    choice = {};
    if (t == QLatin1String("manager"))
        choice.region = BootLoaderChoice::Region::Manager;
    else if (t == QLatin1String("a") || t == QLatin1String("a-primary"))
        choice.region = BootLoaderChoice::Region::A;
    else if (t == QLatin1String("b") || t == QLatin1String("b-primary"))
        choice.region = BootLoaderChoice::Region::B;
    else
        return false;
    choice.makePrimary = t.endsWith(QLatin1String("-primary"));
    return true;
}

void drawProgress(QTextStream &err, const QString &ip, int value, int maximum)
{
    const int max = qMax(1, maximum);
    const int filled = int(qint64(qBound(0, value, max)) * progressWidth / max);
    err << '\r' << ip << " [" << QString(filled, QLatin1Char('#')) << QString(progressWidth - filled, QLatin1Char('.'))
        << "] " << value << '/' << maximum;
    err.flush();
}

// A summary line as it is printed: its leading tabs are the summary's own layout and stay
// tabs; the rest may hold text a unit sent and is escaped.
QString summaryText(const QString &line)
{
    qsizetype tabs = 0;
    while (tabs < line.size() && line.at(tabs) == QLatin1Char('\t'))
        ++tabs;
    return line.left(tabs) + escapedKeepingLines(line.mid(tabs));
}

} // namespace

int flash(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Flashes the Intel HEX image FILE to the units at ADDRESS..., one after another. The file is\n"
        "verified first (a bad record refuses it; a bad checksum asks). Each unit is asked who it is\n"
        "and checked against the image before anything is sent; an unfit unit is refused with the\n"
        "reason and the others are flashed. The summary log goes to stdout, a progress bar per unit\n"
        "to stderr when it is a terminal. Ctrl+C aborts after the line in flight ('x').\n"
        "Exit status 0 only when every unit passed."));
    p.addHelpOption();
    const QCommandLineOption dontReboot(QStringLiteral("dont-reboot"),
                                        QStringLiteral("Don't Reboot after Flashing (the unit takes the image on its next start)."));
    const QCommandLineOption speed(QStringLiteral("speed"),
                                   QStringLiteral("Pause after each line: full (none), fast, medium or slow (100, 200, 300 ms)."),
                                   QStringLiteral("SPEED"), QStringLiteral("full"));
    const QCommandLineOption bootLoader(
        QStringLiteral("boot-loader"),
        QStringLiteral("Flash a boot loader instead of the program: manager, a, b, a-primary or b-primary."),
        QStringLiteral("REGION"));
    p.addOptions({dontReboot, speed, bootLoader});
    UnitSession::addOptions(p, true);
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The Intel HEX image."));
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("The units' IPv4 addresses."), QStringLiteral("ADDRESS..."));
    if (const int status = parseCommand(p, name, args); status >= 0)
        return status;
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList pos = p.positionalArguments();
    if (pos.size() < 2) {
        err << "usage: vork flash [options] FILE ADDRESS... (vork flash --help)\n";
        return exitUsage;
    }
    FlashRun::Speed chosenSpeed = FlashRun::Speed::FullThrottle;
    if (!parseSpeed(p.value(speed), chosenSpeed)) {
        err << "vork flash: --speed takes full, fast, medium or slow\n";
        return exitUsage;
    }
    BootLoaderChoice choice;
    const bool boot = p.isSet(bootLoader);
    if (boot && !parseBootLoader(p.value(bootLoader), choice)) {
        err << "vork flash: --boot-loader takes manager, a, b, a-primary or b-primary\n";
        return exitUsage;
    }
    const QStringList addresses = pos.mid(1);
    for (const QString &a : addresses) {
        if (const QString problem = unitAddressProblem(a); !problem.isEmpty()) {
            err << "vork flash: " << problem << '\n';
            return exitUsage;
        }
        if (addresses.count(a) > 1) {
            err << "vork flash: " << a << " is given more than once\n";
            return exitUsage;
        }
    }

    UnitSession s(name);
    if (const int status = s.configure(p, addresses.first(), true); status != exitOk)
        return status;
    const ImageOpenResult opened = openImage(pos.first(), s.op);
    if (opened.status != ImageOpen::Loaded) {
        if (opened.status == ImageOpen::Declined) {
            err << "vork flash: " << escaped(opened.message) << '\n';
            return exitDeclined;
        }
        return exitBadImage;
    }
    const FlashImage image = opened.image;
    out << "Image " << escaped(image.path) << ": " << image.lineCount() << " lines, build " << escaped(image.build.buildString)
        << '\n';
    out.flush();

    // Who each unit is, and whether the image may go to it, before any is touched.
    UnitTable &units = s.services.units();
    int failedUnits = 0;
    int refusedUnits = 0;
    bool anyDeclined = false;
    QHash<QString, QStringList> linesByUnit; // each unit's own lines: an added offset record is its alone
    const FitnessInput fitness{boot ? FlashMode::BootLoader : FlashMode::Program, int(addresses.size()),
                               [&](BootLoaderChoice &c) {
                                   c = choice;
                                   return true;
                               }};
    for (const QString &a : addresses) {
        s.address = a;
        const int declinedBefore = s.op.declined;
        if (s.identify() != exitOk) {
            ++failedUnits;
            continue;
        }
        const int i = units.findByIP(a);
        if (i < 0) {
            ++failedUnits;
            continue;
        }
        udppack &u = units.unit(i);
        BootLoaderChoice checked;
        QStringList lines;
        const Fitness f = checkFitness(u, fitness, image, lines, checked, s.op);
        if (f.verdict == Fitness::Allow) {
            u.selected = true;
            linesByUnit.insert(a, lines);
            continue;
        }
        u.selected = false;
        ++refusedUnits;
        anyDeclined = anyDeclined || s.op.declined > declinedBefore;
        err << "vork flash: Vork Unit " << a << (f.verdict == Fitness::Skip ? " skipped: " : " refused: ")
            << escapedKeepingLines(displayText(f.reason)) << '\n';
    }
    if (units.selectedCount() == 0) {
        if (failedUnits > 0)
            return exitFailed;
        return anyDeclined ? exitDeclined : exitFailed;
    }

    FlashRun run(s.services);
    run.setImage(image);
    run.setMode(boot ? FlashMode::BootLoader : FlashMode::Program);
    run.setDontReboot(p.isSet(dontReboot));
    run.setSpeed(chosenSpeed);
    run.setPrechecked(linesByUnit);
    run.setBootLoaderChooser([&](BootLoaderChoice &c) {
        c = choice;
        return true;
    });
    const bool bar = isatty(STDERR_FILENO) == 1;
    QObject scope;
    QObject::connect(&run, &FlashRun::summaryLine, &scope, [&](const QString &line) {
        if (bar)
            err << '\r' << QString(progressWidth + 40, QLatin1Char(' ')) << '\r' << Qt::flush;
        out << summaryText(line) << '\n';
        out.flush();
    });
    QObject::connect(&run, &FlashRun::lineProgress, &scope, [&](const QString &ip, int done, int total) {
        if (bar)
            drawProgress(err, ip, done, total);
    });
    CloseSignals interrupt;
    QObject::connect(&interrupt, &CloseSignals::closeRequested, &scope, [&](int) {
        err << "\nvork flash: interrupted: aborting after the line in flight\n";
        run.requestAbort();
    });
    interrupt.arm();
    run.run();
    if (bar)
        err << '\n';

    // Units the run never reached (an abort, or a run that ended early) did not pass either.
    for (const FlashRun::Outcome &o : run.outcomes()) {
        if (o.kind == FlashRun::Outcome::Passed)
            continue;
        ++failedUnits;
        if (o.kind == FlashRun::Outcome::NotReached) {
            err << "vork flash: Vork Unit " << o.ip << ' ' << escaped(o.reason) << '\n';
            continue;
        }
        err << "vork flash: Vork Unit " << o.ip << " failed"
            << (o.reason.isEmpty() ? QString() : QStringLiteral(": ") + escaped(o.reason)) << '\n';
    }
    if (failedUnits > 0)
        return exitFailed;
    if (refusedUnits > 0)
        return anyDeclined ? exitDeclined : exitFailed;
    return exitOk;
}

} // namespace vork::cli
