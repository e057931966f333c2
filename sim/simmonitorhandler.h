#pragma once

#include "simhandler.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>

namespace vork::sim {

// Monitor mode: live records from every reader while the mode lasts, the
// photo eyes read once ('P') or continuously ('p' until 'X'), the force read
// ('f' and its three bytes, reported back as a label read), and 'Q'.
class SimMonitorHandler : public QObject, public SimHandler
{
    Q_OBJECT
public:
    explicit SimMonitorHandler(SimCommandServer &server);

    bool knows(Mode mode, std::uint8_t byte) const override;
    int dataSize(Mode mode, std::uint8_t byte) const override;
    void execute(SimHandlerPort &port, std::uint8_t byte) override;
    void finishData(SimHandlerPort &port, std::uint8_t byte, const QByteArray &data) override;

    // Live records sent since the unit started, and photo-eye replies.
    int recordsSent() const { return m_recordsSent; }
    int photoEyeReplies() const { return m_photoEyeReplies; }
    // The next live record of a reader, as the unit would send it (without the 'M').
    QByteArray nextRecord(int reader);

private:
    void modeChanged(Mode mode);
    void sendBurst();
    void sendPhotoEyes(char type);
    void sendRecord(const QByteArray &record);
    int readers() const;
    QByteArray stamp(std::uint8_t typ, std::uint8_t reader, const std::array<std::uint8_t, 10> &data) const;

    SimCommandServer &m_server;
    QTimer m_stream;
    QTimer m_photoEyes;
    bool m_streaming = false;
    int m_nextReader = 0;
    int m_nextKind = 0;
    int m_label = 1;
    int m_recordsSent = 0;
    QDeadlineTimer m_pause; // after a record cut short
    int m_photoEyeReplies = 0;
    int m_eyeTick = 0;
};

} // namespace vork::sim
