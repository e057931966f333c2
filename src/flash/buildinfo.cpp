#include "flash/buildinfo.h"

namespace vork {

namespace {

const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

// The byte at index of the block as the character its hex digits code.
QChar charAt(const QString &block, int index)
{
    const int hi = hexDigit(block.at(2 * index));
    const int lo = hexDigit(block.at(2 * index + 1));
    if (hi < 0 || lo < 0)
        return QChar(u'?');
    return QChar(char16_t(hi * 16 + lo));
}

} // namespace

QString lineData(const QString &line)
{
    if (line.size() < 11)
        return {};
    return line.mid(9, line.size() - 11);
}

bool decodeBuildBlock(const QString &block, TBuildInfo &info, QString &error)
{
    if (block.size() != buildblock::blockChars) {
        error = QStringLiteral("Build information block is cut short");
        return false;
    }
    // A byte's two hex digits read as a decimal number: 0x12 reads 12.
    const auto decimal = [&](int index, int &out) {
        const QString two = block.mid(2 * index, 2);
        bool ok = two.at(0).isDigit() && two.at(1).isDigit() && two.at(0).unicode() < 128 && two.at(1).unicode() < 128;
        if (!ok) {
            error = QStringLiteral("Build information byte \"") + two + QStringLiteral("\" at block offset ")
                    + QString::number(index) + QStringLiteral(" is not a decimal number - file not loaded");
            return false;
        }
        out = two.toInt();
        return true;
    };
    TBuildInfo b;
    int v = 0;
    for (int i = 0; i < 3; ++i) {
        if (!decimal(i, v))
            return false;
        b.brivellaOS[std::size_t(i)] = std::uint8_t(v);
    }
    if (!decimal(7, v))
        return false;
    b.readerCount = std::uint8_t(v);
    for (int i = 0; i < 3; ++i) {
        if (!decimal(9 + 2 * i, v))
            return false;
        b.zilogOS[std::size_t(i)] = std::uint8_t(v - 30);
    }
    if (!decimal(26, v))
        return false;
    b.buildType = std::uint8_t(v);

    const QString month = QString(charAt(block, 14)) + charAt(block, 15) + charAt(block, 16);
    int monthNumber = 0;
    for (int m = 0; m < 12; ++m) {
        if (month == QLatin1String(months[m]))
            monthNumber = m + 1;
    }
    if (monthNumber > 0) {
        QString day = QString(charAt(block, 18)) + charAt(block, 19);
        if (day.at(0) == QLatin1Char(' '))
            day[0] = QLatin1Char('0');
        const QString year = QString(charAt(block, 21)) + charAt(block, 22) + charAt(block, 23) + charAt(block, 24);
        b.builddate = QStringLiteral("%1").arg(monthNumber, 2, 10, QLatin1Char('0')) + day + year;
    }
    info = b;
    return true;
}

QString buildString(const TBuildInfo &info)
{
    QString s;
    switch (info.readerCount) {
    case 1: s = QStringLiteral("SVRK."); break;
    case 2: s = QStringLiteral("TVRK."); break;
    case 8: s = QStringLiteral("MVRK."); break;
    default: break;
    }
    for (std::uint8_t d : info.brivellaOS)
        s += QString::number(d);
    // Build type 8 has no variant letter.
    if (info.buildType != 8)
        s += (info.buildType & 1) ? QStringLiteral("e.") : QStringLiteral("s.");
    for (int i = 0; i < 3; ++i)
        s += QString::number(info.zilogOS[std::size_t(i)]);
    s += QLatin1Char('.') + info.builddate;
    return s;
}

BuildSearch contentSearch(const QStringList &lines)
{
    BuildSearch result;
    QString previous;
    // The last line (the end record) is never searched.
    for (qsizetype n = 0; n + 1 < lines.size(); ++n) {
        const QString data = lineData(lines.at(n));
        const QString text = previous + data;
        for (qsizetype at = text.indexOf(buildblock::marker); at >= 0;
             at = text.indexOf(buildblock::marker, at + 1)) {
            // Only where the whole block fits, on a byte boundary of the data.
            if (at % 2 != 0 || at < buildblock::markerOffsetChars || text.size() - at < buildblock::neededAfterMarker)
                continue;
            const QString block = text.mid(at - buildblock::markerOffsetChars, buildblock::blockChars);
            if (!decodeBuildBlock(block, result.info, result.error))
                return result;
            result.found = true;
            result.buildString = buildString(result.info);
            return result;
        }
        previous = data;
    }
    return result;
}

} // namespace vork
