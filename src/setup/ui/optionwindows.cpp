#include "setup/ui/optionwindows.h"

#include "core/operator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vork {

namespace {
QGroupBox *group(const QString &title, QWidget *parent, QWidget *content)
{
    auto *g = new QGroupBox(title, parent);
    auto *l = new QVBoxLayout(g);
    l->addWidget(content);
    return g;
}
} // namespace

QString AdvancedWindow::warningText()
{
    return QStringLiteral("          Warning\n\n  Making changes to\nthese parameters can\n  cause the reader to \n"
                          "       stop workiing");
}

AdvancedWindow::AdvancedWindow(Operator &op, const AdvancedSettings &settings, QWidget *parent)
    : QDialog(parent), m_op(op), m_settings(settings)
{
    setWindowTitle(QStringLiteral("Advanced Settings"));
    m_gwf = new QCheckBox(QStringLiteral("Light Operate"), this);
    m_hamming = new QCheckBox(QStringLiteral("Use Hamming"), this);
    m_auto = new QCheckBox(QStringLiteral("Auto Adjust"), this);
    m_lsc = new QSpinBox(this);
    m_lsc->setRange(1, 9);
    m_fixed = new QComboBox(this);
    m_fixed->addItems(AdvancedSettings::fixedSizes());
    m_fixed->setToolTip(QStringLiteral("Fixed size of zero allows all bit sizes to be read"));
    m_logRA = new QCheckBox(QStringLiteral("Log Read Attemps"), this);
    m_min1 = new QSpinBox(this);
    m_min2 = new QSpinBox(this);
    for (QSpinBox *s : {m_min1, m_min2})
        s->setRange(AdvancedSettings::minBitsLowest, AdvancedSettings::minBitsHighest);
    m_allow = new QCheckBox(this);
    m_allow->setToolTip(QStringLiteral("Allow Labels with Fixed Size - 1 Data Bits"));
    m_multiBits = new QLabel(this);

    auto *bits = new QWidget(this);
    auto *bitRow = new QGridLayout(bits);
    bitRow->addWidget(new QLabel(QStringLiteral("15 14 13 12 11 10 09 08 "), bits), 0, 0, 1, 8);
    bitRow->addWidget(new QLabel(QStringLiteral("Other Allowed Bits"), bits), 1, 8);
    for (int i = 0; i < 8; ++i) {
        auto *box = new QCheckBox(bits);
        box->setToolTip(QStringLiteral("Allow %1 bit labels").arg(8 + i));
        m_bits[std::size_t(i)] = box;
        bitRow->addWidget(box, 1, 7 - i); // 15 leftmost
        connect(box, &QCheckBox::clicked, this, [this, i](bool on) { bitClicked(i, on); });
    }

    auto *size = new QWidget(this);
    auto *sizeForm = new QFormLayout(size);
    sizeForm->addRow(m_auto);
    sizeForm->addRow(QStringLiteral("Auto Adjust after this many labels"), m_lsc);
    sizeForm->addRow(QStringLiteral("Fixed Bit Size"), m_fixed);
    sizeForm->addRow(bits);
    sizeForm->addRow(m_allow);
    sizeForm->addRow(m_multiBits);
    auto *reads = new QWidget(this);
    auto *readForm = new QFormLayout(reads);
    readForm->addRow(m_logRA);
    readForm->addRow(QStringLiteral("Minimum Raw Buffer Bits"), m_min1);
    readForm->addRow(QStringLiteral("Minimum Bits Front to Back"), m_min2);

    auto *warning = new QPlainTextEdit(warningText(), this);
    warning->setReadOnly(true);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_defaults = new QPushButton(QStringLiteral("Defaults"), this);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_defaults);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(warning);
    layout->addWidget(group(QStringLiteral("RETRO-REFLECTIVE READER"), this, m_gwf));
    layout->addWidget(group(QStringLiteral("HAMMING CODE"), this, m_hamming));
    layout->addWidget(group(QStringLiteral("LABEL SIZE"), this, size));
    layout->addWidget(group(QStringLiteral("READ ATTEMPTS"), this, reads));
    layout->addLayout(buttons);

    connect(m_gwf, &QCheckBox::toggled, this, [this](bool on) { m_settings.gwf = on; });
    connect(m_hamming, &QCheckBox::toggled, this, [this](bool on) { m_settings.hcode = on; });
    connect(m_auto, &QCheckBox::toggled, this, [this](bool on) {
        if (m_refreshing)
            return;
        m_settings.lsa = on;
        refresh();
    });
    connect(m_lsc, &QSpinBox::valueChanged, this, [this](int v) { if (!m_refreshing) m_settings.lsc = v; });
    connect(m_fixed, &QComboBox::currentTextChanged, this, [this](const QString &t) {
        if (m_refreshing)
            return;
        m_settings.chooseFixedSize(t);
        refresh();
    });
    connect(m_logRA, &QCheckBox::toggled, this, [this](bool on) { m_settings.logRA = on; });
    connect(m_min1, &QSpinBox::valueChanged, this, [this](int v) { if (!m_refreshing) m_settings.minB1 = v; });
    connect(m_min2, &QSpinBox::valueChanged, this, [this](int v) { if (!m_refreshing) m_settings.minB2 = v; });
    connect(m_allow, &QCheckBox::toggled, this, [this](bool on) { if (!m_refreshing) m_settings.fixedSizeBox = on; });
    connect(m_defaults, &QPushButton::clicked, this, [this] {
        m_settings = AdvancedSettings::defaults(m_settings.singleSize, m_settings.v264);
        refresh();
    });
    connect(m_ok, &QPushButton::clicked, this, &AdvancedWindow::okClicked);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    refresh();
}

