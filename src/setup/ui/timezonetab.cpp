#include "setup/ui/timezonetab.h"

#include "connection/commandreplies.h"
#include "core/operator.h"
#include "services/unitservices.h"
#include "setup/setupclock.h"
#include "setup/setupform.h"
#include "setup/timezones.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace vork {

namespace {
QString n(const char *name)
{
    return QString::fromLatin1(name);
}
constexpr int codeLength = 26;

QPushButton *button(const char *text, const char *hint, QWidget *parent)
{
    auto *b = new QPushButton(QString::fromLatin1(text), parent);
    b->setToolTip(QString::fromLatin1(hint));
    return b;
}
} // namespace

TimeZoneTab::TimeZoneTab(UnitServices &services, SetupForm &form, QWidget *parent)
    : QWidget(parent), m_services(services), m_form(form), m_clock(new SetupClock(services))
{
    auto *clockGroup = new QGroupBox(this);
    m_date = new QDateEdit(clockGroup);
    m_date->setCalendarPopup(true);
    m_time = new QTimeEdit(clockGroup);
    m_time->setDisplayFormat(QStringLiteral("hh:mm:ss AP"));
    m_clockLabel = new QLabel(clockGroup);
    m_clockUp = button("Upload", "Read Date/Time from Vork Unit", clockGroup);
    m_clockDown = button("Download", "Download Date/Time to Vork Unit", clockGroup);
    m_now = button("Now", "Set Date/Time to Current PC Time and Download to Vork Unit", clockGroup);
    auto *clockLayout = new QGridLayout(clockGroup);
    clockLayout->addWidget(m_date, 0, 0);
    clockLayout->addWidget(m_time, 0, 1);
    clockLayout->addWidget(m_clockLabel, 1, 0, 1, 2);
    clockLayout->addWidget(m_clockUp, 0, 2);
    clockLayout->addWidget(m_clockDown, 0, 3);
    clockLayout->addWidget(m_now, 0, 4);

    m_zoneGroup = new QGroupBox(this);
    auto *zoneLayout = new QFormLayout(m_zoneGroup);
    auto *rules = new QGroupBox(formGroupTitle(FormGroup::Rules), m_zoneGroup);
    auto *rulesLayout = new QFormLayout(rules);
    for (const FormControl &c : formControls()) {
        if (c.group != FormGroup::TimeZone && c.group != FormGroup::Rules)
            continue;
        const QString name = c.controlName();
        QFormLayout *layout = c.group == FormGroup::TimeZone ? zoneLayout : rulesLayout;
        QWidget *w = nullptr;
        if (c.kind == ControlKind::Choice) {
            auto *combo = new QComboBox(layout->parentWidget());
            combo->addItems(m_form.choices(name));
            connect(combo, &QComboBox::activated, this, [this, name] { changed(name); });
            layout->addRow(QString::fromLatin1(c.caption), combo);
            w = combo;
        } else if (c.kind == ControlKind::Check) {
            auto *check = new QCheckBox(QString::fromLatin1(c.caption), layout->parentWidget());
            connect(check, &QCheckBox::clicked, this, [this, name] { changed(name); });
            layout->addRow(check);
            w = check;
        } else {
            auto *edit = new QLineEdit(layout->parentWidget());
            edit->setMaxLength(codeLength);
            connect(edit, &QLineEdit::textEdited, this, [this, name] { changed(name); });
            layout->addRow(QString::fromLatin1(c.caption), edit);
            w = edit;
        }
        if (c.hint)
            w->setToolTip(QString::fromLatin1(c.hint));
        w->setObjectName(name);
        m_controls.insert(name, w);
    }
    for (const char *note : {"Custom Time Zone Definition", "Custom Time Zone parameters are not saved",
                             "until the Encode button is pressed"})
        rulesLayout->addRow(new QLabel(QString::fromLatin1(note), rules));
    m_decode = new QPushButton(QStringLiteral("Decode"), m_zoneGroup);
    m_encode = new QPushButton(QStringLiteral("Encode"), m_zoneGroup);
    m_zoneUp = button("Upload", "Read Timezone Information from Vork Unit", m_zoneGroup);
    m_zoneDown = button("Download", "Download Timezone Information to Vork Unit", m_zoneGroup);
    auto *zoneButtons = new QHBoxLayout;
    for (QPushButton *b : {m_decode, m_encode, m_zoneUp, m_zoneDown})
        zoneButtons->addWidget(b);
    zoneLayout->addRow(rules);
    zoneLayout->addRow(zoneButtons);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(clockGroup);
    layout->addWidget(m_zoneGroup);
    layout->addStretch();

    connect(&services.replies(), &CommandReplies::clockReceived, this, [this](const QDateTime &t) {
        m_date->setDate(t.date());
        m_time->setTime(t.time());
        m_clockLabel->setText(CommandReplies::clockLabel(t));
    });
    connect(m_clockUp, &QPushButton::clicked, this, &TimeZoneTab::readClock);
    connect(m_clockDown, &QPushButton::clicked, this, &TimeZoneTab::setClock);
    connect(m_now, &QPushButton::clicked, this, [this] {
        const QDateTime now = QDateTime::currentDateTime();
        m_date->setDate(now.date());
        m_time->setTime(now.time());
        setClock();
    });
    connect(m_decode, &QPushButton::clicked, this, [this] {
        m_services.op().tone(Tone::Button);
        const QString code = m_form.text(n("Etzcode"));
        if (code.size() != codeLength)
            return;
        m_form.decodeZone(code);
        mirror();
    });
    connect(m_encode, &QPushButton::clicked, this, [this] {
        m_services.op().tone(Tone::Button);
        m_form.setValue(n("Etzcode"), m_form.encodeZone());
        m_form.edited(n("Etzcode"));
        mirror();
        Q_EMIT edited();
    });
    connect(m_zoneUp, &QPushButton::clicked, this, [this] {
        m_zoneUp->setEnabled(false);
        m_form.setValue(n("Etzcode"), QString());
        mirror();
        Q_EMIT zoneUploadRequested();
        m_zoneUp->setEnabled(true);
    });
    connect(m_zoneDown, &QPushButton::clicked, this, [this] {
        m_zoneDown->setEnabled(false);
        Q_EMIT zoneDownloadRequested();
        m_zoneDown->setEnabled(true);
    });
    setUnitActions(false);
    mirror();
}

