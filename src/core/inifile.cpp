#include "core/inifile.h"

#include <QFile>
#include <QSaveFile>

namespace vork {

namespace {
bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}
} // namespace

IniFile::Section *IniFile::findSection(const QString &name)
{
    for (Section &s : m_sections)
        if (sameName(s.name, name))
            return &s;
    return nullptr;
}

const IniFile::Section *IniFile::findSection(const QString &name) const
{
    for (const Section &s : m_sections)
        if (sameName(s.name, name))
            return &s;
    return nullptr;
}

const IniFile::Entry *IniFile::findEntry(const Section &s, const QString &key)
{
    for (const Entry &e : s.entries)
        if (sameName(e.key, key))
            return &e;
    return nullptr;
}

bool IniFile::load(QString *error)
{
    m_sections.clear();
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    if (f.size() > maxFileSize) {
        if (error)
            *error = QStringLiteral("file too large");
        return false;
    }
    parse(f.read(maxFileSize));
    return true;
}

void IniFile::parse(const QByteArray &text)
{
    m_sections.clear();
    Section *current = nullptr;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &raw : lines) {
        // Settings are 8-bit text; a NUL cuts a damaged line short.
        const QString line = QString::fromLatin1(raw.left(raw.indexOf('\0') < 0 ? raw.size() : raw.indexOf('\0')))
                                 .trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            if (close < 2) {
                current = nullptr; // a broken header: its keys belong nowhere
                continue;
            }
            const QString name = line.mid(1, close - 1).trimmed();
            current = findSection(name);
            if (!current) {
                m_sections.append({name, {}});
                current = &m_sections.last();
            }
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!current || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        bool replaced = false;
        for (Entry &e : current->entries) {
            if (sameName(e.key, key)) {
                e.value = value;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            current->entries.append({key, value});
    }
}

QByteArray IniFile::serialize() const
{
    QByteArray out;
    bool first = true;
    for (const Section &s : m_sections) {
        if (!first)
            out += "\r\n";
        first = false;
        out += '[' + s.name.toLatin1() + "]\r\n";
        for (const Entry &e : s.entries)
            out += e.key.toLatin1() + '=' + e.value.toLatin1() + "\r\n";
    }
    return out;
}

bool IniFile::save(QString *error) const
{
    QSaveFile f(m_path);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QByteArray bytes = serialize();
    if (f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

bool IniFile::hasSection(const QString &section) const
{
    return findSection(section) != nullptr;
}

bool IniFile::hasKey(const QString &section, const QString &key) const
{
    const Section *s = findSection(section);
    return s && findEntry(*s, key);
}

QString IniFile::value(const QString &section, const QString &key, const QString &fallback) const
{
    const Section *s = findSection(section);
    if (!s)
        return fallback;
    const Entry *e = findEntry(*s, key);
    return e ? e->value : fallback;
}

int IniFile::intValue(const QString &section, const QString &key, int fallback) const
{
    bool ok = false;
    const int v = value(section, key).toInt(&ok);
    return ok ? v : fallback;
}

bool IniFile::boolValue(const QString &section, const QString &key, bool fallback) const
{
    bool ok = false;
    const int v = value(section, key).toInt(&ok);
    return ok ? v != 0 : fallback;
}

QStringList IniFile::keys(const QString &section) const
{
    QStringList out;
    if (const Section *s = findSection(section))
        for (const Entry &e : s->entries)
            out << e.key;
    return out;
}

QStringList IniFile::sections() const
{
    QStringList out;
    for (const Section &s : m_sections)
        out << s.name;
    return out;
}

void IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    Section *s = findSection(section);
    if (!s) {
        m_sections.append({section, {}});
        s = &m_sections.last();
    }
    for (Entry &e : s->entries) {
        if (sameName(e.key, key)) {
            e.value = value;
            return;
        }
    }
    s->entries.append({key, value});
}

void IniFile::setInt(const QString &section, const QString &key, int value)
{
    setValue(section, key, QString::number(value));
}

void IniFile::setBool(const QString &section, const QString &key, bool value)
{
    setValue(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::removeSection(const QString &section)
{
    m_sections.removeIf([&](const Section &s) { return sameName(s.name, section); });
}

void IniFile::removeKey(const QString &section, const QString &key)
{
    if (Section *s = findSection(section))
        s->entries.removeIf([&](const Entry &e) { return sameName(e.key, key); });
}

} // namespace vork