void AdvancedWindow::refresh()
{
    m_refreshing = true;
    const AdvancedSettings &s = m_settings;
    m_gwf->setChecked(s.gwf);
    m_hamming->setChecked(s.hcode);
    m_auto->setChecked(s.lsa);
    m_lsc->setValue(s.lsc);
    m_lsc->setEnabled(s.lsa);
    m_fixed->setCurrentIndex(m_fixed->findText(s.lsf));
    m_fixed->setEnabled(!s.lsa);
    const std::uint8_t shown = s.shownBits();
    for (int i = 0; i < 8; ++i) {
        m_bits[std::size_t(i)]->setChecked(!s.singleSize && (shown & (1u << i)));
        m_bits[std::size_t(i)]->setEnabled(s.otherBitsUsable());
    }
    m_logRA->setChecked(s.logRA);
    m_min1->setValue(s.minB1);
    m_min2->setValue(s.minB2);
    for (QWidget *w : std::initializer_list<QWidget *>{m_logRA, m_min1, m_min2})
        w->setEnabled(!s.singleSize);
    m_allow->setText(AdvancedSettings::fixedSizeCaption(s.v264));
    m_allow->setChecked(s.fixedSizeBox);
    m_allow->setVisible(s.singleSize);
    m_multiBits->setText(s.multiBitsText());
    m_multiBits->setVisible(!s.singleSize);
    m_refreshing = false;
}

void AdvancedWindow::bitClicked(int i, bool on)
{
    if (const auto refused = m_settings.setBit(std::uint8_t(1u << i), on)) {
        m_bits[std::size_t(i)]->setChecked(true);
        m_op.information(*refused);
    }
    m_multiBits->setText(m_settings.multiBitsText());
}

void AdvancedWindow::okClicked()
{
    std::uint8_t boxes = 0;
    for (int i = 0; i < 8; ++i)
        if (m_bits[std::size_t(i)]->isChecked())
            boxes |= std::uint8_t(1u << i);
    if (const auto refused = m_settings.accept(boxes)) {
        m_op.information(*refused);
        return;
    }
    accept();
}

