#include "setup/ui/parameterstab.h"

#include "core/operator.h"
#include "setup/setupform.h"
#include "setup/ui/optionwindows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace vork {

namespace {
QString n(const char *name)
{
    return QString::fromLatin1(name);
}
constexpr int ipMaxLength = 15;
} // namespace

ParametersTab::ParametersTab(Operator &op, SetupForm &form, QWidget *parent)
    : QWidget(parent), m_op(op), m_form(form)
{
    runDialog = [](QDialog &d) { return d.exec(); };
    build();
    mirror();
}

QGroupBox *ParametersTab::group(int which) const
{
    return which >= 0 && which < m_groups.size() ? m_groups.at(which) : nullptr;
}

QFormLayout *ParametersTab::layoutOf(const QString &name) const
{
    return m_layouts.value(name);
}

void ParametersTab::build()
{
    const FormGroup order[] = {FormGroup::General, FormGroup::NetworkPort, FormGroup::SerialPort, FormGroup::Auxiliary,
                               FormGroup::Security};
    QHash<int, QFormLayout *> forms;
    auto *grid = new QGridLayout(this);
    for (FormGroup g : order) {
        auto *box = new QGroupBox(formGroupTitle(g), this);
        m_groups << box;
        forms.insert(int(g), new QFormLayout(box));
    }
    // The network port shows its standard or its EtherNet/IP controls.
    m_networkLabel = new QLabel(m_groups.at(1));
    m_networkStack = new QStackedWidget(m_groups.at(1));
    auto *std = new QWidget(m_networkStack);
    auto *eip = new QWidget(m_networkStack);
    m_networkStack->addWidget(std);
    m_networkStack->addWidget(eip);
    forms.insert(int(FormGroup::NetworkStd), new QFormLayout(std));
    forms.insert(int(FormGroup::NetworkEip), new QFormLayout(eip));

    for (const FormControl &c : formControls()) {
        QFormLayout *form = forms.value(int(c.group));
        if (!form)
            continue;
        QWidget *parentWidget = form->parentWidget();
        const QString name = c.controlName();
        const QString caption = QString::fromLatin1(c.caption);
        QWidget *w = nullptr;
        switch (c.kind) {
        case ControlKind::Text: {
            if (!c.choices.empty()) {
                auto *combo = new QComboBox(parentWidget);
                combo->setEditable(true);
                for (const char *t : c.choices)
                    combo->addItem(QString::fromLatin1(t));
                connect(combo, &QComboBox::currentTextChanged, this, [this, name] { controlChanged(name); });
                w = combo;
            } else {
                auto *edit = new QLineEdit(parentWidget);
                for (const char *ip : {"enrip", "endg", "entsvr", "ensip", "EeipPLC"})
                    if (name == n(ip))
                        edit->setMaxLength(ipMaxLength);
                if (name == n("Eemac"))
                    edit->setReadOnly(true);
                connect(edit, &QLineEdit::textEdited, this, [this, name] { controlChanged(name); });
                w = edit;
            }
            form->addRow(caption, w);
            break;
        }
        case ControlKind::Check: {
            auto *box = new QCheckBox(caption, parentWidget);
            if (name == n("CBwdt"))
                box->installEventFilter(this);
            connect(box, &QCheckBox::clicked, this, [this, name] { controlChanged(name); });
            w = box;
            form->addRow(w);
            break;
        }
        case ControlKind::Radio: {
            auto *radio = new QRadioButton(caption, parentWidget);
            radio->setAutoExclusive(false);
            connect(radio, &QRadioButton::clicked, this, [this, name] { controlChanged(name); });
            w = radio;
            form->addRow(w);
            break;
        }
        case ControlKind::Choice: {
            auto *combo = new QComboBox(parentWidget);
            combo->addItems(m_form.choices(name));
            connect(combo, &QComboBox::activated, this, [this, name] { controlChanged(name); });
            w = combo;
            form->addRow(caption, w);
            break;
        }
        case ControlKind::Spin: {
            auto *spin = new QSpinBox(parentWidget);
            spin->setRange(c.min, c.max);
            connect(spin, &QSpinBox::valueChanged, this, [this, name] { controlChanged(name); });
            w = spin;
            form->addRow(caption, w);
            break;
        }
        }
        if (c.hint)
            w->setToolTip(QString::fromLatin1(c.hint));
        w->setObjectName(name);
        m_controls.insert(name, w);
        m_layouts.insert(name, form);
        if (c.group == FormGroup::NetworkPort && name == n("CBna")) {
            form->addRow(m_networkLabel);
            form->addRow(m_networkStack);
        }
    }

    QFormLayout *general = forms.value(int(FormGroup::General));
    // The button sits in a slot that keeps its place while it is hidden, so the press
    // that shows it finds it where it will appear, whatever rows the form shows.
    m_advancedSlot = new QWidget(m_groups.at(0));
    auto *slotLayout = new QHBoxLayout(m_advancedSlot);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    m_advanced = new QPushButton(QStringLiteral("Advanced Settings"), m_advancedSlot);
    QSizePolicy keep = m_advanced->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_advanced->setSizePolicy(keep);
    slotLayout->addWidget(m_advanced);
    m_advanced->setVisible(false);
    general->addRow(m_advancedSlot);
    m_groups.at(0)->installEventFilter(this);
    connect(m_advanced, &QPushButton::clicked, this, &ParametersTab::openAdvanced);

    m_serialMarker = new QLabel(SetupForm::serialMarkerText(), m_groups.at(2));
    forms.value(int(FormGroup::SerialPort))->addRow(m_serialMarker);
    m_changePassword = new QPushButton(QStringLiteral("Change Password"), m_groups.at(4));
    forms.value(int(FormGroup::Security))->addRow(m_changePassword);
    connect(m_changePassword, &QPushButton::clicked, this, &ParametersTab::changePassword);

    m_marker = new QLabel(QStringLiteral("C"), this);
    m_marker->setToolTip(SetupForm::markerHint());
    m_defaults = new QPushButton(this);
    m_defaults->setToolTip(QStringLiteral("Load Form with Factory Defaults"));
    m_defaults->setText(QStringLiteral("Defaults"));
    connect(m_defaults, &QPushButton::clicked, this, [this] {
        m_op.tone(Tone::Button);
        m_form.loadDefaults();
        mirror();
        Q_EMIT edited();
    });

    grid->addWidget(m_groups.at(0), 0, 0, 3, 1);
    grid->addWidget(m_groups.at(1), 0, 1, 3, 1);
    grid->addWidget(m_groups.at(2), 0, 2);
    grid->addWidget(m_groups.at(3), 1, 2);
    grid->addWidget(m_groups.at(4), 2, 2);
    auto *foot = new QHBoxLayout;
    foot->addWidget(m_defaults);
    foot->addStretch();
    foot->addWidget(m_marker);
    grid->addLayout(foot, 3, 0, 1, 3);
}

