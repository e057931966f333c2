#include "simhistoryhandler.h"

#include "simunitserver.h"

#include "connection/commands.h"

#include <QDateTime>

namespace vork::sim {

static_assert(SimHistoryHandler::quitKey == static_cast<std::uint8_t>(Command::HistoryQuit));

namespace {
constexpr std::uint8_t kindBits[] = {0, 0x01, 0x02, 0x04, 0x08, 0x20}; // by kind; boot rides on 0x20
constexpr std::uint8_t nextBit = 0x10;
constexpr std::uint8_t multiBit = 0x80;
constexpr int datedRequestSize = 10;
const QDateTime storeStart(QDate(2021, 3, 1), QTime(0, 0));
} // namespace

DataPack simHistoryRecord(const SimUnit &unit, int index)
{
    DataPack p;
    p.typ = static_cast<std::uint8_t>(1 + index % 5);
    const int readers = unit.readers >= 1 && unit.readers <= DataPack::readerSlots ? unit.readers : 1;
    const bool system = p.typ >= static_cast<std::uint8_t>(DataPackKind::Alarm);
    p.rdr = system ? 0 : static_cast<std::uint8_t>((index / 5) % readers);
    const QDateTime t = storeStart.addSecs(qint64(index) * 60);
    p.month = static_cast<std::uint8_t>(t.date().month());
    p.day = static_cast<std::uint8_t>(t.date().day());
    p.cent = static_cast<std::uint8_t>(t.date().year() / 100);
    p.year = static_cast<std::uint8_t>(t.date().year() % 100);
    p.hr = static_cast<std::uint8_t>(t.time().hour());
    p.min = static_cast<std::uint8_t>(t.time().minute());
    p.sec = static_cast<std::uint8_t>(index % 60);
    switch (p.kind()) {
    case DataPackKind::Error:
        p.data[0] = static_cast<std::uint8_t>(index % 100);
        break;
    case DataPackKind::Label:
        p.data[0] = static_cast<std::uint8_t>(index & 0xFF); // the store index, so order is visible
        p.data[1] = static_cast<std::uint8_t>((index >> 8) & 0x3F);
        break;
    case DataPackKind::Diagnostic:
        for (int i = 0; i < 5; ++i)
            p.data[std::size_t(i)] = static_cast<std::uint8_t>(static_cast<std::int8_t>((index + i * 7) % 31 - 15));
        break;
    case DataPackKind::Alarm:
        p.data[0] = static_cast<std::uint8_t>(index % 66);
        p.data[1] = 1;
        break;
    default:
        p.data[0] = static_cast<std::uint8_t>(index % 26);
        break;
    }
    return p;
}

SimHistoryHandler::SimHistoryHandler(SimCommandServer &server) : QObject(&server), m_server(server)
{
    m_timer.setInterval(0);
    m_resume.setSingleShot(true);
    connect(&m_resume, &QTimer::timeout, this, [this] {
        // Back from the stall: the rest of the request follows as if nothing happened.
        m_active = true;
        m_timer.start();
    });
    connect(&m_timer, &QTimer::timeout, this, &SimHistoryHandler::turn);
    connect(&server, &SimCommandServer::clientDisconnected, this, [this] {
        stop();
        m_cursor = -1;
    });
    connect(&server, &SimCommandServer::modeChanged, this, [this](Mode mode) {
        if (mode != Mode::History) {
            stop();
            m_cursor = -1;
        }
    });
}

bool SimHistoryHandler::knows(Mode mode, std::uint8_t byte) const
{
    return mode == Mode::History && (byte == quitKey || byte == static_cast<std::uint8_t>(Command::Quit));
}

void SimHistoryHandler::execute(SimHandlerPort &port, std::uint8_t byte)
{
    // Q aborts a running retrieval and the unit stays in history mode; the quit ends the mode.
    stop();
    port.ack(byte);
    if (byte == quitKey)
        port.setMode(Mode::CommandLevel);
}

void SimHistoryHandler::stop()
{
    m_active = false;
    m_timer.stop();
    m_resume.stop();
}

void SimHistoryHandler::request(const QByteArray &bytes)
{
    if (bytes.size() < 4)
        return;
    const SimUnit &unit = m_server.unit().unit();
    m_flags = static_cast<std::uint8_t>(bytes[0]);
    m_remaining = static_cast<std::uint8_t>(bytes[1]) | (static_cast<std::uint8_t>(bytes[2]) << 8);
    m_reader = static_cast<std::uint8_t>(bytes[3]);
    const int count = qMax(0, unit.history.records);
    // A Next request goes on below the last record sent; any other starts at the newest.
    if (!(m_flags & nextBit) || m_cursor < -1 || m_cursor >= count)
        m_cursor = count - 1;
    if (bytes.size() >= datedRequestSize) {
        const auto at = [&](int i) { return static_cast<std::uint8_t>(bytes[i]); };
        const QDateTime from(QDate(at(4) * 100 + at(5), at(6), at(7)), QTime(at(8), at(9), 59));
        if (from.isValid()) {
            const qint64 minutes = storeStart.secsTo(from) / 60;
            m_cursor = int(qBound<qint64>(-1, minutes, qint64(count) - 1));
        }
    }
    m_sent = 0;
    m_stalled = false;
    m_active = true;
    ++m_retrievals;
    m_timer.start();
}

bool SimHistoryHandler::matches(const DataPack &p) const
{
    const std::uint8_t bit = p.typ < std::size(kindBits) ? kindBits[p.typ] : 0;
    if (!(m_flags & bit))
        return false;
    const bool system = p.typ >= static_cast<std::uint8_t>(DataPackKind::Alarm);
    return system || m_reader >= DataPack::readerSlots || p.rdr == m_reader;
}

void SimHistoryHandler::turn()
{
    if (!m_active || !m_server.hasClient()) {
        stop();
        return;
    }
    // One packet at a time: the next waits until the last is out, so a Q is read between them.
    if (m_server.outputPending())
        return;
    const SimHistory &h = m_server.unit().unit().history;
    const bool multi = m_flags & multiBit;
    const int perPacket = multi && h.oversizePacket > packetRecords ? h.oversizePacket : packetRecords;
    int limit = qMin(perPacket, m_remaining);
    if (h.dropAfterRecords > 0)
        limit = qMin(limit, h.dropAfterRecords - m_sent);
    if (h.stallAfterRecords > 0 && !m_stalled)
        limit = qMin(limit, h.stallAfterRecords - m_sent);

    QByteArray records;
    int n = 0;
    for (int scanned = 0; n < limit && m_cursor >= 0 && scanned < scanPerTurn; ++scanned, --m_cursor) {
        const DataPack p = simHistoryRecord(m_server.unit().unit(), m_cursor);
        if (!matches(p))
            continue;
        records += encodeDataPack(p);
        ++n;
    }
    m_remaining -= n;
    m_sent += n;
    if (n > 0) {
        QByteArray out;
        if (multi) {
            out += static_cast<char>(ReplyType::HistoryBlock);
            out += static_cast<char>(n);
            out += records;
        } else {
            for (int i = 0; i < n; ++i)
                out += static_cast<char>(ReplyType::HistoryRecord) + records.mid(i * DataPack::size, DataPack::size);
        }
        if (h.dropAfterRecords > 0 && m_sent >= h.dropAfterRecords) {
            stop();
            m_server.pushBytesAndClose(out);
            return;
        }
        m_server.pushBlock(out);
    }
    if (h.stallAfterRecords > 0 && m_sent >= h.stallAfterRecords && !m_stalled) {
        // Gone quiet: neither records nor the ACK; a Q or the quit is still answered.
        m_stalled = true;
        stop();
        if (h.stallMs > 0 && m_remaining > 0 && m_cursor >= 0)
            m_resume.start(h.stallMs);
        return;
    }
    if (m_remaining <= 0 || m_cursor < 0) {
        stop();
        m_server.pushBytes(QByteArray(1, static_cast<char>(ACK)));
    }
}

} // namespace vork::sim
