#pragma once

#include "simhandler.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>

namespace vork::sim {

// The firmware flash: a flash command erases (after a while) and switches to
// taking image lines, each padded with '*' to 139 characters (longer records
// unpadded), answered one by one; the end-of-file record completes the image and,
// for the rebooting commands, the unit restarts on it. 'x' between lines abandons it.
class SimFlashHandler : public SimHandler
{
public:
    // The unit's reading of an image's build block (independent of the utility's own).
    struct Identity
    {
        bool found = false;
        std::array<std::uint8_t, 3> version{};
        std::array<std::uint8_t, 4> build{}; // day, month, century, year within century
        std::uint8_t readers = 0;
    };
    static Identity identityOf(const QByteArray &data);

    // Where a line starts and how long it is on the wire: 0 when more bytes are needed.
    static qsizetype wireLength(QByteArrayView rest);

    bool knows(Mode mode, std::uint8_t byte) const override;
    void execute(SimHandlerPort &port, std::uint8_t byte) override;
    // Takes what the next line needs from rest; returns the bytes used (0: wait for more).
    qsizetype step(SimHandlerPort &port, QByteArrayView rest);

    int linesAccepted() const { return m_accepted; }
    int naksSent() const { return m_naks; }
    std::uint8_t command() const { return m_command; }
    // The data bytes of the accepted data records, in order.
    const QByteArray &image() const { return m_data; }

private:
    bool rebooting() const;

    std::uint8_t m_command = 0;
    int m_accepted = 0;
    int m_naks = 0;         // NAKs given to the faulted line
    bool m_silenced = false; // the silent line came: nothing more is answered
    QByteArray m_data;
};

} // namespace vork::sim
