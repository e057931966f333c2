#pragma once

#include "setup/setupoptions.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vork {

class Operator;

// "Advanced Settings": the label-reading parameters. Works on a copy; the
// editor takes settings() after OK.
class AdvancedWindow : public QDialog
{
    Q_OBJECT
public:
    AdvancedWindow(Operator &op, const AdvancedSettings &settings, QWidget *parent = nullptr);

    const AdvancedSettings &settings() const { return m_settings; }
    QCheckBox *lightOperate() const { return m_gwf; }
    QCheckBox *hamming() const { return m_hamming; }
    QCheckBox *autoAdjust() const { return m_auto; }
    QSpinBox *autoAfter() const { return m_lsc; }
    QComboBox *fixedBitSize() const { return m_fixed; }
    // Box of label size 8 + i.
    QCheckBox *bitBox(int i) const { return m_bits.at(std::size_t(i)); }
    QCheckBox *logReadAttempts() const { return m_logRA; }
    QSpinBox *minRawBits() const { return m_min1; }
    QSpinBox *minFrontToBack() const { return m_min2; }
    QCheckBox *fixedSizeBox() const { return m_allow; }
    QLabel *multiBits() const { return m_multiBits; }
    QPushButton *okButton() const { return m_ok; }
    QPushButton *defaultsButton() const { return m_defaults; }

    static QString warningText();

private:
    void refresh();
    void bitClicked(int i, bool on);
    void okClicked();

    Operator &m_op;
    AdvancedSettings m_settings;
    QCheckBox *m_gwf, *m_hamming, *m_auto, *m_logRA, *m_allow;
    QSpinBox *m_lsc, *m_min1, *m_min2;
    QComboBox *m_fixed;
    std::array<QCheckBox *, 8> m_bits{};
    QLabel *m_multiBits;
    QPushButton *m_ok, *m_defaults;
    bool m_refreshing = false;
};

// "Network Monitor": the fault monitor's three boxes.
class NetworkMonitorWindow : public QDialog
{
    Q_OBJECT
public:
    NetworkMonitorWindow(std::uint8_t nfm, QWidget *parent = nullptr);
    QCheckBox *onOff() const { return m_onOff; }
    QCheckBox *rebootServer() const { return m_server; }
    QCheckBox *rebootMajor() const { return m_major; }
    QPushButton *okButton() const { return m_ok; }

private:
    QCheckBox *m_onOff, *m_server, *m_major;
    QPushButton *m_ok;
};

// "Watch Dog": the watchdog time.
class WatchDogWindow : public QDialog
{
    Q_OBJECT
public:
    WatchDogWindow(int value, QWidget *parent = nullptr);
    QComboBox *choice() const { return m_choice; }
    QPushButton *okButton() const { return m_ok; }
    int value() const; // 1..3

private:
    QComboBox *m_choice;
    QPushButton *m_ok;
};

// "Password Protect": asks for the unit's password, or takes a new one.
class PasswordWindow : public QDialog
{
    Q_OBJECT
public:
    enum class Mode { Ask, Set };
    // changing: opened by "Change Password"; confirming: only to authorise an action.
    PasswordWindow(Operator &op, const setuppack &record, Mode mode, bool changing, bool confirming,
                   QWidget *parent = nullptr);

    Mode mode() const { return m_mode; }
    QLineEdit *entered() const { return m_entered; }
    QLineEdit *password() const { return m_password; }
    QLineEdit *confirm() const { return m_confirm; }
    QPushButton *okButton() const { return m_ok; }
    // Ask mode ended with the right password outside a change: protection is off.
    bool turnedOff() const { return m_turnedOff; }

private:
    void setMode(Mode mode);
    void okClicked();

    Operator &m_op;
    setuppack m_record;
    Mode m_mode;
    bool m_changing;
    bool m_confirming;
    bool m_turnedOff = false;
    QGroupBox *m_askGroup, *m_setGroup;
    QLineEdit *m_entered, *m_password, *m_confirm;
    QPushButton *m_ok;
};

} // namespace vork
