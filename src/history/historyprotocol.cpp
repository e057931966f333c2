#include "history/historyprotocol.h"

#include "unit/bytecursor.h"

namespace vork {

std::uint8_t historyFlags(const HistoryRequest &r)
{
    std::uint8_t f = 0;
    if (r.kinds.errors)
        f |= historyflag::errors;
    if (r.kinds.labels)
        f |= historyflag::labels;
    if (r.kinds.diagnostics)
        f |= historyflag::diagnostics;
    if (r.kinds.alarms)
        f |= historyflag::alarms;
    if (r.next)
        f |= r.nextNewStyle ? historyflag::nextNew : historyflag::nextOld;
    if (r.killReaders)
        f |= historyflag::killReaders;
    if (r.multiRecord)
        f |= historyflag::multiRecord;
    return f;
}

QByteArray historyRequestBytes(const HistoryRequest &r)
{
    QByteArray out;
    ByteWriter w(out);
    w.u8(historyFlags(r));
    w.u16(r.wanted);
    w.u8(r.reader);
    if (r.start) {
        const QDate d = r.start->date();
        const QTime t = r.start->time();
        w.u8(static_cast<std::uint8_t>(d.year() / 100));
        w.u8(static_cast<std::uint8_t>(d.year() % 100));
        w.u8(static_cast<std::uint8_t>(d.month()));
        w.u8(static_cast<std::uint8_t>(d.day()));
        w.u8(static_cast<std::uint8_t>(t.hour()));
        w.u8(static_cast<std::uint8_t>(t.minute()));
    }
    return out;
}

int historyBlockSize(QByteArrayView soFar)
{
    if (soFar.isEmpty())
        return 0;
    return 1 + static_cast<std::uint8_t>(soFar[0]) * DataPack::size;
}

HistoryPacket parseHistoryPacket(QByteArrayView block)
{
    HistoryPacket p;
    ByteReader r(block);
    p.announced = r.u8();
    if (r.overrun())
        return p;
    const qsizetype whole = (block.size() - 1) / DataPack::size;
    p.complete = whole >= p.announced;
    const qsizetype take = qMin<qsizetype>(qMin<qsizetype>(whole, p.announced), historyPacketKept);
    p.kept.reserve(take);
    for (qsizetype i = 0; i < take; ++i)
        p.kept.append(decodeDataPack(block.sliced(1 + i * DataPack::size, DataPack::size)));
    return p;
}

} // namespace vork
