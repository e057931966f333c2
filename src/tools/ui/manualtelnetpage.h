#pragma once

#include "tools/pingtool.h"
#include "tools/telnetlogin.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vork {

class PingWidget;

// The "Manual " tab of the discover page: ping a unit by address, log in to its
// telnet console with the fields, and run the maintenance commands. The page
// shows TelnetLogin's state and forwards the operator's presses to it.
class ManualTelnetPage : public QWidget
{
    Q_OBJECT
public:
    ManualTelnetPage(TelnetLogin &login, PingTool &ping, QWidget *parent = nullptr);

    QLineEdit *addressField() const;
    QPushButton *pingButton() const;
    QPushButton *connectButton() const;
    QLabel *resultLabel() const;
    QLineEdit *userField() const { return m_user; }
    QLineEdit *passwordField() const { return m_password; }
    QPushButton *accessButton() const { return m_access; }
    QPushButton *exitButton() const { return m_exit; }
    QPushButton *restartButton() const { return m_restart; }
    QPushButton *reAccessButton() const { return m_reAccess; }
    QPushButton *connectRebootButton() const { return m_connectReboot; }

Q_SIGNALS:
    // "Connect && Reboot" pressed for the address in the field; its work is done elsewhere.
    void connectAndRebootRequested(const QString &address);

private:
    void refresh();
    void fillFields();

    TelnetLogin &m_login;
    PingTool &m_ping;
    PingWidget *m_pingRow;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QPushButton *m_access;
    QPushButton *m_exit;
    QPushButton *m_restart;
    QPushButton *m_reAccess;
    QPushButton *m_connectReboot;
};

} // namespace vork
