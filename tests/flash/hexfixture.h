#pragma once

// Intel HEX images for the flash tests. record() is pinned against records written
// out by hand in tst_heximage, so the images built from it are as good as those.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace hexfixture {

inline QString record(int type, int address, const QByteArray &data)
{
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char((address >> 8) & 0xFF));
    bytes.append(char(address & 0xFF));
    bytes.append(char(type));
    bytes.append(data);
    int sum = 0;
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    bytes.append(char((0x100 - (sum & 0xFF)) & 0xFF));
    return QLatin1Char(':') + QString::fromLatin1(bytes.toHex().toUpper());
}

inline QString endRecord()
{
    return QStringLiteral(":00000001FF");
}

// The 27-byte build block: version bytes, marker, readers, network digits, a compiler
// date text ("Jan  5 2019" style, month, day, year) and the build type.
inline QByteArray buildBlock(const QByteArray &version, int readers, const QByteArray &network, const QByteArray &month,
                             const QByteArray &day, const QByteArray &year, int buildType)
{
    QByteArray b = version;                     // 0..2
    b.append(QByteArray("\xA5\xA5\xA5\xA5", 4)); // 3..6
    b.append(char(readers));                    // 7
    b.append('\0');                             // 8
    b.append(network.at(0));                    // 9
    b.append('\0');
    b.append(network.at(1)); // 11
    b.append('\0');
    b.append(network.at(2)); // 13
    b.append(month);         // 14..16
    b.append(' ');           // 17
    b.append(day);           // 18..19
    b.append(' ');           // 20
    b.append(year);          // 21..24
    b.append('\0');          // 25
    b.append(char(buildType));
    return b;
}

// Version 5.0.2 (bytes 05 00 02), one reader, network 1.2.3, 5 Jan 2019, standard.
inline QByteArray standardBlock()
{
    return buildBlock(QByteArray("\x05\x00\x02", 3), 0x01, QByteArray("123"), "Jan", " 5", "2019", 0x00);
}

// A program image: an extended address record, dataLines records of 16 bytes with
// the build block in a 32-byte record at blockLine (0: none), the end record.
inline QStringList programImage(int dataLines, int blockLine, const QByteArray &block = standardBlock())
{
    QStringList lines{record(4, 0, QByteArray("\x00\x00", 2))};
    int address = 0;
    for (int i = 1; i <= dataLines; ++i) {
        QByteArray data;
        if (i == blockLine) {
            data = QByteArray(2, '\x11') + block + QByteArray(3, '\x22');
        } else {
            for (int k = 0; k < 16; ++k)
                data.append(char((i * 7 + k) & 0xFF));
        }
        lines << record(0, address & 0xFFFF, data);
        address += int(data.size());
    }
    lines << endRecord();
    return lines;
}

inline QByteArray fileBytes(const QStringList &lines)
{
    return lines.join(QLatin1Char('\n')).toLatin1() + '\n';
}

} // namespace hexfixture
