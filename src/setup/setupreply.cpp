#include "setup/setupreply.h"

#include "core/operator.h"
#include "setup/setuprecord.h"
#include "unit/records.h"
#include "unit/unitrules.h"

namespace vork {

SetupReply::SetupReply(Operator &op, ReplyRouter &router, QObject *parent)
    : QObject(parent), m_op(op), m_registration(router.add(ReplyType::Setup, *this))
{
}

int SetupReply::receivedLength(int versionNumber)
{
    return qMin(setupRecordSize, setupSize(versionNumber));
}

int SetupReply::extendedBlockSize(const udppack &) const
{
    return setupRecordSize;
}

bool SetupReply::mayContinue(const udppack &, int offset, std::uint8_t byte) const
{
    // The first byte past a shorter record, in the unit's own layout; fields that take any
    // byte (24-bit numbers, addresses) cannot tell.
    switch (offset) {
    case 221: return byte <= 3;          // wdt
    case 229: case 231: return byte <= 1; // tenths, logRA
    case 232: return byte <= 30;         // minB1
    case 234: return byte <= 4;          // ethp, or uats in the older layout
    case 236: case 238: return byte <= 1; // eipDiags or firewall, ncp
    default: return true;
    }
}

int SetupReply::blockSize(const udppack &unit, const QByteArray &) const
{
    return receivedLength(versionNumber(unit.ver));
}

int SetupReply::maxBlockSize() const
{
    return setupRecordSize;
}

void SetupReply::receive(udppack &unit, const ReplySource &from, const QByteArray &block)
{
    const int n = static_cast<int>(qMin<qsizetype>(block.size(), setupRecordSize));
    // Older firmware keeps its last fields elsewhere: in memory the layout is always the same.
    setuppack record(block.left(n));
    shiftOlderLayout(record, ShiftDirection::Received, versionNumber(unit.ver));
    Q_EMIT received(record.bytes(), n);
    m_op.log(QStringLiteral("Config File Received ( ") + QString::number(n) + QStringLiteral(" Bytes )")
             + QStringLiteral(" for ") + from.address);
}

} // namespace vork
