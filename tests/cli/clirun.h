#pragma once
// Runs the command-line tool beside simulated units that live in the test's own process.

#include "core/boundedwait.h"

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
};

// Its stdin is a closed pipe: no terminal, nothing to read. whileRunning is called as the
// tool runs, with the process (a test may signal it).
inline Run runVork(const QStringList &args, int ms = 30000, const std::function<void(QProcess &)> &whileRunning = {})
{
    QProcess p;
    p.start(QStringLiteral(VORK_EXE), args);
    Run r;
    if (!p.waitForStarted(5000))
        return r;
    p.closeWriteChannel();
    wait::until([&] {
        if (whileRunning)
            whileRunning(p);
        return p.state() == QProcess::NotRunning;
    }, ms);
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

inline QString printable(const Run &r)
{
    return QStringLiteral("status %1\nstdout: %2\nstderr: %3").arg(r.status).arg(r.out, r.err);
}

} // namespace vork::clitest
