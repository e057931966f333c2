#include "tools/ui/manualtelnetpage.h"

#include "tools/ui/pingwidget.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace vork {

ManualTelnetPage::ManualTelnetPage(TelnetLogin &login, PingTool &ping, QWidget *parent)
    : QWidget(parent), m_login(login), m_ping(ping)
{
    m_pingRow = new PingWidget(ping, PingTool::Place::Manual, this);
    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("Euser"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("Epassword"));
    m_password->setEchoMode(QLineEdit::Password);
    // The platform's bullet would do, but the page has always shown stars.
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    m_access = new QPushButton(QStringLiteral("Access"), this);
    m_access->setToolTip(TelnetLogin::accessHint());
    m_exit = new QPushButton(QStringLiteral("Exit"), this);
    m_restart = new QPushButton(QStringLiteral("Restart"), this);
    m_restart->setToolTip(TelnetLogin::restartHint());
    m_reAccess = new QPushButton(QStringLiteral("Re&Access"), this);
    m_reAccess->setObjectName(QStringLiteral("BBreaccess"));
    m_connectReboot = new QPushButton(QStringLiteral("Connect && Reboot"), this);
    m_connectReboot->setObjectName(QStringLiteral("BBconnectReboot"));

    auto *form = new QFormLayout;
    auto *ipLabel = new QLabel(QStringLiteral("IP &Address:"), this);
    ipLabel->setBuddy(m_pingRow->addressField());
    form->addRow(ipLabel, m_pingRow);
    auto *userLabel = new QLabel(QStringLiteral("&User Name"), this);
    userLabel->setBuddy(m_user);
    form->addRow(userLabel, m_user);
    auto *passwordLabel = new QLabel(QStringLiteral("Pass&word"), this);
    passwordLabel->setBuddy(m_password);
    form->addRow(passwordLabel, m_password);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_access, m_exit, m_restart, m_reAccess, m_connectReboot})
        buttons->addWidget(b);
    buttons->addStretch();

    auto *page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addLayout(buttons);
    page->addStretch();

    setTabOrder(m_pingRow->addressField(), m_pingRow->pingButton());
    setTabOrder(m_pingRow->pingButton(), m_pingRow->connectButton());
    setTabOrder(m_pingRow->connectButton(), m_user);
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, m_access);
    setTabOrder(m_access, m_exit);
    setTabOrder(m_exit, m_restart);
    setTabOrder(m_restart, m_reAccess);
    setTabOrder(m_reAccess, m_connectReboot);

    QPointer<ManualTelnetPage> self(this);
    login.manualShowing = [self] { return self && self->isVisible(); };

    connect(m_user, &QLineEdit::textChanged, this, [this](const QString &t) { m_login.setUserName(t); });
    connect(m_password, &QLineEdit::textChanged, this, [this](const QString &t) { m_login.setPassword(t); });
    connect(m_pingRow, &PingWidget::connectRequested, this, [this] { m_login.pressConnect(); });
    connect(m_access, &QPushButton::clicked, this, [this] { m_login.pressAccess(); });
    connect(m_exit, &QPushButton::clicked, this, [this] { m_login.pressExit(); });
    connect(m_restart, &QPushButton::clicked, this, [this] { m_login.pressRestart(); });
    connect(m_reAccess, &QPushButton::clicked, this, [this] { m_login.pressReAccess(); });
    connect(m_connectReboot, &QPushButton::clicked, this,
            [this] { Q_EMIT connectAndRebootRequested(m_ping.address(PingTool::Place::Manual)); });
    connect(&login, &TelnetLogin::changed, this, &ManualTelnetPage::refresh);
    connect(&login, &TelnetLogin::fieldsChanged, this, &ManualTelnetPage::fillFields);
    connect(&login, &TelnetLogin::focusUserName, this, [this] { m_user->setFocus(Qt::OtherFocusReason); });
    connect(&login, &TelnetLogin::focusAccess, this, [this] { m_access->setFocus(Qt::OtherFocusReason); });
    connect(&ping, &PingTool::changed, this, [this](PingTool::Place p) {
        if (p == PingTool::Place::Manual)
            refresh();
    });
    fillFields();
    refresh();
}

QLineEdit *ManualTelnetPage::addressField() const
{
    return m_pingRow->addressField();
}

QPushButton *ManualTelnetPage::pingButton() const
{
    return m_pingRow->pingButton();
}

QPushButton *ManualTelnetPage::connectButton() const
{
    return m_pingRow->connectButton();
}

QLabel *ManualTelnetPage::resultLabel() const
{
    return m_pingRow->resultLabel();
}

void ManualTelnetPage::fillFields()
{
    if (m_pingRow->addressField()->text() != m_login.address())
        m_pingRow->addressField()->setText(m_login.address());
    if (m_user->text() != m_login.userName())
        m_user->setText(m_login.userName());
    if (m_password->text() != m_login.password())
        m_password->setText(m_login.password());
}

void ManualTelnetPage::refresh()
{
    m_access->setEnabled(m_login.accessEnabled());
    m_exit->setEnabled(m_login.exitEnabled());
    m_restart->setEnabled(m_login.restartEnabled());
    m_reAccess->setEnabled(m_login.reAccessEnabled());
    m_reAccess->setToolTip(TelnetLogin::reAccessHint(m_login.lastConnectedIP()));
    m_connectReboot->setEnabled(m_ping.pingEnabled(PingTool::Place::Manual));
}

} // namespace vork
