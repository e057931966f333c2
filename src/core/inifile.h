#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace vork {

// An INI file as the program keeps its settings: sections in brackets, one
// key=value per line, section and key names compared without regard to case.
// Lines end in CR LF, LF or CR alone; text is UTF-8 (a line that is not valid
// UTF-8 is read as Latin-1, as older files were written). Anything unreadable
// is skipped, never fatal.
class IniFile
{
public:
    // The program's own file is a few kB. A file above 1 MB is not one it wrote:
    // only its first 1 MB is read, and load() reports it too large.
    static constexpr qint64 maxFileSize = 1024 * 1024;

    // Why load() did not take the file as a settings file.
    enum class Problem {
        None,
        Missing,
        NotRegular,  // a folder, FIFO, device or socket: never opened for reading
        Unreadable,
        TooLarge,
        NotSettings, // NUL bytes, or text without one section or key line
    };

    IniFile() = default;
    explicit IniFile(const QString &path) : m_path(path) {}

    QString path() const { return m_path; }
    void setPath(const QString &path) { m_path = path; }

    // Reads the file. False (and an empty store) when it is missing, not a
    // regular file or unreadable; a too large file or one that is not a
    // settings file is read as far as it goes and problem() says why.
    bool load(QString *error = nullptr);
    Problem problem() const { return m_problem; }
    void parse(const QByteArray &text);
    // Whether the last parse met a NUL byte, and how many lines were a section or a key.
    bool hadNul() const { return m_hadNul; }
    qsizetype recognizedLines() const { return m_recognized; }

    // Writes the whole file at once (temporary file, then rename).
    bool save(QString *error = nullptr) const { return saveAs(m_path, error); }
    bool saveAs(const QString &path, QString *error = nullptr) const;
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
    void clear();

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
        QHash<QString, qsizetype> index; // folded key -> entry
    };
    // Lookups go through folded names, so reading stays linear in the file's size.
    qsizetype sectionIndex(const QString &name) const;
    Section &sectionFor(const QString &name);
    static const Entry *findEntry(const Section &s, const QString &key);
    static void setEntry(Section &s, const QString &key, const QString &value);
    void reindexSections();

    QString m_path;
    QList<Section> m_sections;
    QHash<QString, qsizetype> m_sectionIndex; // folded name -> section
    Problem m_problem = Problem::None;
    bool m_bom = false; // written back as it was found
    bool m_hadNul = false;
    qsizetype m_recognized = 0;
};

} // namespace vork
