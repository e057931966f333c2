// vork setup get: the unit's setup record, one line per field it holds.
#include "cli/cliargs.h"
#include "cli/commands.h"
#include "cli/safetext.h"
#include "cli/unitsession.h"

#include "connection/connectionmanager.h"
#include "connection/unitcommands.h"
#include "cli/setupfetch.h"
#include "cli/unitpassword.h"
#include "setup/setupfiles.h"
#include "setup/setuprecord.h"
#include "setup/setupreply.h"
#include "unit/records.h"
#include "unit/unitrules.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTextStream>

namespace vork::cli {

namespace {

const QString name = QStringLiteral("setup get");

bool isPassword(const SetupField &f)
{
    return f.offset == setupField(u"pw")->offset;
}

QJsonValue jsonValue(const setuppack &record, const SetupField &f, bool showPw)
{
    if (isPassword(f))
        return shownPassword(record.pw(), showPw);
    const QVariant v = record.value(f);
    switch (f.kind) {
    case SetupFieldKind::Boolean: return v.toBool();
    case SetupFieldKind::Byte:
    case SetupFieldKind::Word:
    case SetupFieldKind::ThreeByte: return qint64(v.toUInt());
    default: return v.toString();
    }
}

// Why 'U' brought no record. uploadSetup() gives no reason, but its only early
// way out with the link still open is a refusal: a missing acknowledgement or
// record takes its full 3 s wait.
QString uploadFailure(UnitSession &s, qint64 elapsedMs)
{
    const QString unitName = QStringLiteral("Vork Unit ") + s.address;
    const QTcpSocket *socket = s.socket();
    if (!s.unit().connected || !socket || socket->state() != QAbstractSocket::ConnectedState)
        return QStringLiteral("No setup record received from ") + unitName + QStringLiteral(": ")
               + ConnectionManager::lostText();
    if (elapsedMs < 3000)
        return unitName + QStringLiteral(" refused the setup upload (U) (NAK)");
    return QStringLiteral("No setup record received from ") + unitName
           + QStringLiteral(": no acknowledgement or no record within 3 s");
}

} // namespace

int fetchSetup(UnitSession &s, QByteArray &bytes, int &length, bool &entered)
{
    entered = false;
    // What this listens to ends with it: a record that comes after it never reaches it.
    QObject scope;
    bool got = false;
    QObject::connect(&s.setupReply, &SetupReply::received, &scope, [&](const QByteArray &record, int n) {
        got = true;
        bytes = record;
        length = n;
    });

    if (const AckResult a = s.send(Command::Setup, 3); a != AckResult::Ack)
        return s.ackFailed(a, QStringLiteral("the setup command (S)"));
    entered = true;
    QElapsedTimer clock;
    clock.start();
    const bool uploaded = s.services.commands().uploadSetup();
    if (!uploaded || !got) {
        s.op.error(uploadFailure(s, clock.elapsed()));
        return exitFailed;
    }
    return exitOk;
}

int leaveSetup(UnitSession &s, int status)
{
    // Leaves setup mode; its failure counts only when nothing failed before.
    if (s.unit().connected && s.socket()) {
        const AckResult quit = s.send(Command::Quit, 3);
        if (quit != AckResult::Ack && status == exitOk)
            status = s.ackFailed(quit, QStringLiteral("the quit command (Q)"));
    }
    return status;
}

QJsonObject setupJson(const setuppack &record, int length, int version, bool showPw)
{
    QJsonObject o;
    for (const SetupField &f : setupFields())
        if (setupFieldHeld(f, length, version))
            o.insert(f.fieldName(), jsonValue(record, f, showPw));
    o.insert(QStringLiteral("length"), length);
    return o;
}

namespace {

int body(UnitSession &s, bool json, bool showPw, const QString &outFile)
{
    QByteArray bytes;
    int length = 0;
    bool entered = false;
    int status = fetchSetup(s, bytes, length, entered);
    if (entered)
        status = leaveSetup(s, status);
    if (status != exitOk)
        return status;

    const setuppack record(bytes);
    const int version = versionNumber(s.unit().ver);
    if (!outFile.isEmpty()) {
        QString why;
        if (!setupfiles::write(outFile, record, setupfiles::fileLength(version), &why)) {
            s.op.error(QStringLiteral("Cannot write ") + outFile + QStringLiteral(": ") + why);
            return exitLocal;
        }
    }
    QTextStream out(stdout);
    if (json) {
        out << jsonText(QJsonDocument(setupJson(record, length, version, showPw)), QJsonDocument::Indented);
    } else {
        for (const SetupField &f : setupFields())
            if (setupFieldHeld(f, length, version))
                out << f.name << ": "
                    << escaped(isPassword(f) ? shownPassword(record.pw(), showPw) : record.valueText(f)) << '\n';
    }
    return exitOk;
}

} // namespace

int setupGet(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Reads a unit's setup record and prints each field it holds as \"name: value\"\n"
                       "(booleans 0/1, numbers in decimal, tzo in hex, texts escaped)."));
    p.addHelpOption();
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print one JSON object: the fields, and length (bytes received)."));
    p.addOption(json);
    const QCommandLineOption outFile(QStringLiteral("out"),
                                     QStringLiteral("Also save the record as a configuration file (.vork), at the "
                                                    "length the unit's version keeps."),
                                     QStringLiteral("FILE"));
    p.addOption(outFile);
    UnitSession::addOptions(p, false);
    addShowPasswordOption(p);
    p.addPositionalArgument(QStringLiteral("ADDRESS"), QStringLiteral("The unit's IPv4 address."));
    if (const int status = parseCommand(p, name, args); status >= 0)
        return status;
    const QStringList pos = p.positionalArguments();
    if (pos.size() != 1) {
        QTextStream(stderr) << "usage: vork setup get [options] ADDRESS (vork setup get --help)\n";
        return exitUsage;
    }
    UnitSession s(name);
    if (const int status = s.configure(p, pos.first(), false); status != exitOk)
        return status;
    if (const int status = s.identify(); status != exitOk)
        return status;
    if (const int status = s.connectUnit(); status != exitOk)
        return status;
    const int status = body(s, p.isSet(json), showPassword(p), p.value(outFile));
    s.closeUnit();
    return status;
}

} // namespace vork::cli
