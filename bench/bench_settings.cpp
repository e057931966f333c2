// Reading the settings file: a file of many keys in one section, and a large
// file of many sections, parsed and read into the settings; then written back.
#include "core/inifile.h"
#include "core/settings.h"

#include <QElapsedTimer>
#include <QTextStream>

using namespace vork;

namespace {

// keys lines "KeyN=value N" under one section.
QByteArray manyKeys(int keys)
{
    QByteArray out = "[Options]\r\n";
    for (int i = 0; i < keys; ++i)
        out += "Key" + QByteArray::number(i) + "=value " + QByteArray::number(i) + "\r\n";
    return out;
}

// About bytes of sections of 20 keys each, the real keys among them.
QByteArray largeFile(qsizetype bytes)
{
    QByteArray out = "[UDP]\r\nWait=700\r\n[Options]\r\nCONNECTf=1234\r\n";
    for (int s = 0; out.size() < bytes; ++s) {
        out += "[Section " + QByteArray::number(s) + "]\r\n";
        for (int k = 0; k < 20; ++k)
            out += "Entry" + QByteArray::number(k) + "=C:\\Sites\\S\xc3\xbc" "d\\" + QByteArray::number(s) + "\r\n";
    }
    return out;
}

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

void run(QTextStream &out, const char *name, const QByteArray &text)
{
    QElapsedTimer t;
    t.start();
    IniFile ini;
    ini.parse(text);
    const double parsed = msSince(t);
    t.restart();
    Settings s;
    readSettings(ini, s);
    const double read = msSince(t);
    t.restart();
    const QByteArray back = ini.serialize();
    const double written = msSince(t);
    out << name << ": " << text.size() << " bytes, " << ini.sections().size() << " sections; parse "
        << QString::number(parsed, 'f', 1) << " ms, read settings " << QString::number(read, 'f', 2)
        << " ms, serialize " << QString::number(written, 'f', 1) << " ms (" << back.size() << " bytes)\n";
    out.flush();
}

} // namespace

int main()
{
    QTextStream out(stdout);
    run(out, "40,000 keys in one section", manyKeys(40000));
    run(out, "4 MB file", largeFile(4 * 1024 * 1024));
    return 0;
}
