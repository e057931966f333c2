// A 512 KB image flashed to a simulated unit on loopback by the flash run, next
// to the floor: a bare client in the same process that sends the same padded
// lines and reads the same answers, with no checks, log or interface.
#include "core/operator.h"
#include "core/pinger.h"
#include "core/ports.h"
#include "discovery/broadcast.h"
#include "flash/buildinfo.h"
#include "flash/flashrun.h"
#include "flash/heximage.h"
#include "services/unitservices.h"
#include "simfleet.h"
#include "unit/announcement.h"
#include "unit/unittable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

using namespace vork;

namespace {

const QString unitAddress = QStringLiteral("127.0.13.40");

// Keeps every log line in memory the way the log window does: the cost of
// logging each flashed line is part of the figure.
class MemoryOperator : public Operator
{
public:
    void log(const QString &message) override { lines.append(logLine(message)); }
    void tone(Tone, bool) override {}
    void message(MessageKind, const QString &text) override { lines.append(text); }
    Answer ask(const QString &) override { return Answer::Yes; }
    bool input(const QString &, const QString &, QString &) override { return false; }
    void setPanel(int, const QString &) override {}
    QString panel(int) const override { return {}; }
    void setBusy(bool) override {}
    void breathe() override { QCoreApplication::processEvents(); }

    QStringList lines;
};

class AlwaysUp : public Pinger
{
public:
    bool ping(const QString &, int, bool) override { return true; }
};

QString record(int type, int address, const QByteArray &data)
{
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char((address >> 8) & 0xFF));
    bytes.append(char(address & 0xFF));
    bytes.append(char(type));
    bytes.append(data);
    int sum = 0;
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    bytes.append(char((0x100 - (sum & 0xFF)) & 0xFF));
    return QLatin1Char(':') + QString::fromLatin1(bytes.toHex().toUpper());
}

// kilobytes of program data in 32-byte records, 64 KB per extended address
// segment, with a build block (version 5.0.2, 5 Jan 2019) in the first record.
QStringList image(int kilobytes)
{
    QByteArray block("\x05\x00\x02\xA5\xA5\xA5\xA5\x01\x00" "1\x00" "2\x00" "3Jan  5 2019\x00\x00", 27);
    QStringList lines;
    const int records = kilobytes * 1024 / 32;
    for (int i = 0; i < records; ++i) {
        const int address = i * 32;
        if (address % 0x10000 == 0) {
            const int segment = address >> 16;
            lines << record(4, 0, QByteArray(1, char(segment >> 8)) + char(segment & 0xFF));
        }
        QByteArray data;
        if (i == 0) {
            data = block + QByteArray(5, '\x22');
        } else {
            for (int k = 0; k < 32; ++k)
                data.append(char((i * 13 + k) & 0xFF));
        }
        lines << record(0, address & 0xFFFF, data);
    }
    lines << QStringLiteral(":00000001FF");
    return lines;
}