TimeZoneTab::~TimeZoneTab()
{
    delete m_clock;
}

QComboBox *TimeZoneTab::list(const QString &name) const
{
    return qobject_cast<QComboBox *>(control(name));
}

QCheckBox *TimeZoneTab::box(const QString &name) const
{
    return qobject_cast<QCheckBox *>(control(name));
}

QLineEdit *TimeZoneTab::code() const
{
    return qobject_cast<QLineEdit *>(control(n("Etzcode")));
}

void TimeZoneTab::mirror()
{
    m_mirroring = true;
    for (auto it = m_controls.cbegin(); it != m_controls.cend(); ++it) {
        const QString &name = it.key();
        QWidget *w = it.value();
        const QSignalBlocker block(w);
        if (auto *combo = qobject_cast<QComboBox *>(w)) {
            // Day lists follow their rule.
            const QStringList items = m_form.choices(name);
            QStringList shown;
            for (int i = 0; i < combo->count(); ++i)
                shown << combo->itemText(i);
            if (shown != items) {
                combo->clear();
                combo->addItems(items);
            }
            const int i = m_form.index(name);
            combo->setCurrentIndex(i < items.size() ? i : -1);
        } else if (auto *check = qobject_cast<QCheckBox *>(w)) {
            check->setChecked(m_form.checked(name));
        } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            if (edit->text() != m_form.text(name))
                edit->setText(m_form.text(name));
        }
        w->setEnabled(m_form.isEnabled(name));
    }
    const bool on = m_form.groupsEnabled();
    m_zoneGroup->setEnabled(on);
    m_zoneGroup->setTitle(on ? QStringLiteral("Timezone Definition")
                             : QStringLiteral("Timezone Definition (Disabled until upload button clicked on Parameters tab)"));
    m_mirroring = false;
}

void TimeZoneTab::changed(const QString &name)
{
    if (m_mirroring)
        return;
    QWidget *w = control(name);
    if (auto *combo = qobject_cast<QComboBox *>(w))
        m_form.setValue(name, combo->currentIndex());
    else if (auto *check = qobject_cast<QCheckBox *>(w))
        m_form.setValue(name, check->isChecked());
    else if (auto *edit = qobject_cast<QLineEdit *>(w))
        m_form.setValue(name, edit->text());

    if (name == n("CBtimezone")) {
        m_form.zoneChosen(m_form.index(name));
    } else if (name == n("CBstarttype") || name == n("CBendtype")) {
        m_form.ruleTypeChanged(name == n("CBstarttype"));
    } else if (name == n("CButzo") || name == n("CBdst")) {
        m_form.edited(name);
    } else if (name == n("Etzcode")) {
        m_form.edited(name);
    } else {
        // Month, day and hour only beep.
        m_services.op().tone(Tone::CheckBox);
    }
    mirror();
    Q_EMIT edited();
}

void TimeZoneTab::setUnitActions(bool on)
{
    for (QPushButton *b : {m_clockUp, m_clockDown, m_now, m_zoneUp, m_zoneDown})
        b->setEnabled(on);
}

void TimeZoneTab::refreshZoneDisplay()
{
    const int zone = m_form.index(n("CBtimezone"));
    if (zone < 0 || zone >= timezones::zoneCount || m_form.checked(n("CButzo")))
        return;
    const QString code = timezones::codeText(timezones::zoneRule(zone));
    m_form.setValue(n("Etzcode"), code);
    m_form.decodeZone(code);
    mirror();
}

void TimeZoneTab::readClock()
{
    m_clockLabel->clear();
    m_clockUp->setEnabled(false);
    m_clock->read();
    m_clockUp->setEnabled(true);
}

void TimeZoneTab::setClock()
{
    m_clockDown->setEnabled(false);
    const QDateTime t(m_date->date(), m_time->time());
    if (m_clock->set(t))
        m_clockLabel->setText(CommandReplies::clockLabel(t));
    m_clockDown->setEnabled(true);
}

} // namespace vork
