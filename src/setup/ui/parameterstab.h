#pragma once

#include <QHash>
#include <QWidget>

#include <functional>

class QDialog;
class QFormLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace vork {

class Operator;
class SetupForm;
class setuppack;

// The "PARAMETERS" tab: one control per field in five groups, built from the
// form's control table. It mirrors the form and hands every edit to it.
class ParametersTab : public QWidget
{
    Q_OBJECT
public:
    ParametersTab(Operator &op, SetupForm &form, QWidget *parent = nullptr);

    // A control by its component name ("enrip", "CBwdt", ...).
    QWidget *control(const QString &name) const { return m_controls.value(name); }
    template <class T>
    T *control(const QString &name) const
    {
        return qobject_cast<T *>(control(name));
    }
    QGroupBox *group(int which) const;
    QLabel *changedMarker() const { return m_marker; }
    QLabel *serialMarker() const { return m_serialMarker; }
    QLabel *networkLabel() const { return m_networkLabel; }
    QStackedWidget *networkControls() const { return m_networkStack; }
    QPushButton *changePasswordButton() const { return m_changePassword; }
    QPushButton *advancedButton() const { return m_advanced; }
    QPushButton *defaultsButton() const { return m_defaults; }

    // The form's state into the controls.
    void mirror();
    // How a window is run: modal by default; tests answer it in place.
    std::function<int(QDialog &)> runDialog;

    // The editor's actions that open windows, also used by the page.
    void openAdvanced();
    // The unit-password prompt before a destructive action, against the unit's own
    // record: true when allowed.
    bool editAllowed(const setuppack &unitRecord);

Q_SIGNALS:
    // Any edit reached the form: the page updates its buttons.
    void edited();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void build();
    void controlChanged(const QString &name);
    void monitorClicked();
    void watchdogClicked(Qt::KeyboardModifiers modifiers);
    void protectClicked();
    void changePassword();
    QFormLayout *layoutOf(const QString &name) const;

    Operator &m_op;
    SetupForm &m_form;
    QHash<QString, QWidget *> m_controls;
    QHash<QString, QFormLayout *> m_layouts;
    QList<QGroupBox *> m_groups;
    QLabel *m_marker = nullptr;
    QLabel *m_serialMarker = nullptr;
    QLabel *m_networkLabel = nullptr;
    QStackedWidget *m_networkStack = nullptr;
    QPushButton *m_changePassword = nullptr;
    QPushButton *m_advanced = nullptr;
    QWidget *m_advancedSlot = nullptr; // where the hidden button will appear
    QPushButton *m_defaults = nullptr;
    Qt::KeyboardModifiers m_pressModifiers;
    bool m_mirroring = false;
};

} // namespace vork
