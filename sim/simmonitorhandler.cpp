#include "simmonitorhandler.h"

#include "simunitserver.h"

#include "connection/commands.h"
#include "unit/eventrecord.h"

#include <QDateTime>

namespace vork::sim {

namespace {
constexpr int forceReadDataSize = 3;
constexpr int labelLimit = 16383; // labels count up to the largest and start over
// Error, label, diagnostic, alarm and boot records in turn, labels most often, as on a line.
// Seven, so that with 1, 2, 4 or 8 readers every reader gets every kind.
constexpr DataPackKind kindCycle[] = {DataPackKind::Label, DataPackKind::Error, DataPackKind::Label,
                                      DataPackKind::Diagnostic, DataPackKind::Label, DataPackKind::Alarm,
                                      DataPackKind::Boot};
constexpr int continuousPhotoEyesMs = 100;
constexpr std::uint8_t errorCodes[] = {12, 31, 45, 7};
constexpr std::uint8_t alarmCodes[] = {1, 30, 47};
constexpr std::uint8_t bootCodes[] = {0, 3, 52};
// A byte that starts no reply: a zero, which the utility only counts.
constexpr char garbageByte = '\0';
} // namespace

SimMonitorHandler::SimMonitorHandler(SimCommandServer &server) : QObject(&server), m_server(server)
{
    connect(&server, &SimCommandServer::modeChanged, this, &SimMonitorHandler::modeChanged);
    connect(&server, &SimCommandServer::clientDisconnected, this, [this] {
        m_streaming = false;
        m_stream.stop();
        m_photoEyes.stop();
    });
    connect(&m_stream, &QTimer::timeout, this, &SimMonitorHandler::sendBurst);
    connect(&m_photoEyes, &QTimer::timeout, this, [this] { sendPhotoEyes('p'); });
}

bool SimMonitorHandler::knows(Mode mode, std::uint8_t byte) const
{
    if (mode != Mode::Monitor)
        return false;
    switch (static_cast<Command>(byte)) {
    case Command::Quit:
    case Command::ForceRead:
    case Command::PhotoEyesOnce:
    case Command::PhotoEyesContinuous:
    case Command::PhotoEyesStop:
        return true;
    default:
        return false;
    }
}

int SimMonitorHandler::dataSize(Mode mode, std::uint8_t byte) const
{
    return mode == Mode::Monitor && byte == static_cast<std::uint8_t>(Command::ForceRead) ? forceReadDataSize : 0;
}

int SimMonitorHandler::readers() const
{
    // Live records come from 1, 2, 4 or 8 readers; any other count sends them as one.
    const int n = m_server.unit().unit().readers;
    return n >= 1 && n <= DataPack::readerSlots ? n : 1;
}

void SimMonitorHandler::modeChanged(Mode mode)
{
    if (mode == Mode::Monitor) {
        m_streaming = true;
        m_stream.start(qMax(10, m_server.unit().unit().monitor.intervalMs));
        return;
    }
    m_photoEyes.stop();
    // A unit stuck in monitor mode goes on although it acknowledged the quit.
    if (!m_server.unit().unit().monitor.sticky) {
        m_streaming = false;
        m_stream.stop();
    }
}

void SimMonitorHandler::execute(SimHandlerPort &port, std::uint8_t byte)
{
    switch (static_cast<Command>(byte)) {
    case Command::Quit:
        port.ack(byte);
        port.setMode(Mode::CommandLevel);
        return;
    case Command::PhotoEyesOnce:
        port.ignore(byte);
        sendPhotoEyes('P');
        return;
    case Command::PhotoEyesContinuous:
        port.ignore(byte);
        sendPhotoEyes('p');
        m_photoEyes.start(continuousPhotoEyesMs);
        return;
    default: // 'X' ends continuous photo-eye reading, without an answer
        port.ignore(byte);
        m_photoEyes.stop();
        return;
    }
}

void SimMonitorHandler::finishData(SimHandlerPort &port, std::uint8_t byte, const QByteArray &data)
{
    Q_UNUSED(port)
    Q_UNUSED(byte)
    if (data.size() < forceReadDataSize)
        return;
    // The forced read is reported like any other read of that reader.
    const auto reader = static_cast<std::uint8_t>(data.at(0));
    std::array<std::uint8_t, 10> payload{};
    payload[0] = static_cast<std::uint8_t>(data.at(1));
    payload[1] = static_cast<std::uint8_t>(data.at(2));
    const QByteArray record = stamp(std::uint8_t(DataPackKind::Label), reader, payload);
    // After the block's acknowledgement, which the port queues once this returns.
    QTimer::singleShot(10, this, [this, record] { sendRecord(record); });
}

QByteArray SimMonitorHandler::stamp(std::uint8_t typ, std::uint8_t reader, const std::array<std::uint8_t, 10> &data) const
{
    const QDateTime now = m_server.unit().clock();
    DataPack p;
    p.typ = typ;
    p.rdr = reader;
    p.month = static_cast<std::uint8_t>(now.date().month());
    p.day = static_cast<std::uint8_t>(now.date().day());
    p.cent = static_cast<std::uint8_t>(now.date().year() / 100);
    p.year = static_cast<std::uint8_t>(now.date().year() % 100);
    p.hr = static_cast<std::uint8_t>(now.time().hour());
    p.min = static_cast<std::uint8_t>(now.time().minute());
    p.sec = static_cast<std::uint8_t>(now.time().second());
    p.data = data;
    return encodeDataPack(p);
}

QByteArray SimMonitorHandler::nextRecord(int reader)
{
    const DataPackKind kind = kindCycle[m_nextKind];
    m_nextKind = (m_nextKind + 1) % int(std::size(kindCycle));
    std::array<std::uint8_t, 10> d{};
    const int k = m_recordsSent;
    switch (kind) {
    case DataPackKind::Label:
        d[0] = static_cast<std::uint8_t>(m_label & 0xFF);
        d[1] = static_cast<std::uint8_t>(m_label >> 8);
        m_label = m_label >= labelLimit ? 1 : m_label + 1;
        break;
    case DataPackKind::Error:
        d[0] = errorCodes[k % std::size(errorCodes)];
        d[1] = static_cast<std::uint8_t>(m_label & 0xFF); // codes 30-39 carry a label and a bit count
        d[2] = static_cast<std::uint8_t>(m_label >> 8);
        d[3] = 12;
        break;
    case DataPackKind::Diagnostic:
        for (int i = 0; i < 5; ++i)
            d[i] = static_cast<std::uint8_t>(static_cast<std::int8_t>((k + i * 7) % 31 - 15));
        break;
    case DataPackKind::Alarm:
        d[0] = alarmCodes[k % std::size(alarmCodes)];
        d[1] = 1;
        break;
    case DataPackKind::Boot:
        d[0] = bootCodes[k % std::size(bootCodes)];
        break;
    default:
        break;
    }
    // Alarm and boot records belong to the unit, not a reader: they say reader 0.
    const bool system = kind == DataPackKind::Alarm || kind == DataPackKind::Boot;
    return stamp(static_cast<std::uint8_t>(kind), system ? 0 : static_cast<std::uint8_t>(reader), d);
}

void SimMonitorHandler::sendBurst()
{
    if (!m_streaming || !m_server.hasClient() || !m_pause.hasExpired())
        return;
    const SimMonitor &m = m_server.unit().unit().monitor;
    for (int i = 0; i < m.burst && m_pause.hasExpired(); ++i) {
        sendRecord(nextRecord(m_nextReader));
        m_nextReader = (m_nextReader + 1) % readers();
    }
}

void SimMonitorHandler::sendRecord(const QByteArray &record)
{
    const SimMonitor &m = m_server.unit().unit().monitor;
    const QByteArray bytes = QByteArray(1, static_cast<char>(ReplyType::LiveRecord)) + record;
    if (m.garbageBytes > 0)
        m_server.pushBytes(QByteArray(m.garbageBytes, garbageByte));
    if (m.cutRecord == m_recordsSent + 1) {
        m_server.pushBytes(bytes.left(10));
        m_pause = QDeadlineTimer(1500);
    } else if (m.splitRecords) {
        m_server.pushBytes(bytes.left(7));
        m_server.pushBytes(bytes.mid(7));
    } else {
        m_server.pushBytes(bytes);
    }
    ++m_recordsSent;
}

void SimMonitorHandler::sendPhotoEyes(char type)
{
    // A byte for every reader the unit reports, past eight too: a unit with a bogus
    // count sends them all. Without set eyes each reader's three (A 4, B 2, C 1)
    // take turns, so a watcher sees them change.
    const QByteArray &set = m_server.unit().unit().monitor.photoEyes;
    const int count = qMax(1, int(m_server.unit().unit().readers));
    QByteArray reply(1, type);
    for (int r = 0; r < count; ++r)
        reply.append(set.isEmpty() ? static_cast<char>((m_eyeTick + r) % 8) : r < set.size() ? set.at(r) : '\0');
    ++m_eyeTick;
    ++m_photoEyeReplies;
    m_server.pushBytes(reply);
}

} // namespace vork::sim