// The floor: 'L', the erase answer, then each line and its one answer byte.
// Returns milliseconds, or -1 when the unit did not answer as expected.
qint64 bareClient(const QStringList &lines)
{
    QTcpSocket socket;
    socket.connectToHost(unitAddress, commandPort);
    if (!socket.waitForConnected(3000))
        return -1;
    QList<QByteArray> wire;
    wire.reserve(lines.size());
    for (const QString &line : lines)
        wire << paddedFlashLine(line);

    QElapsedTimer t;
    t.start();
    int next = -1; // -1: waiting for the erase answer
    bool failed = false;
    QEventLoop loop;
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] {
        while (socket.bytesAvailable() > 0) {
            char answer = 0;
            socket.getChar(&answer);
            if (answer != 0x06) {
                failed = true;
                loop.quit();
                return;
            }
            if (++next == wire.size()) {
                loop.quit();
                return;
            }
            socket.write(wire.at(next));
        }
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, [&] {
        failed = true;
        loop.quit();
    });
    QTimer::singleShot(600000, &loop, &QEventLoop::quit); // bound of the whole run
    socket.write("L", 1);
    loop.exec();
    const qint64 ms = t.elapsed();
    if (failed || next != wire.size())
        return -1;
    // Leave the unit at command level and let it see the close before the next round.
    socket.write("C", 1);
    socket.disconnectFromHost();
    QEventLoop settle;
    QTimer::singleShot(300, &settle, &QEventLoop::quit);
    settle.exec();
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int kilobytes = argc > 1 ? qBound(16, QString::fromLocal8Bit(argv[1]).toInt(), 4096) : 512;
    const int rounds = argc > 2 ? qBound(1, QString::fromLocal8Bit(argv[2]).toInt(), 10) : 3;

    sim::SimUnit unit = sim::demoUnit(0, QHostAddress(unitAddress));
    unit.version = {3, 0, 0}; // no login: every byte on the wire is the flash
    unit.model = 0;
    unit.readers = 1;
    unit.flash.eraseMs = 0;
    sim::SimFleet fleet;
    fleet.add(unit);
    QString error;
    if (!fleet.start({}, &error)) {
        out << "cannot start the unit: " << error << Qt::endl;
        return 2;
    }

    const QStringList lines = image(kilobytes);
    qint64 wireBytes = 0;
    for (const QString &line : lines)
        wireBytes += paddedFlashLine(line).size();
    out << kilobytes << " KB image: " << lines.size() << " lines, " << wireBytes << " bytes on the wire\n";

    MemoryOperator op;
    UnitServices services(op);
    services.setPinger(std::make_unique<AlwaysUp>());
    services.transport().setLocalPort(0);
    FlashRun run(services);
    FlashImage flashImage;
    flashImage.path = QStringLiteral("bench.hex");
    flashImage.lines = lines;
    flashImage.build = contentSearch(lines);
    run.setImage(flashImage);
    run.setDontReboot(true); // the unit's reboot wait is not part of the transfer
    FlashRun::Timings timings;
    timings.queryWaitMs = 500;
    run.setTimings(timings);

    QElapsedTimer transfer;
    qint64 transferMs = 0;
    QObject::connect(&run, &FlashRun::lineProgress, [&](const QString &, int done, int total) {
        if (done == 1)
            transfer.start();
        if (done == total)
            transferMs = transfer.elapsed();
    });

    QList<qint64> runs, transfers, floors;
    for (int r = 0; r < rounds; ++r) {
        UnitTable &table = services.units();
        table.clear();
        udppack announced;
        decodeAnnouncement(fleet.server(0).announcement(), announcement::fullSize, announced);
        table.unit(table.enterAnnouncement(announced, unitAddress)).selected = true;
        op.lines.clear();
        run.clearSummary();
        QElapsedTimer whole;
        whole.start();
        transferMs = 0;
        if (!run.run() || !run.allPassed()) {
            out << "flash run failed:\n" << run.summary().join(QLatin1Char('\n')) << Qt::endl;
            return 1;
        }
        runs << whole.elapsed();
        transfers << transferMs;
        const qint64 floor = bareClient(lines);
        if (floor < 0) {
            out << "bare client failed" << Qt::endl;
            return 1;
        }
        floors << floor;
        out << "round " << r + 1 << ": flash run " << runs.last() << " ms (lines " << transfers.last()
            << " ms), bare client " << floor << " ms, " << op.lines.size() << " log lines kept\n";
        out.flush();
    }
    std::sort(runs.begin(), runs.end());
    std::sort(transfers.begin(), transfers.end());
    std::sort(floors.begin(), floors.end());
    const qint64 bestFloor = std::max<qint64>(1, floors.first());
    out << "best: flash run " << runs.first() << " ms, its lines " << transfers.first() << " ms, floor "
        << floors.first() << " ms\n"
        << "ratio (lines / floor): " << QString::number(double(transfers.first()) / double(bestFloor), 'f', 2)
        << ", whole run / floor: " << QString::number(double(runs.first()) / double(bestFloor), 'f', 2) << Qt::endl;
    return 0;
}
