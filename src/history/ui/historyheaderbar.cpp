#include "history/ui/historyheaderbar.h"

#include "unit/records.h"

#include <QHBoxLayout>
#include <QLabel>

namespace vork {

HistoryHeaderBar::HistoryHeaderBar(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    const char *initial[] = {" VERSION", " MAC", " IP", " DESCRIPTION", " 0"};
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        auto *label = new QLabel(QString::fromLatin1(initial[i]), this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
        label->setTextFormat(Qt::PlainText);
        m_panels[i] = label;
        layout->addWidget(label, i == 3 ? 1 : 0);
    }
    QLabel *count = m_panels[4];
    count->setAutoFillBackground(true);
    QPalette pal = count->palette();
    pal.setColor(QPalette::Window, Qt::yellow);
    pal.setColor(QPalette::WindowText, Qt::black);
    count->setPalette(pal);
    count->setMinimumWidth(70);
}

QString HistoryHeaderBar::modelLabel(int readers)
{
    switch (readers) {
    case 1: return QStringLiteral(" SVRKX   ");
    case 2: return QStringLiteral(" TVRKX   ");
    case 8: return QStringLiteral(" MVRKX   ");
    default: return {};
    }
}

void HistoryHeaderBar::update(const udppack *unit, bool clear, int viewCount)
{
    if (clear) {
        for (std::size_t i = 0; i < 4; ++i)
            m_panels[i]->clear();
    } else if (unit) {
        m_panels[0]->setText(modelLabel(unit->ver.vrcnt) + unit->vnumber);
        m_panels[1]->setText(QStringLiteral(" ") + unit->mac);
        m_panels[2]->setText(QStringLiteral(" ") + unit->ip);
        m_panels[3]->setText(QStringLiteral(" ") + unit->desc);
    }
    m_panels[4]->setText(QStringLiteral(" ") + QString::number(viewCount));
}

QString HistoryHeaderBar::panelText(int panel) const
{
    return panel >= 0 && panel < int(m_panels.size()) ? m_panels[std::size_t(panel)]->text() : QString();
}

} // namespace vork
