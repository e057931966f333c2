#include "tools/ui/pingwidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vork {

PingWidget::PingWidget(PingTool &tool, PingTool::Place place, QWidget *parent)
    : QWidget(parent), m_tool(tool), m_place(place)
{
    const bool manual = place == PingTool::Place::Manual;
    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("Eping"));
    m_button = new QPushButton(QStringLiteral("Ping"), this);
    m_button->setObjectName(manual ? QStringLiteral("BBping") : QStringLiteral("SBping"));
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("Lping"));
    m_result->setMinimumWidth(m_result->fontMetrics().horizontalAdvance(QStringLiteral("Not Found  ")));
    if (!manual) {
        m_field->setToolTip(QStringLiteral("Enter IP address of unit to ping"));
        m_button->setToolTip(QStringLiteral("Ping specifed IP address"));
    }

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_field);
    row->addWidget(m_button);
    row->addWidget(m_result);
    if (manual) {
        m_connect = new QPushButton(QStringLiteral("Connect ?"), this);
        m_connect->setObjectName(QStringLiteral("BBconnect"));
        row->addWidget(m_connect);
        connect(m_connect, &QPushButton::clicked, this, &PingWidget::connectRequested);
        connect(m_field, &QLineEdit::returnPressed, this, [this] { m_tool.press(m_place); });
    }
    row->addStretch();

    m_field->setText(tool.address(place));
    connect(m_field, &QLineEdit::textChanged, this, [this](const QString &text) { m_tool.setAddress(m_place, text); });
    connect(m_button, &QPushButton::clicked, this, [this] { m_tool.press(m_place); });
    connect(&tool, &PingTool::changed, this, [this](PingTool::Place p) {
        if (p == m_place)
            refresh();
    });
    connect(&tool, &PingTool::focusAddress, this, [this](PingTool::Place p) {
        if (p == m_place)
            m_field->setFocus(Qt::OtherFocusReason);
    });
    if (manual)
        connect(&tool, &PingTool::focusConnect, this, [this] { m_connect->setFocus(Qt::OtherFocusReason); });
    refresh();
}

void PingWidget::refresh()
{
    m_button->setEnabled(m_tool.pingEnabled(m_place));
    const PingTool::Result r = m_tool.result(m_place);
    m_result->setText(PingTool::resultText(r));
    if (m_place == PingTool::Place::Manual) {
        QPalette pal = m_result->palette();
        pal.setColor(QPalette::WindowText,
                     r == PingTool::Result::Found      ? foundColor
                     : r == PingTool::Result::NotFound ? notFoundColor
                                                       : plainColor);
        m_result->setPalette(pal);
        m_connect->setEnabled(m_tool.connectEnabled());
    }
}

} // namespace vork