NetworkMonitorWindow::NetworkMonitorWindow(std::uint8_t nfm, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Network Monitor"));
    m_onOff = new QCheckBox(QStringLiteral("Network Fault Monitor On/Off"), this);
    m_server = new QCheckBox(QStringLiteral("Reboot for network Server or Child process error"), this);
    m_major = new QCheckBox(QStringLiteral("Reboot for major network fault"), this);
    m_onOff->setChecked(nfm & nfmbit::monitorOn);
    m_server->setChecked(nfm & nfmbit::rebootServerError);
    m_major->setChecked(nfm & nfmbit::rebootMajorFault);
    // A change of the monitor itself starts the reboot options over.
    connect(m_onOff, &QCheckBox::clicked, this, [this] {
        m_server->setChecked(false);
        m_major->setChecked(false);
    });
    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = box->button(QDialogButtonBox::Ok);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    for (QWidget *w : std::initializer_list<QWidget *>{m_onOff, m_server, m_major, box})
        layout->addWidget(w);
}

WatchDogWindow::WatchDogWindow(int value, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Watch Dog"));
    m_choice = new QComboBox(this);
    m_choice->addItems(watchdog::choices());
    if (value >= 1 && value <= 3)
        m_choice->setCurrentIndex(value - 1);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    auto *layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("Select"), m_choice);
    layout->addRow(new QLabel(watchdog::defaultText(), this));
    layout->addRow(m_ok);
}

int WatchDogWindow::value() const
{
    return m_choice->currentIndex() + 1;
}

PasswordWindow::PasswordWindow(Operator &op, const setuppack &record, Mode mode, bool changing, bool confirming,
                               QWidget *parent)
    : QDialog(parent), m_op(op), m_record(record), m_mode(mode), m_changing(changing), m_confirming(confirming)
{
    setWindowTitle(QStringLiteral("Password Protect"));
    m_entered = new QLineEdit(this);
    m_entered->setEchoMode(QLineEdit::Password);
    m_entered->setToolTip(QStringLiteral("Enter original password to make changes"));
    m_askGroup = group(QStringLiteral("Enter Password"), this, m_entered);
    m_password = new QLineEdit(this);
    m_confirm = new QLineEdit(this);
    for (QLineEdit *e : {m_password, m_confirm})
        e->setEchoMode(QLineEdit::Password);
    m_setGroup = new QGroupBox(this);
    auto *form = new QFormLayout(m_setGroup);
    form->addRow(QStringLiteral("Password"), m_password);
    form->addRow(QStringLiteral("Password Confirm"), m_confirm);
    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = box->button(QDialogButtonBox::Ok);
    connect(m_ok, &QPushButton::clicked, this, &PasswordWindow::okClicked);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_askGroup);
    layout->addWidget(m_setGroup);
    layout->addWidget(box);
    setMode(mode);
}

void PasswordWindow::setMode(Mode mode)
{
    m_mode = mode;
    m_askGroup->setVisible(mode == Mode::Ask);
    m_setGroup->setVisible(mode == Mode::Set);
}

void PasswordWindow::okClicked()
{
    if (m_mode == Mode::Ask) {
        if (!passwordrules::matches(m_entered->text(), m_record)) {
            m_op.information(passwordrules::mismatchText());
            m_entered->clear();
            return;
        }
        if (m_changing) {
            setMode(Mode::Set);
            return;
        }
        if (!m_confirming) {
            m_op.information(passwordrules::turnedOffText());
            m_turnedOff = true;
        }
        accept();
        return;
    }
    if (const auto refused = passwordrules::checkNew(m_password->text(), m_confirm->text())) {
        m_op.information(*refused);
        if (!m_password->text().isEmpty()) {
            m_password->clear();
            m_confirm->clear();
        }
        return;
    }
    if (m_changing)
        m_op.information(passwordrules::changedText());
    accept();
}

} // namespace vork
