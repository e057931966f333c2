#pragma once
// Runs the command-line tool beside simulated units that live in the test's own process.

#include "connection/commands.h"
#include "core/boundedwait.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace vork::clitest {

struct Run
{
    int status = -1; // -1: did not start, crashed or was killed at its bound
    QString out;
    QString err;
    qint64 ms = 0; // how long it ran
};

// Its stdin is a closed pipe: no terminal, nothing to read. whileRunning is called as the
// program runs, with the process (a test may signal it).
inline Run runProgram(const QString &program, const QStringList &args, int ms,
                      const std::function<void(QProcess &)> &whileRunning = {})
{
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(5000))
        return r;
    p.closeWriteChannel();
    wait::until([&] {
        if (whileRunning)
            whileRunning(p);
        return p.state() == QProcess::NotRunning;
    }, ms);
    r.ms = clock.elapsed();
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(2000);
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

#ifdef VORK_EXE
inline Run runVork(const QStringList &args, int ms = 30000, const std::function<void(QProcess &)> &whileRunning = {})
{
    return runProgram(QStringLiteral(VORK_EXE), args, ms, whileRunning);
}
#endif

// What a unit received on its command port, without the login text units from 5.0 on get first.
inline QByteArray withoutLogin(QByteArray received)
{
    if (received.startsWith(authenticationText()))
        received.remove(0, authenticationText().size());
    return received;
}

inline QString printable(const Run &r)
{
    return QStringLiteral("status %1 after %2 ms\nstdout: %3\nstderr: %4").arg(r.status).arg(r.ms).arg(r.out, r.err);
}

} // namespace vork::clitest