void ParametersTab::mirror()
{
    m_mirroring = true;
    for (auto it = m_controls.cbegin(); it != m_controls.cend(); ++it) {
        const QString &name = it.key();
        QWidget *w = it.value();
        const QSignalBlocker block(w);
        if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            if (edit->text() != m_form.text(name))
                edit->setText(m_form.text(name));
        } else if (auto *box = qobject_cast<QAbstractButton *>(w)) {
            box->setChecked(m_form.checked(name));
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            if (combo->isEditable())
                combo->setCurrentText(m_form.text(name));
            else
                combo->setCurrentIndex(m_form.index(name));
        } else if (auto *spin = qobject_cast<QSpinBox *>(w)) {
            spin->setValue(m_form.value(name).toInt());
        }
        w->setEnabled(m_form.isEnabled(name));
        if (QFormLayout *form = layoutOf(name))
            form->setRowVisible(w, m_form.isVisible(name));
    }
    if (QFormLayout *form = layoutOf(n("ecaddr")))
        if (auto *label = qobject_cast<QLabel *>(form->labelForField(control(n("ecaddr")))))
            label->setText(m_form.caption(n("ecaddr")));
    control(n("CBnfm"))->setToolTip(m_form.hint(n("CBnfm")));
    const bool eip = m_form.eipForward();
    m_networkStack->setCurrentIndex(eip ? 1 : 0);
    m_networkLabel->setText(m_form.networkGroupLabel());
    m_serialMarker->setVisible(m_form.serialDisabledMarker());
    m_changePassword->setEnabled(m_form.groupsEnabled() && m_form.checked(n("cbpwp")));
    m_marker->setVisible(m_form.changesPending());
    for (int g : {0, 3, 4})
        m_groups.at(g)->setEnabled(m_form.groupsEnabled());
    m_mirroring = false;
}

void ParametersTab::controlChanged(const QString &name)
{
    if (m_mirroring)
        return;
    QWidget *w = control(name);
    if (auto *edit = qobject_cast<QLineEdit *>(w))
        m_form.setValue(name, edit->text());
    else if (auto *box = qobject_cast<QAbstractButton *>(w))
        m_form.setValue(name, box->isChecked());
    else if (auto *combo = qobject_cast<QComboBox *>(w))
        m_form.setValue(name, combo->isEditable() ? QVariant(combo->currentText()) : QVariant(combo->currentIndex()));
    else if (auto *spin = qobject_cast<QSpinBox *>(w))
        m_form.setValue(name, spin->value());

    if (name == n("CBnfm")) {
        monitorClicked();
    } else if (name == n("CBwdt")) {
        const Qt::KeyboardModifiers mods = m_pressModifiers | QGuiApplication::keyboardModifiers();
        m_pressModifiers = {};
        watchdogClicked(mods);
    } else if (name == n("cbpwp")) {
        protectClicked();
    } else if (name == n("CBeipReply")) {
        m_form.setNfmValue(nfmrules::broadcastReply(m_form.nfmValue(), m_form.checked(name), m_form.monitorWasOn()));
        m_form.edited(name);
    } else if (name == n("CBeipDataLoss")) {
        m_form.setNfmValue(nfmrules::dataLoss(m_form.nfmValue(), m_form.checked(name), m_form.monitorWasOn()));
        m_form.edited(name);
    } else if (name == n("RBstd") || name == n("RBeip")) {
        m_form.selectProtocol(name == n("RBstd"));
    } else {
        m_form.edited(name);
    }
    mirror();
    Q_EMIT edited();
}

