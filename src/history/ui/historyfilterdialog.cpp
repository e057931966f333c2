#include "history/ui/historyfilterdialog.h"

#include "history/historyfilter.h"
#include "history/historyretrieval.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace vork {

QValidator::State HistoryCountValidator::validate(QString &input, int &) const
{
    if (input.isEmpty())
        return Intermediate;
    for (QChar c : input)
        if (!c.isDigit())
            return Invalid;
    bool ok = false;
    const int n = input.toInt(&ok);
    // Too many stays in the field, marked and refused, rather than losing a digit unseen.
    return ok && n >= 1 && n <= HistoryRetrieval::bufferSize ? Acceptable : Intermediate;
}

namespace {

struct KindCaption
{
    int bit;
    const char *caption;
};

// In the order the window shows them.
constexpr KindCaption kindCaptions[] = {
    {historykind::labels, "Labels"},   {historykind::errors, "Errors"}, {historykind::diagnostics, "Diagnostics"},
    {historykind::alarms, "Alarms"},   {historykind::boot, "Boot"},
};

std::size_t slot(int bit)
{
    // Bits 1, 2, 4, 8, 16 to slots 0-4.
    std::size_t s = 0;
    while (bit > 1) {
        bit >>= 1;
        ++s;
    }
    return s;
}

} // namespace

HistoryFilterDialog::HistoryFilterDialog(QWidget *parent)
    : QDialog(parent), m_reader(new QComboBox(this)), m_records(new QLineEdit(this)),
      m_useStart(new QCheckBox(QStringLiteral("Use Start Date\\Time"), this)), m_date(new QDateEdit(this)),
      m_time(new QTimeEdit(this)), m_multi(new QCheckBox(QStringLiteral("Multi-Record"), this)),
      m_kill(new QCheckBox(QStringLiteral("Kill Readers"), this)),
      m_refreshButton(new QCheckBox(QStringLiteral("Refresh Button"), this)),
      m_alarmsAll(new QCheckBox(QStringLiteral("Alarms all readers"), this)), m_announce(new QComboBox(this)),
      m_defaults(new QPushButton(QStringLiteral("Defaults"), this))
{
    setWindowTitle(QStringLiteral("Filter Settings"));
    auto *kinds = new QHBoxLayout;
    for (const KindCaption &k : kindCaptions) {
        auto *b = new QPushButton(QString::fromLatin1(k.caption), this);
        b->setCheckable(true);
        b->setChecked(true);
        m_kinds[slot(k.bit)] = b;
        kinds->addWidget(b);
    }
    m_records->setMaxLength(5);
    m_records->setValidator(new HistoryCountValidator(m_records));
    m_records->setText(QString::fromLatin1(defaultRecords));
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("MM/dd/yyyy"));
    m_time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_multi->setToolTip(QStringLiteral("Request 25 records at a time"));
    m_multi->setChecked(true);
    m_kill->setToolTip(QStringLiteral("Shutdown Vork readers while downloading data (quicker)"));
    m_refreshButton->setChecked(true);
    m_alarmsAll->setChecked(true);
    m_announce->addItems({QStringLiteral("None"), QStringLiteral("500"), QStringLiteral("1000"), QStringLiteral("2000")});
    m_date->setEnabled(false);
    m_time->setEnabled(false);
    connect(m_useStart, &QCheckBox::toggled, this, [this](bool on) {
        m_date->setEnabled(on);
        m_time->setEnabled(on);
    });
    connect(m_defaults, &QPushButton::clicked, this, &HistoryFilterDialog::defaults);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Reader"), m_reader);
    form->addRow(QStringLiteral("Records"), m_records);
    auto *start = new QHBoxLayout;
    start->addWidget(m_useStart);
    start->addWidget(m_date);
    start->addWidget(m_time);
    form->addRow(start);
    form->addRow(m_multi);
    form->addRow(m_kill);
    form->addRow(m_refreshButton);
    form->addRow(m_alarmsAll);
    form->addRow(QStringLiteral("Announce interval"), m_announce);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->addButton(m_defaults, QDialogButtonBox::ResetRole);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(kinds);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QPushButton *HistoryFilterDialog::kindButton(int bit) const
{
    return bit > 0 && bit <= historykind::boot ? m_kinds[slot(bit)] : nullptr;
}

void HistoryFilterDialog::setValues(const HistoryFilterValues &v)
{
    for (int bit = 1; bit <= historykind::boot; bit <<= 1)
        m_kinds[slot(bit)]->setChecked(v.kinds & bit);
    m_reader->clear();
    m_reader->addItems(v.readerChoice);
    m_reader->setCurrentIndex(v.readerIndex);
    m_records->setText(v.records);
    m_useStart->setChecked(v.useStart);
    m_date->setEnabled(v.useStart);
    m_time->setEnabled(v.useStart);
    if (v.start.isValid()) {
        m_date->setDate(v.start.date());
        m_time->setTime(v.start.time());
    }
    m_multi->setChecked(v.multiRecord);
    m_kill->setChecked(v.killReaders);
    m_refreshButton->setChecked(v.refreshButton);
    m_alarmsAll->setChecked(v.alarmsAllReaders);
    m_announce->setCurrentIndex(qBound(0, v.announceIndex, m_announce->count() - 1));
}

HistoryFilterValues HistoryFilterDialog::values() const
{
    HistoryFilterValues v;
    v.kinds = 0;
    for (int bit = 1; bit <= historykind::boot; bit <<= 1)
        if (m_kinds[slot(bit)]->isChecked())
            v.kinds |= bit;
    v.readerChoice.clear();
    for (int i = 0; i < m_reader->count(); ++i)
        v.readerChoice << m_reader->itemText(i);
    v.readerIndex = m_reader->currentIndex();
    v.records = m_records->text().isEmpty() ? QString::fromLatin1(defaultRecords) : m_records->text();
    v.useStart = m_useStart->isChecked();
    v.start = QDateTime(m_date->date(), QTime(m_time->time().hour(), m_time->time().minute(), m_time->time().second()));
    v.multiRecord = m_multi->isChecked();
    v.killReaders = m_kill->isChecked();
    v.refreshButton = m_refreshButton->isChecked();
    v.alarmsAllReaders = m_alarmsAll->isChecked();
    v.announceIndex = m_announce->currentIndex();
    return v;
}

void HistoryFilterDialog::defaults()
{
    for (QPushButton *b : m_kinds)
        b->setChecked(true);
    m_alarmsAll->setChecked(true);
    m_refreshButton->setChecked(true);
    m_useStart->setChecked(false);
    m_date->setEnabled(false);
    m_time->setEnabled(false);
    // "All" in whatever case the list spells it.
    for (int i = 0; i < m_reader->count(); ++i)
        if (m_reader->itemText(i).toUpper() == QStringLiteral("ALL"))
            m_reader->setCurrentIndex(i);
    m_records->setText(QString::fromLatin1(defaultRecords));
    m_multi->setChecked(true);
    m_kill->setChecked(false);
    m_announce->setCurrentIndex(0);
}

} // namespace vork
