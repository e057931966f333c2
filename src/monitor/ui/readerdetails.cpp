#include "monitor/ui/readerdetails.h"

#include "core/version.h"
#include "monitor/monitorsession.h"
#include "unit/records.h"
#include "unit/unittable.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vork {

namespace {
enum Column { ReaderColumn = 0, LabelColumn, LabelTimeColumn, ErrorColumn, ErrorTimeColumn, DiagColumn, DiagTimeColumn };
constexpr std::uint8_t ethernetIpModel = 1; // model bit: the "e" build
} // namespace

ReaderDetails::ReaderDetails(MonitorSession &session, UnitTable &units, quint64 link, QWidget *parent)
    : QDialog(parent), m_session(&session), m_units(units), m_link(link), m_readers(new QTreeWidget(this))
{
    setWindowTitle(QStringLiteral("Reader Details"));
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);
    const int index = units.findByLink(link);
    const udppack empty;
    const udppack &unit = index >= 0 ? units.unit(index) : empty;
    const int readers = MonitorSession::readerCount(unit);

    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    const auto hex2 = [](int v) -> QString { return QStringLiteral("0x") + QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper(); };
    const QList<QPair<QString, QString>> lines = {
        {QStringLiteral("Description"), unit.desc},
        {QStringLiteral("IP Address"), unit.ip},
        {QStringLiteral("MAC Address"), unit.mac},
        {QStringLiteral("Reader Address"), QString::number(unit.caddr)},
        {QStringLiteral("Readers"), QString::number(unit.ver.vrcnt)},
        {QStringLiteral("Version"), unit.vnumber + ((unit.model & ethernetIpModel) ? QStringLiteral("e") : QStringLiteral("s"))},
        {QStringLiteral("Build Date"), unit.vbuild},
        {QStringLiteral("Date/Time"), clockText(unit)},
        {QStringLiteral("Flash ID"), hex2(unit.flash_mfg) + QLatin1Char(',') + hex2(unit.flash_typ)},
        {QStringLiteral("Boot Loader"), unit.blv},
    };
    for (const auto &[caption, text] : lines) {
        auto *label = new QLabel(text, this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(caption + QLatin1Char(':'), label);
        m_info.append({caption, label});
    }
    layout->addLayout(form);

    m_readers->setRootIsDecorated(false);
    m_readers->setUniformRowHeights(true);
    m_readers->setHeaderLabels({QStringLiteral("Reader"), QStringLiteral("Label"), QStringLiteral("Date/Time"),
                                QStringLiteral("Error"), QStringLiteral("Date/Time"), QStringLiteral("Diagnostic"),
                                QStringLiteral("Date/Time")});
    for (int r = 0; r < readers; ++r) {
        auto *row = new QTreeWidgetItem(m_readers, {readerCell(unit, r)});
        row->setTextAlignment(ReaderColumn, Qt::AlignHCenter);
    }
    m_readers->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_readers, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    resize(760, heightFor(readers) + form->sizeHint().height());
    refresh();
    m_timer.setInterval(refreshMs);
    connect(&m_timer, &QTimer::timeout, this, &ReaderDetails::refresh);
    m_timer.start();
    session.setDetailsShowing(true);
}

ReaderDetails::~ReaderDetails()
{
    if (m_session)
        m_session->setDetailsShowing(false);
}

void ReaderDetails::done(int result)
{
    m_timer.stop();
    if (m_session)
        m_session->setDetailsShowing(false);
    QDialog::done(result);
}

int ReaderDetails::heightFor(int readers)
{
    if (readers <= 1)
        return 204;
    if (readers == 2)
        return 224;
    if (readers <= 4)
        return 264;
    return 338;
}

QString ReaderDetails::clockText(const udppack &unit)
{
    const dtpack &dt = unit.dt;
    return QStringLiteral("%1:%2:%3  %4-%5-%6")
        .arg(dt.hrs, 2, 10, QLatin1Char('0'))
        .arg(dt.minutes, 2, 10, QLatin1Char('0'))
        .arg(dt.sec, 2, 10, QLatin1Char('0'))
        .arg(dt.dayOfMonth, 2, 10, QLatin1Char('0'))
        .arg(monthAbbreviation(dt.mon))
        .arg(dt.fullYear());
}

QString ReaderDetails::readerCell(const udppack &unit, int reader)
{
    return QStringLiteral("%1").arg(unit.caddr + reader, 8);
}

QString ReaderDetails::infoText(const QString &caption) const
{
    for (const auto &[c, label] : m_info)
        if (c == caption)
            return label->text();
    return {};
}

void ReaderDetails::refresh()
{
    const int index = m_units.findByLink(m_link);
    if (index < 0)
        return;
    const udppack &unit = m_units.unit(index);
    for (int r = 0; r < m_readers->topLevelItemCount() && r < DataPack::readerSlots; ++r) {
        QTreeWidgetItem *row = m_readers->topLevelItem(r);
        const auto i = static_cast<std::size_t>(r);
        row->setText(LabelColumn, unit.LastRead[i]);
        row->setText(LabelTimeColumn, unit.LastReadtime[i]);
        row->setText(ErrorColumn, unit.LastErr[i]);
        row->setText(ErrorTimeColumn, unit.LastErrtime[i]);
        row->setText(DiagColumn, unit.LastDiag[i]);
        row->setText(DiagTimeColumn, unit.LastDiagtime[i]);
    }
}

} // namespace vork