void ParametersTab::monitorClicked()
{
    const std::uint8_t nfm = m_form.nfmValue();
    if (!m_form.eipForward()) {
        NetworkMonitorWindow window(nfm, this);
        if (runDialog(window) == QDialog::Accepted) {
            const std::uint8_t v = nfmrules::fromWindow(window.onOff()->isChecked(), window.rebootServer()->isChecked(),
                                                        window.rebootMajor()->isChecked(),
                                                        m_form.checked(n("CBeipDataLoss")));
            m_form.setNfmValue(v);
            // A reboot option alone still shows the monitor as in use.
            if (v & (nfmbit::rebootServerError | nfmbit::rebootMajorFault))
                m_form.setValue(n("CBnfm"), true);
        } else {
            m_form.setNfmValue(nfm);
        }
    } else if (!m_form.checked(n("CBnfm"))) {
        std::uint8_t v = std::uint8_t(nfm & ~nfmbit::monitorOn);
        if (nfm & nfmbit::eipCloseOnDataLoss) {
            if (m_op.ask(nfmrules::eipOffQuestion()) == Answer::Yes)
                v = std::uint8_t(v & ~nfmbit::eipCloseOnDataLoss);
            else
                v = nfm;
        }
        m_form.setNfmValue(v);
    } else {
        m_form.setNfmValue(std::uint8_t(nfm | nfmbit::monitorOn));
    }
    m_form.edited(n("CBnfm"));
}

void ParametersTab::watchdogClicked(Qt::KeyboardModifiers modifiers)
{
    std::uint8_t value = m_form.wdtValue();
    if (!m_form.checked(n("CBwdt"))) {
        // The box was checked: this click turns the watchdog off.
        value = 0;
    } else if (modifiers & Qt::ShiftModifier) {
        WatchDogWindow window(m_form.received().wdt(), this);
        if (runDialog(window) == QDialog::Accepted)
            value = std::uint8_t(window.value());
    }
    m_form.setWdtValue(value);
    m_form.edited(n("CBwdt"));
}

void ParametersTab::protectClicked()
{
    const bool on = m_form.checked(n("cbpwp"));
    if (!on || m_form.received().pwp()) {
        m_form.edited(n("cbpwp"));
        return;
    }
    const auto mode = m_form.outgoing().pwp() ? PasswordWindow::Mode::Ask : PasswordWindow::Mode::Set;
    PasswordWindow window(m_op, m_form.outgoing(), mode, false, false, this);
    if (runDialog(window) == QDialog::Accepted) {
        if (window.turnedOff()) {
            m_form.setValue(n("cbpwp"), false);
        } else {
            m_form.password = window.password()->text();
            m_form.passwordConfirm = window.confirm()->text();
        }
    } else {
        m_form.setValue(n("cbpwp"), false);
    }
    m_form.edited(n("cbpwp"));
}

void ParametersTab::changePassword()
{
    m_op.tone(Tone::Button);
    const auto mode = m_form.outgoing().pwp() ? PasswordWindow::Mode::Ask : PasswordWindow::Mode::Set;
    PasswordWindow window(m_op, m_form.outgoing(), mode, true, false, this);
    if (runDialog(window) != QDialog::Accepted)
        return;
    m_form.password = window.password()->text();
    m_form.passwordConfirm = window.confirm()->text();
    m_form.edited(n("cbpwp"));
    mirror();
    Q_EMIT edited();
}

bool ParametersTab::editAllowed(const setuppack &unitRecord)
{
    if (!unitRecord.pwp())
        return true;
    PasswordWindow window(m_op, unitRecord, PasswordWindow::Mode::Ask, false, true, this);
    return runDialog(window) == QDialog::Accepted;
}

void ParametersTab::openAdvanced()
{
    AdvancedWindow window(m_op, m_form.advanced(), this);
    if (runDialog(window) == QDialog::Accepted) {
        m_form.advanced() = window.settings();
        m_form.edited(QStringLiteral("advanced"));
    }
    m_advanced->setVisible(false);
    mirror();
    Q_EMIT edited();
}

bool ParametersTab::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (watched == control(n("CBwdt")))
            m_pressModifiers = mouse->modifiers();
        // Ctrl+Alt inside the general group, under the hidden button, shows it.
        if (watched == m_groups.value(0) && (mouse->modifiers() & Qt::ControlModifier)
            && (mouse->modifiers() & Qt::AltModifier)) {
            const QRect r = m_advancedSlot->geometry();
            const QPoint p = mouse->position().toPoint();
            if (p.x() >= r.left() && p.x() <= r.right() && p.y() >= r.top())
                m_advanced->setVisible(true);
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vork
