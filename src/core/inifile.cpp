#include "core/inifile.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vork {

namespace {

QString folded(const QString &name)
{
    return name.toCaseFolded();
}

QString decodeLine(QByteArrayView raw)
{
    return raw.isValidUtf8() ? QString::fromUtf8(raw) : QString::fromLatin1(raw);
}

constexpr char bom[] = "\xEF\xBB\xBF";

} // namespace

qsizetype IniFile::sectionIndex(const QString &name) const
{
    return m_sectionIndex.value(folded(name), -1);
}

IniFile::Section &IniFile::sectionFor(const QString &name)
{
    const QString f = folded(name);
    const auto it = m_sectionIndex.constFind(f);
    if (it != m_sectionIndex.constEnd())
        return m_sections[*it];
    m_sectionIndex.insert(f, m_sections.size());
    m_sections.append({name, {}, {}});
    return m_sections.last();
}

const IniFile::Entry *IniFile::findEntry(const Section &s, const QString &key)
{
    const auto it = s.index.constFind(folded(key));
    return it == s.index.constEnd() ? nullptr : &s.entries.at(*it);
}

void IniFile::setEntry(Section &s, const QString &key, const QString &value)
{
    const QString f = folded(key);
    const auto it = s.index.constFind(f);
    if (it != s.index.constEnd()) {
        s.entries[*it].value = value;
        return;
    }
    s.index.insert(f, s.entries.size());
    s.entries.append({key, value});
}

void IniFile::reindexSections()
{
    m_sectionIndex.clear();
    for (qsizetype i = 0; i < m_sections.size(); ++i)
        m_sectionIndex.insert(folded(m_sections.at(i).name), i);
}

void IniFile::clear()
{
    m_sections.clear();
    m_sectionIndex.clear();
}

bool IniFile::load(QString *error)
{
    clear();
    m_problem = Problem::None;
    const auto fail = [&](Problem p, const QString &why) {
        m_problem = p;
        if (error)
            *error = why;
        return false;
    };
    // Non-blocking, so a FIFO never holds the program up; its type is checked
    // on the open descriptor before anything is read.
    const QByteArray name = QFile::encodeName(m_path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return fail(Problem::Missing, QStringLiteral("no such file"));
        return fail(Problem::Unreadable, QString::fromLocal8Bit(std::strerror(err)));
    }
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(Problem::Unreadable, f.errorString());
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        return fail(Problem::Unreadable, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(st.st_mode))
        return fail(Problem::NotRegular, S_ISDIR(st.st_mode) ? QStringLiteral("a folder, not a file")
                                                              : QStringLiteral("not a regular file"));
    const bool tooLarge = st.st_size > maxFileSize;
    QByteArray bytes = f.read(maxFileSize);
    if (f.error() != QFileDevice::NoError)
        return fail(Problem::Unreadable, f.errorString());
    if (tooLarge) {
        // The last line may be cut short: it is left out.
        const qsizetype end = std::max(bytes.lastIndexOf('\n'), bytes.lastIndexOf('\r'));
        bytes.truncate(end < 0 ? 0 : end + 1);
    }
    parse(bytes);
    if (tooLarge) {
        m_problem = Problem::TooLarge;
        if (error)
            *error = QStringLiteral("larger than %1 bytes (%2 bytes)").arg(maxFileSize).arg(qint64(st.st_size));
    } else if (m_hadNul || (m_recognized == 0 && !bytes.mid(m_bom ? 3 : 0).trimmed().isEmpty())) {
        m_problem = Problem::NotSettings;
        if (error)
            *error = m_hadNul ? QStringLiteral("not a settings file (NUL bytes)")
                              : QStringLiteral("not a settings file (no section or key)");
    }
    return true;
}

void IniFile::parse(const QByteArray &text)
{
    clear();
    m_hadNul = false;
    m_recognized = 0;
    m_bom = text.startsWith(bom);
    const char *p = text.constData() + (m_bom ? 3 : 0);
    const char *const end = text.constData() + text.size();
    qsizetype current = -1;
    while (p < end) {
        const char *eol = std::find_if(p, end, [](char c) { return c == '\n' || c == '\r'; });
        QByteArrayView raw(p, eol - p);
        p = eol;
        if (p < end)
            p += (*p == '\r' && p + 1 < end && p[1] == '\n') ? 2 : 1;
        // A NUL cuts a damaged line short.
        if (const void *nul = std::memchr(raw.data(), '\0', size_t(raw.size()))) {
            m_hadNul = true;
            raw = raw.first(static_cast<const char *>(nul) - raw.data());
        }
        const QString line = decodeLine(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            if (close < 2) {
                current = -1; // a broken header: its keys belong nowhere
                continue;
            }
            const QString name = line.mid(1, close - 1).trimmed();
            sectionFor(name);
            current = sectionIndex(name);
            ++m_recognized;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (current < 0 || eq <= 0)
            continue;
        setEntry(m_sections[current], line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
        ++m_recognized;
    }
}

QByteArray IniFile::serialize() const
{
    QByteArray out;
    if (m_bom)
        out += bom;
    bool first = true;
    for (const Section &s : m_sections) {
        if (!first)
            out += "\r\n";
        first = false;
        out += '[' + s.name.toUtf8() + "]\r\n";
        for (const Entry &e : s.entries)
            out += e.key.toUtf8() + '=' + e.value.toUtf8() + "\r\n";
    }
    return out;
}

bool IniFile::saveAs(const QString &path, QString *error) const
{
    QSaveFile f(path);
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
    return sectionIndex(section) >= 0;
}

bool IniFile::hasKey(const QString &section, const QString &key) const
{
    const qsizetype i = sectionIndex(section);
    return i >= 0 && findEntry(m_sections.at(i), key);
}

QString IniFile::value(const QString &section, const QString &key, const QString &fallback) const
{
    const qsizetype i = sectionIndex(section);
    if (i < 0)
        return fallback;
    const Entry *e = findEntry(m_sections.at(i), key);
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
    const qsizetype i = sectionIndex(section);
    if (i >= 0)
        for (const Entry &e : m_sections.at(i).entries)
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
    setEntry(sectionFor(section), key, value);
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
    const QString f = folded(section);
    if (m_sections.removeIf([&](const Section &s) { return folded(s.name) == f; }) > 0)
        reindexSections();
}

void IniFile::removeKey(const QString &section, const QString &key)
{
    const qsizetype i = sectionIndex(section);
    if (i < 0)
        return;
    Section &s = m_sections[i];
    const QString f = folded(key);
    if (s.entries.removeIf([&](const Entry &e) { return folded(e.key) == f; }) == 0)
        return;
    s.index.clear();
    for (qsizetype j = 0; j < s.entries.size(); ++j)
        s.index.insert(folded(s.entries.at(j).key), j);
}

} // namespace vork
