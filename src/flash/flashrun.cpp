// The run over the selected units and each unit's turn: connection, image check,
// completion lines and the end of the turn. The transfer itself is in flashtransfer.cpp.
#include "flash/flashrun.h"

#include "connection/connectionmanager.h"
#include "connection/operation.h"
#include "core/boundedwait.h"
#include "core/operator.h"
#include "flash/flashstatus.h"
#include "services/unitservices.h"
#include "unit/unitrules.h"
#include "unit/unittable.h"

#include <QLocale>

#include <cmath>

namespace vork {

namespace {

const char *const monthCaps[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// The first selected unit: the active list's order first, then the table's.
udppack *nextSelected(UnitTable &units)
{
    for (int i = 0; i < UnitTable::capacity; ++i) {
        udppack *u = units.active(i);
        if (!u)
            break;
        if (u->selected && units.indexOf(u) >= 0)
            return u;
    }
    for (int i = 0; i < units.count(); ++i) {
        if (units.unit(i).selected)
            return &units.unit(i);
    }
    return nullptr;
}

} // namespace

FlashRun::FlashRun(UnitServices &services, QObject *parent) : QObject(parent), m_services(services) {}

FlashRun::~FlashRun() = default;

QStringList FlashRun::speedItems()
{
    return {QStringLiteral("Full Throttle"), QStringLiteral("Fast"), QStringLiteral("Medium"), QStringLiteral("Slow")};
}

QString FlashRun::abortQuestion()
{
    return QStringLiteral("Are you sure you want to abort the flash before it has completed?");
}

QString FlashRun::noUnitsText()
{
    return QStringLiteral("No Vork Unit(s) selected for flashing");
}

QString FlashRun::noImageText()
{
    return QStringLiteral("You must first open a \"hex\" file to flash");
}

QString FlashRun::closeRefusalText()
{
    return QStringLiteral("Cannot close while flashing");
}

QString FlashRun::abortedBeforeText()
{
    return QStringLiteral("not flashed: run aborted");
}

QString FlashRun::dateStamp(const QDateTime &t)
{
    return QLocale::c().toString(t.date(), QStringLiteral("MM/dd/yyyy"));
}

QString FlashRun::timeStamp(const QDateTime &t)
{
    return QLocale::c().toString(t.time(), QStringLiteral("hh:mm:ss AP"));
}

QString FlashRun::dateTimeStamp(const QDateTime &t)
{
    return dateStamp(t) + QLatin1Char(' ') + timeStamp(t);
}

QString FlashRun::versionDateText(const udppack &unit)
{
    const vpack &v = unit.ver;
    const QString version = QString::number(v.vnum[0]) + QLatin1Char('.') + QString::number(v.vnum[1])
                            + QLatin1Char('.') + QString::number(v.vnum[2]);
    const int month = v.vbld[1];
    const QString monthText = month >= 1 && month <= 12 ? QString::fromLatin1(monthCaps[month - 1]) : QString();
    return version + QStringLiteral(" - ") + QStringLiteral("%1").arg(int(v.vbld[0]), 2, 10, QLatin1Char('0'))
           + QLatin1Char('-') + monthText + QLatin1Char('-') + QString::number(100 * v.vbld[2] + v.vbld[3]);
}

bool FlashRun::allPassed() const
{
    if (m_outcomes.isEmpty())
        return false;
    for (const Outcome &o : m_outcomes) {
        if (o.kind != Outcome::Passed)
            return false;
    }
    return true;
}

void FlashRun::abortAsked()
{
    if (!m_running)
        return;
    m_services.op().tone(Tone::Button);
    if (m_services.op().ask(abortQuestion()) == Answer::Yes)
        requestAbort();
}

void FlashRun::requestAbort()
{
    UnitTable &units = m_services.units();
    // The abort deselects every unit; remember which were still to come, so the run can
    // say which it never reached.
    for (int i = 0; i < units.count(); ++i) {
        udppack &u = units.unit(i);
        if (u.selected && !m_abortedSelection.contains(u.ip))
            m_abortedSelection.append(u.ip);
        u.selected = false;
    }
    Q_EMIT units.selectionChanged();
    m_abort = true;
}

void FlashRun::add(const QString &line)
{
    m_summary.append(line);
    Q_EMIT summaryLine(line);
}

void FlashRun::addTimed(const QString &text)
{
    add(QLatin1Char('\t') + timeStamp(now()) + text);
}

void FlashRun::setStatus(std::uint16_t status)
{
    if (m_rows.isEmpty())
        return;
    Row &row = m_rows.last();
    row.status = status;
    const int i = m_services.units().findByIP(row.ip);
    if (i >= 0)
        m_services.units().unit(i).FlashState = status;
    Q_EMIT rowChanged(int(m_rows.size()) - 1);
}

void FlashRun::setPhase(const QString &ip, Phase phase)
{
    Q_EMIT phaseChanged(ip, phase);
}

udppack *FlashRun::unitOf(const ScopedOperation &operation) const
{
    return operation.unit(m_services.units(), m_services.connections());
}

bool FlashRun::run()
{
    if (m_running)
        return false;
    Operator &op = m_services.op();
    ScopedOperation operation(m_services.operations(), op, QStringLiteral("Flash"));
    if (!operation.admitted())
        return false;
    UnitTable &units = m_services.units();
    if (!nextSelected(units)) {
        op.log(noUnitsText());
        op.warning(noUnitsText() + QStringLiteral(" - aborting"));
        return true;
    }
    if (m_image.isEmpty()) {
        op.warning(noImageText());
        return true;
    }
    m_running = true;
    m_abort = false;
    m_outcomes.clear();
    m_abortedSelection.clear();
    Q_EMIT runningChanged(true);
    const int selected = units.selectedCount();
    QStringList chosen; // in the order the run takes them
    for (int i = 0; i < UnitTable::capacity; ++i) {
        const udppack *u = units.active(i);
        if (!u)
            break;
        if (u->selected && units.indexOf(u) >= 0)
            chosen.append(u->ip);
    }
    for (int i = 0; i < units.count(); ++i) {
        if (units.unit(i).selected && !chosen.contains(units.unit(i).ip))
            chosen.append(units.unit(i).ip);
    }
    // Every turn deselects its unit or ends the run, so the table's size bounds the loop.
    for (int turn = 0; turn < UnitTable::capacity; ++turn) {
        if (!nextSelected(units))
            break;
        if (unitTurn(operation, selected) == Turn::EndRun)
            break;
    }
    reportNotReached(chosen);
    m_running = false;
    Q_EMIT runningChanged(false);
    return true;
}

FlashRun::Turn FlashRun::unitTurn(ScopedOperation &operation, int selectedCount)
{
    Operator &op = m_services.op();
    UnitTable &units = m_services.units();
    ConnectionManager &connections = m_services.connections();
    udppack *u = nextSelected(units);
    units.setCurrent(u);
    operation.hold(*u, connections);
    Outcome outcome;
    outcome.ip = u->ip;
    const QString ip = u->ip;
    const auto finish = [&](Outcome::Kind kind, const QString &reason) {
        outcome.kind = kind;
        outcome.reason = reason;
        m_outcomes.append(outcome);
        Q_EMIT unitFinished(ip, kind == Outcome::Passed);
    };

    if (!connections.isOpen(u)) {
        const bool up = connections.Connect_or_timeout(m_t.connectMs);
        u = unitOf(operation);
        if (!up || !u) {
            add(dateTimeStamp(now()) + QStringLiteral(" Cannot Flash - Failed to Connect to Vork Unit ") + ip);
            op.log(QStringLiteral(" Can't Flash - Did not Connect to ") + ip);
            if (u) {
                u->FlashState = flashstatus::connectFailed(u->FlashState);
                outcome.status = u->FlashState;
            }
            finish(Outcome::Failed, QStringLiteral("Failed to Connect to Vork Unit ") + ip);
            return Turn::EndRun;
        }
        operation.hold(*u, connections);
    }

    QStringList unitLines;
    if (m_fitnessChecked && !m_prechecked.contains(ip)) {
        finish(Outcome::Refused, QStringLiteral("Vork Unit ") + ip + QStringLiteral(" was not checked against the image"));
        return Turn::EndRun;
    }
    if (!m_fitnessChecked) {
        const FitnessInput in{m_mode, selectedCount, m_chooseBootLoader};
        const Fitness f = checkFitness(*u, in, m_image, unitLines, m_choice, op);
        u = unitOf(operation);
        if (f.verdict == Fitness::Allow && !u) {
            op.log(QStringLiteral("Vork Unit ") + ip + QStringLiteral(": ") + ConnectionManager::lostText());
            finish(Outcome::Failed, ConnectionManager::lostText());
            return Turn::EndRun;
        }
        switch (f.verdict) {
        case Fitness::Allow: break;
        case Fitness::Cancel: finish(Outcome::Cancelled, f.reason); return Turn::EndRun;
        case Fitness::Refuse: finish(Outcome::Refused, f.reason); return Turn::EndRun;
        case Fitness::Skip:
            finish(Outcome::Skipped, f.reason);
            endTurn(operation);
            return Turn::Next;
        }
    } else if (m_mode == FlashMode::BootLoader) {
        m_choice = {};
        if (!m_chooseBootLoader || !m_chooseBootLoader(m_choice)) {
            finish(Outcome::Refused, fitnesstext::noBootLoaderChosen());
            return Turn::EndRun;
        }
    }
    // Every unit gets the image as opened and checked, never the file as it is now, with
    // what its own check added.
    if (m_fitnessChecked)
        m_lines = m_prechecked.value(ip);
    else
        m_lines = unitLines;
    const std::uint8_t command = flashCommandByte(m_mode, m_dontReboot, versionNumber(u->ver), m_choice);
    // The boot-loader regions restart the unit whatever "Don't Reboot" says.
    m_unitDontReboot = m_dontReboot && (command == 'L' || command == 'B');
    flashUnit(operation, outcome, command);
    complete(operation, outcome);
    m_outcomes.append(outcome);
    endTurn(operation);
    Q_EMIT unitFinished(ip, outcome.kind == Outcome::Passed);
    return m_abort ? Turn::EndRun : Turn::Next;
}

void FlashRun::complete(ScopedOperation &operation, Outcome &outcome)
{
    Operator &op = m_services.op();
    const QString ip = outcome.ip;
    std::uint16_t status = m_rows.isEmpty() ? 0 : m_rows.last().status;
    const bool passed = flashstatus::successful(status, m_unitDontReboot);
    if (passed && m_unitDontReboot) {
        status = flashstatus::dontRebootPassed(status);
        setStatus(status);
    }
    udppack *u = unitOf(operation);
    if (!u) {
        const int i = m_services.units().findByIP(ip);
        u = i >= 0 ? &m_services.units().unit(i) : nullptr;
    }
    if (passed) {
        // The version is this unit's own, as its refreshed announcement shows it; a unit
        // that never told one gets no empty fields.
        const QString text = u && u->vnumber.size() > 0 ? versionDateText(*u) : QString();
        const QString version = text.section(QStringLiteral(" - "), 0, 0);
        const QString date = text.section(QStringLiteral(" - "), 1);
        if (text.isEmpty()) {
            add(dateTimeStamp(now()) + QStringLiteral("*** Flash Completed Successfully for ") + ip + QStringLiteral(" ***"));
            op.log(QStringLiteral("Flash Successful for ") + ip);
        } else {
            add(dateTimeStamp(now()) + QStringLiteral("*** Flash Completed Successfully for ") + ip
                + QStringLiteral(" Version ") + version + QStringLiteral(" Build Date ") + date + QStringLiteral(" ***"));
            op.log(QStringLiteral("Flash Successful for ") + ip + QStringLiteral("v") + version + QLatin1Char(' ') + date);
        }
        outcome.kind = Outcome::Passed;
    } else {
        add(dateTimeStamp(now()) + QStringLiteral(" *** Flash Failed for ") + ip + QStringLiteral(" ***"));
        op.log(QStringLiteral("Flash Failed for ") + ip);
        outcome.kind = Outcome::Failed;
    }
    outcome.status = status;
    if (!m_rows.isEmpty()) {
        const qint64 ms = m_startClock.isValid() ? m_startClock.elapsed() : 0;
        const qint64 totalSeconds = qint64(std::llround(double(ms) / 1000.0));
        const int minutes = int((totalSeconds / 60) % 256);
        const int seconds = int(totalSeconds % 60);
        m_rows.last().elapsed = QStringLiteral("%1:%2").arg(minutes, 2, 10, QLatin1Char('0')).arg(seconds, 2, 10, QLatin1Char('0'));
        Q_EMIT rowChanged(int(m_rows.size()) - 1);
    }
    add(QString());
}

void FlashRun::reportNotReached(const QStringList &chosen)
{
    QStringList reached;
    for (const Outcome &o : m_outcomes)
        reached.append(o.ip);
    UnitTable &units = m_services.units();
    for (const QString &ip : chosen) {
        if (reached.contains(ip))
            continue;
        Outcome o;
        o.ip = ip;
        o.kind = Outcome::NotReached;
        if (m_abortedSelection.contains(ip)) {
            o.reason = abortedBeforeText();
        } else {
            const int i = units.findByIP(ip);
            if (i < 0 || !units.unit(i).selected)
                continue; // deselected by the operator while the run went on
            o.reason = QStringLiteral("not flashed: the run ended before it");
        }
        add(dateTimeStamp(now()) + QStringLiteral(" Vork Unit ") + ip + QLatin1Char(' ') + o.reason);
        m_services.op().log(QStringLiteral("Vork Unit ") + ip + QLatin1Char(' ') + o.reason);
        m_outcomes.append(o);
    }
}

void FlashRun::endTurn(ScopedOperation &operation)
{
    ConnectionManager &connections = m_services.connections();
    udppack *u = unitOf(operation);
    if (!u) {
        // The connection it had is gone; the unit itself may still be in the table.
        const int i = m_services.units().findByIP(operation.heldAddress());
        u = i >= 0 ? &m_services.units().unit(i) : nullptr;
    }
    if (!u)
        return;
    u->selected = false;
    Q_EMIT m_services.units().selectionChanged();
    if (u->connected) {
        const QString ip = u->ip;
        connections.Exit_socket(u);
        // The unit closes its end after acknowledging; bounded.
        UnitTable &units = m_services.units();
        wait::until([&] {
            const int i = units.findByIP(ip);
            return i < 0 || !units.unit(i).connected;
        }, m_t.closeWaitMs);
    }
}

} // namespace vork
