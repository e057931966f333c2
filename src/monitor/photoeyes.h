#pragma once

#include "connection/replyrouter.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>

namespace vork {

class UnitServices;
struct udppack;

// The three photo eyes of one reader as lamps.
struct PhotoEyeLamps
{
    bool a = false;
    bool b = false;
    bool c = false;
    bool operator==(const PhotoEyeLamps &) const = default;
};

// The photo eyes of one monitored unit's readers, read once ('P') or
// continuously ('p' until 'X'). Owns the photo-eye reply types; the lamps of
// each reader are kept as the byte the unit last sent for it.
class PhotoEyes : public QObject, public ReplySink
{
    Q_OBJECT
public:
    enum class State { Idle, Single, Continuous };

    static constexpr int readerSlots = 8;
    static constexpr std::uint8_t eyeA = 4;
    static constexpr std::uint8_t eyeB = 2;
    static constexpr std::uint8_t eyeC = 1;

    explicit PhotoEyes(UnitServices &services, QObject *parent = nullptr);

    // "Read PEs" pressed: the unit of that address becomes current and is asked for
    // its eyes, continuously or once. False (nothing sent) when the unit is not in
    // the table or not connected, a read is already running, or another operation is.
    bool read(const QString &ip, bool continuous);
    // "Read PEs" released: ends continuous mode when "C" is down; lamps off.
    void release(bool continuousDown);
    // "C" released while "Read PEs" is down: ends continuous mode and the read; lamps off.
    void releaseContinuous();
    // Whatever is running ends, as leaving the page does.
    void stop();
    // A reader's "Enable view of LEDs" clicked: its lamps go off until the next reply.
    void switchOff(int reader);

    State state() const { return m_state; }
    bool reading() const { return m_state != State::Idle; }
    QString unitAddress() const { return m_ip; }
    // The last byte of a reader (0 for none or a reader out of range).
    std::uint8_t lamps(int reader) const;
    static PhotoEyeLamps lampStates(std::uint8_t byte);

    // Readers a unit has for indexing: its count from the wire, within 1-8.
    static int readerCount(const udppack &unit);
    // Bytes a unit sends after the type byte: one per reader it reports, all of
    // them even past eight (the extra ones are dropped); a count of 0 sends as one.
    static int replyBytes(const udppack &unit);

    // The single-read reply ('P'); the continuous one comes through a sink of its own.
    int blockSize(const udppack &unit, const QByteArray &soFar) const override;
    int maxBlockSize() const override { return 255; }
    void receive(udppack &unit, const ReplySource &from, const QByteArray &block) override;

Q_SIGNALS:
    void lampsChanged();
    // A reply of the unit being read came and its lamps are set.
    void replyArrived();
    // A single read's reply came: "Read PEs" is released.
    void readFinished();
    void readingChanged(bool reading);

private:
    // The continuous reply ('p'): the same bytes, told apart by its letter.
    class ContinuousSink : public ReplySink
    {
    public:
        explicit ContinuousSink(PhotoEyes &owner) : m_owner(owner) {}
        int blockSize(const udppack &unit, const QByteArray &soFar) const override
        {
            return m_owner.blockSize(unit, soFar);
        }
        int maxBlockSize() const override { return m_owner.maxBlockSize(); }
        void receive(udppack &unit, const ReplySource &from, const QByteArray &block) override
        {
            m_owner.take(false, unit, from, block);
        }

    private:
        PhotoEyes &m_owner;
    };

    void take(bool single, const udppack &unit, const ReplySource &from, const QByteArray &block);
    bool send(char command);
    void end();
    void lampsOff();
    void linkDropped();
    udppack *heldUnit() const;

    UnitServices &m_services;
    ContinuousSink m_continuousSink{*this};
    ReplyRegistration m_once;
    ReplyRegistration m_continuous;
    State m_state = State::Idle;
    QString m_ip;
    quint64 m_link = 0;
    std::array<std::uint8_t, readerSlots> m_lamps{};
};

} // namespace vork
