#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace vork {

// An INI file as the program keeps its settings: sections in brackets, one
// key=value per line, section and key names compared without regard to case.
// Anything unreadable is skipped, never fatal.
class IniFile
{
public:
    // Files above this size are not settings files; they are not read.
    static constexpr qint64 maxFileSize = 4 * 1024 * 1024;

    IniFile() = default;
    explicit IniFile(const QString &path) : m_path(path) {}

    QString path() const { return m_path; }
    void setPath(const QString &path) { m_path = path; }

    // Reads the file; false (and an empty store) when it is missing or unreadable.
    bool load(QString *error = nullptr);
    void parse(const QByteArray &text);
    // Writes the whole file at once (temporary file, then rename).
    bool save(QString *error = nullptr) const;
    QByteArray serialize() const;

    bool hasSection(const QString &section) const;
    bool hasKey(const QString &section, const QString &key) const;
    QString value(const QString &section, const QString &key, const QString &fallback = QString()) const;
    int intValue(const QString &section, const QString &key, int fallback) const;
    bool boolValue(const QString &section, const QString &key, bool fallback) const;
    QStringList keys(const QString &section) const;
    QStringList sections() const;

    void setValue(const QString &section, const QString &key, const QString &value);
    void setInt(const QString &section, const QString &key, int value);
    void setBool(const QString &section, const QString &key, bool value);
    void removeSection(const QString &section);
    void removeKey(const QString &section, const QString &key);
    void clear() { m_sections.clear(); }

private:
    struct Entry
    {
        QString key;
        QString value;
    };
    struct Section
    {
        QString name;
        QList<Entry> entries;
    };
    Section *findSection(const QString &name);
    const Section *findSection(const QString &name) const;
    static const Entry *findEntry(const Section &s, const QString &key);

    QString m_path;
    QList<Section> m_sections;
};

} // namespace vork
