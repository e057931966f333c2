#pragma once

#include "simcommandserver.h"
#include "simunit.h"

#include <QByteArray>

#include <cstdint>

namespace vork::sim {

class SimUnitServer;

// What a handler may do on the command port while it carries out a command:
// answer (the port's fault switches shape every answer), change the mode,
// reach the unit. Every call records the command with its first answer.
class SimHandlerPort
{
public:
    using Mode = SimCommandServer::Mode;

    explicit SimHandlerPort(SimCommandServer &server) : m_server(server) {}

    SimUnitServer &unit() const;
    Mode mode() const;
    const SimCommandFaults &faults() const;
    void setMode(Mode mode);

    void ack(std::uint8_t byte);
    void nak(std::uint8_t byte);
    // Recognised, carried out (or not yet simulated), never answered.
    void ignore(std::uint8_t byte);
    // ACK, then the reply block; blockDelayMs holds the block (and the answers
    // behind it) back, unless late blocks are switched on.
    void ackWithBlock(std::uint8_t byte, const QByteArray &block, int blockDelayMs = 0);
    // ACK, then the unit closes the connection.
    void ackAndClose(std::uint8_t byte);
    // No answer; the unit reboots once what is queued is out.
    void reboot(std::uint8_t byte);
    // ACK after delayMs (a command that takes its time, like the erase).
    void ackAfter(std::uint8_t byte, int delayMs);
    // One raw answer byte outside the command record (an image line's answer).
    void answerByte(std::uint8_t answer);
    // The answer byte, then the unit reboots.
    void answerAndReboot(std::uint8_t answer);
    // The connection drops at once, as a lost link would.
    void drop();

private:
    SimCommandServer &m_server;
};

// The commands of one unit subsystem. The port does the framing, the login,
// NAK and silence faults and the data phase; a handler says which bytes it
// knows in which mode and carries them out. Handlers are asked in the order
// they were registered; the first that knows a byte gets it.
class SimHandler
{
public:
    using Mode = SimCommandServer::Mode;

    virtual ~SimHandler() = default;

    virtual bool knows(Mode mode, std::uint8_t byte) const = 0;
    // Bytes the unit reads after acknowledging byte; 0: none, execute() is called instead.
    virtual int dataSize(Mode mode, std::uint8_t byte) const
    {
        Q_UNUSED(mode)
        Q_UNUSED(byte)
        return 0;
    }
    virtual void execute(SimHandlerPort &port, std::uint8_t byte) = 0;
    // The data block after byte arrived whole; the port acknowledges it afterwards.
    virtual void finishData(SimHandlerPort &port, std::uint8_t byte, const QByteArray &data)
    {
        Q_UNUSED(port)
        Q_UNUSED(byte)
        Q_UNUSED(data)
    }
};

} // namespace vork::sim
