#pragma once

#include "connection/replyrouter.h"

#include <QByteArray>
#include <QObject>

namespace vork {

class Operator;

// The setup record a unit sends after 'U' (the 'S' reply block). A unit sends
// either the length its version gives or the full record, so the block runs on
// to the full record when the rest follows. Older firmware keeps its last
// fields elsewhere, so they are moved into the common layout on the way in.
class SetupReply : public QObject, public ReplySink
{
    Q_OBJECT
public:
    SetupReply(Operator &op, ReplyRouter &router, QObject *parent = nullptr);

    // Bytes a unit of this version number sends at least.
    static int receivedLength(int versionNumber);

    int blockSize(const udppack &unit, const QByteArray &soFar) const override;
    int maxBlockSize() const override;
    int extendedBlockSize(const udppack &unit) const override;
    bool mayContinue(const udppack &unit, int offset, std::uint8_t byte) const override;
    void receive(udppack &unit, const ReplySource &from, const QByteArray &block) override;

Q_SIGNALS:
    // The record in the common layout (243 bytes) and how many bytes came.
    void received(const QByteArray &record, int length);

private:
    Operator &m_op;
    ReplyRegistration m_registration;
};

} // namespace vork
