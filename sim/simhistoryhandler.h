#pragma once

#include "simhandler.h"

#include "unit/eventrecord.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <cstdint>

namespace vork::sim {

// The record at index of a unit's history store (0 the oldest): kinds in turn
// error, label, diagnostic, alarm, boot; one minute apart from 1 March 2021.
DataPack simHistoryRecord(const SimUnit &unit, int index);

// History mode: requests answered newest first from the unit's store, honouring
// the kinds, the reader, the count and the start date, in single ('H') or
// multi-record ('h') form, then ACK; Q aborts (ACK, still in history mode) and
// the four zero bytes end the mode (recorded as '0').
class SimHistoryHandler : public QObject, public SimHandler
{
    Q_OBJECT
public:
    // The byte the port hands over for the four-byte quit.
    static constexpr std::uint8_t quitKey = '0';
    // Records one packet (or one write of single records) carries.
    static constexpr int packetRecords = 25;
    // Store indices one turn looks at, so a sparse mask never holds the loop long.
    static constexpr int scanPerTurn = 4096;

    explicit SimHistoryHandler(SimCommandServer &server);

    bool knows(Mode mode, std::uint8_t byte) const override;
    void execute(SimHandlerPort &port, std::uint8_t byte) override;
    // A request of 4 or 10 bytes, framed by the port.
    void request(const QByteArray &bytes);

    bool sending() const { return m_active; }
    // Records sent in the current (or last) retrieval.
    int sentInRetrieval() const { return m_sent; }
    int retrievals() const { return m_retrievals; }

private:
    void turn();
    void stop();
    bool matches(const DataPack &p) const;

    SimCommandServer &m_server;
    QTimer m_timer;
    QTimer m_resume; // ends a stall of a given length
    bool m_active = false;
    bool m_stalled = false;
    int m_cursor = -1;   // next store index to look at, going down
    int m_remaining = 0;
    int m_sent = 0;
    int m_retrievals = 0;
    std::uint8_t m_flags = 0;
    std::uint8_t m_reader = 8;
};

} // namespace vork::sim
