#pragma once

#include "discovery/setip.h"

#include <QWidget>

#include <array>

class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vork {

class FactoryReset;

// The "Set IP Address " tab of the discovery page: the unit's MAC in six
// boxes, its new address, mask and gateway, the progress of the change, and
// the factory-reset button.
class SetIpTab : public QWidget
{
    Q_OBJECT
public:
    SetIpTab(SetIp &setIp, FactoryReset &reset, QWidget *parent = nullptr);

    SetIp::Request request() const;
    QLineEdit *macBox(int i) const { return m_mac[std::size_t(i)]; }
    QLineEdit *ipField() const { return m_ip; }
    QComboBox *maskField() const { return m_mask; }
    QLineEdit *gatewayField() const { return m_gateway; }
    QPushButton *setButton() const { return m_set; }
    QPushButton *resetButton() const { return m_reset; }
    QPushButton *guideButton() const { return m_guide; }
    // "Guide Me" shows only once a guide answers its guideMeRequested.
    void setGuideAvailable(bool available);
    QProgressBar *progressBar() const { return m_progress; }

    // Brought forward: progress back to 0, focus into the first MAC box.
    void entered(bool guideShowing);

Q_SIGNALS:
    void guideMeRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    SetIp &m_setIp;
    FactoryReset &m_resetter;
    std::array<QLineEdit *, 6> m_mac{};
    QLineEdit *m_ip;
    QComboBox *m_mask;
    QLineEdit *m_gateway;
    QPushButton *m_set;
    QPushButton *m_reset;
    QPushButton *m_guide;
    QProgressBar *m_progress;
};

} // namespace vork
