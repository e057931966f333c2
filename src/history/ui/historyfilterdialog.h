#pragma once

#include <QDateTime>
#include <QDialog>
#include <QStringList>
#include <QValidator>

#include <array>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QTimeEdit;

namespace vork {

// The record number field: digits only, 1 to the buffer's 32,768; a keystroke
// that would go past it is refused.
class HistoryCountValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

// Everything the "Filter Settings" window edits.
struct HistoryFilterValues
{
    int kinds = 31;                  // shown-kinds bits
    QStringList readerChoice{QStringLiteral("ALL")};
    int readerIndex = 0;
    QString records = QStringLiteral("17");
    bool useStart = false;
    QDateTime start;
    bool multiRecord = true;
    bool killReaders = false;
    bool refreshButton = true;
    bool alarmsAllReaders = true;
    int announceIndex = 0;           // "None", "500", "1000", "2000"

    bool operator==(const HistoryFilterValues &) const = default;
};

// "Filter Settings": kinds, reader, records, start date, and the retrieval's options.
class HistoryFilterDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char *defaultRecords = "17";

    explicit HistoryFilterDialog(QWidget *parent = nullptr);

    void setValues(const HistoryFilterValues &values);
    // The window's values; an empty record field reads as "17".
    HistoryFilterValues values() const;
    void defaults();

    QPushButton *kindButton(int bit) const;
    QComboBox *readerChoice() const { return m_reader; }
    QLineEdit *recordField() const { return m_records; }
    QCheckBox *useStartBox() const { return m_useStart; }
    QDateEdit *startDate() const { return m_date; }
    QTimeEdit *startTime() const { return m_time; }
    QCheckBox *multiRecordBox() const { return m_multi; }
    QCheckBox *killReadersBox() const { return m_kill; }
    QCheckBox *refreshButtonBox() const { return m_refreshButton; }
    QCheckBox *alarmsAllReadersBox() const { return m_alarmsAll; }
    QComboBox *announceChoice() const { return m_announce; }
    QPushButton *defaultsButton() const { return m_defaults; }
    QPushButton *okButton() const { return m_ok; }

private:
    std::array<QPushButton *, 5> m_kinds{}; // by bit: errors, labels, diagnostics, alarms, boot
    QComboBox *m_reader;
    QLineEdit *m_records;
    QCheckBox *m_useStart;
    QDateEdit *m_date;
    QTimeEdit *m_time;
    QCheckBox *m_multi;
    QCheckBox *m_kill;
    QCheckBox *m_refreshButton;
    QCheckBox *m_alarmsAll;
    QComboBox *m_announce;
    QPushButton *m_defaults;
    QPushButton *m_ok;
};

} // namespace vork
