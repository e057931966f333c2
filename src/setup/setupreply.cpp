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
    return qMin(setupRecordSize, setupTransferSize(versionNumber));
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
