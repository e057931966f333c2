#include "monitor/ui/photoeyespanel.h"

#include "connection/connectionmanager.h"
#include "monitor/photoeyes.h"
#include "services/unitservices.h"
#include "unit/unittable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace vork {

namespace {
constexpr int lampX[3] = {0, 24, 47};
constexpr std::uint8_t eyeBits[3] = {PhotoEyes::eyeA, PhotoEyes::eyeB, PhotoEyes::eyeC};
constexpr int setSize = 4;
} // namespace

PhotoEyesPanel::PhotoEyesPanel(UnitServices &services, PhotoEyes &eyes, QWidget *parent)
    : QWidget(parent), m_services(services), m_eyes(eyes), m_unit(new QComboBox(this)),
      m_read(new QPushButton(QStringLiteral("Read PEs"), this)), m_continuous(new QPushButton(QStringLiteral("C"), this)),
      m_first(new QPushButton(QStringLiteral("Readers 0-3"), this)),
      m_second(new QPushButton(QStringLiteral("Readers 4-7"), this)), m_sets(new QStackedWidget(this))
{
    m_read->setCheckable(true);
    m_continuous->setCheckable(true);
    m_continuous->setToolTip(QStringLiteral("Continuous Mode"));
    m_continuous->setFixedWidth(32);

    for (int set = 0; set < 2; ++set) {
        auto *page = new QWidget(m_sets);
        auto *row = new QHBoxLayout(page);
        row->setContentsMargins(0, 0, 0, 0);
        for (int i = 0; i < setSize; ++i) {
            const int r = set * setSize + i;
            auto *panel = new QWidget(page);
            auto *column = new QVBoxLayout(panel);
            column->setContentsMargins(4, 0, 4, 0);
            column->addWidget(new QLabel(QStringLiteral("RDR %1").arg(r), panel));
            m_lamps[r] = new QLabel(panel);
            m_lamps[r]->setFixedSize(lampWidth, lampHeight);
            column->addWidget(m_lamps[r]);
            m_enable[r] = new QCheckBox(QStringLiteral("Enable view of LEDs"), panel);
            m_enable[r]->setChecked(true);
            column->addWidget(m_enable[r]);
            connect(m_enable[r], &QCheckBox::clicked, this, [this, r] {
                m_eyes.switchOff(r);
                m_shown[r] = 0;
                drawLamps();
            });
            m_panels[r] = panel;
            row->addWidget(panel);
        }
        row->addStretch(1);
        m_sets->addWidget(page);
    }

    auto *layout = new QGridLayout(this);
    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Unit"), this));
    controls->addWidget(m_unit);
    controls->addWidget(m_read);
    controls->addWidget(m_continuous);
    controls->addSpacing(12);
    controls->addWidget(m_first);
    controls->addWidget(m_second);
    controls->addStretch(1);
    layout->addLayout(controls, 0, 0);
    layout->addWidget(m_sets, 1, 0);
    layout->setRowStretch(2, 1);

    connect(m_first, &QPushButton::clicked, this, [this] { m_sets->setCurrentIndex(0); });
    connect(m_second, &QPushButton::clicked, this, [this] { m_sets->setCurrentIndex(1); });
    connect(m_read, &QPushButton::toggled, this, &PhotoEyesPanel::readToggled);
    connect(m_continuous, &QPushButton::toggled, this, &PhotoEyesPanel::continuousToggled);
    connect(m_unit, &QComboBox::currentIndexChanged, this, [this] {
        if (isVisible())
            shown();
    });
    connect(&eyes, &PhotoEyes::lampsChanged, this, &PhotoEyesPanel::drawLamps);
    // A single read's answer releases the button; so does anything that ends the read.
    connect(&eyes, &PhotoEyes::readFinished, this, [this] {
        const QSignalBlocker block(m_read);
        m_read->setChecked(false);
    });
    connect(&eyes, &PhotoEyes::readingChanged, this, [this](bool reading) {
        if (reading)
            return;
        const QSignalBlocker block(m_read);
        m_read->setChecked(false);
    });
    lampsOff();
    shown();
}

int PhotoEyesPanel::chosenReaders() const
{
    UnitTable &units = m_services.units();
    const int index = units.findByIP(m_unit->currentText());
    return index >= 0 ? PhotoEyes::readerCount(units.unit(index)) : 1;
}

void PhotoEyesPanel::shown()
{
    UnitTable &units = m_services.units();
    const udppack *current = units.current();
    const bool connected = current && m_services.connections().isOpen(current);
    m_read->setEnabled(connected || m_read->isChecked());
    m_continuous->setEnabled(m_read->isEnabled());

    const int readers = chosenReaders();
    m_enable[0]->setEnabled(readers > 1);
    for (int r = 0; r < readerPanels; ++r)
        m_panels[r]->setVisible(r == 0 || (r == 1 && readers > 1) || (r < 4 && readers > 2) || readers > 4);
    m_first->setVisible(readers > 4);
    m_second->setVisible(readers > 4);
    if (readers <= 4)
        m_sets->setCurrentIndex(0);
    lampsOff();
}

void PhotoEyesPanel::hidden()
{
    if (m_read->isChecked())
        m_read->setChecked(false);
}

void PhotoEyesPanel::readToggled(bool down)
{
    if (down) {
        if (!m_eyes.read(m_unit->currentText(), m_continuous->isChecked())) {
            const QSignalBlocker block(m_read);
            m_read->setChecked(false);
        }
        return;
    }
    m_eyes.release(m_continuous->isChecked());
    lampsOff();
}

void PhotoEyesPanel::continuousToggled(bool down)
{
    if (down || !m_read->isChecked())
        return;
    m_eyes.releaseContinuous();
    {
        const QSignalBlocker block(m_read);
        m_read->setChecked(false);
    }
    lampsOff();
}

void PhotoEyesPanel::lampsOff()
{
    for (int r = 0; r < readerPanels; ++r)
        m_shown[r] = 0;
    drawLamps();
}

void PhotoEyesPanel::drawLamps()
{
    for (int r = 0; r < readerPanels; ++r) {
        if (m_read->isChecked() && m_panels[r]->isVisibleTo(this) && m_enable[r]->isChecked())
            m_shown[r] = m_eyes.lamps(r);
        else if (!m_read->isChecked())
            m_shown[r] = 0;
        m_lamps[r]->setPixmap(QPixmap::fromImage(lampImage(r)));
    }
}

bool PhotoEyesPanel::lit(int reader, int eye) const
{
    if (reader < 0 || reader >= readerPanels || eye < 0 || eye > 2)
        return false;
    return m_shown[reader] & eyeBits[eye];
}

QImage PhotoEyesPanel::lampImage(int reader) const
{
    QImage image(lampWidth, lampHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int eye = 0; eye < 3; ++eye) {
        const bool on = lit(reader, eye);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(on ? QColor(0, 220, 0) : QColor(60, 60, 60));
        p.drawEllipse(QRectF(lampX[eye] + 1, 1, lampHeight - 2, lampHeight - 2));
    }
    return image;
}

} // namespace vork
