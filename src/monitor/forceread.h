#pragma once

#include "connection/connectionmanager.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace vork {

class UnitServices;

// Makes a reader of a monitored unit behave as if it had read a label: once
// ("Force Read"), or in test mode repeatedly at an interval with the label
// counting up. The page's fields are held here; the widgets show them.
class ForceRead : public QObject
{
    Q_OBJECT
public:
    static constexpr int maxLabel = 16383;
    static constexpr int maxReader = 7;
    static constexpr int maxDelaySeconds = 99;
    static constexpr int commandAckSeconds = 3;
    static constexpr int blockAckSeconds = 10;
    // The test timer's interval for a delay of 0.
    static constexpr int fastestMs = 50;

    // How the last force ended.
    enum class Outcome {
        None,        // nothing sent: refused, declined or not started
        Forced,      // both acknowledgements came
        NotAccepted, // 'f' was not acknowledged (or the unit was gone)
        NotForced,   // the block was not acknowledged
    };

    explicit ForceRead(UnitServices &services, QObject *parent = nullptr);

    // The unit of the page's unit choice, by address.
    void setUnitAddress(const QString &ip) { m_ip = ip; }
    QString unitAddress() const { return m_ip; }
    void setReader(int reader);
    int reader() const { return m_reader; }
    void setLabel(int label);
    int label() const { return m_label; }
    void setDelay(int seconds);
    int delay() const { return m_delay; }
    void setInfiniteLoop(bool on) { m_infinite = on; }
    bool infiniteLoop() const { return m_infinite; }

    // The test-mode toggle pressed (armed: "Start Test") or released.
    void setTestMode(bool on);
    bool testMode() const { return m_testMode; }
    bool testRunning() const { return m_running; }
    // Stops a running test and releases the test-mode toggle.
    void stopTest();
    // "Don't ask again." was ticked, or test mode is on.
    bool noConfirmation() const { return m_noConfirmation; }

    // The "Force Read" button's caption: "Force Read", "Start Test" or "Stop Test".
    QString buttonCaption() const;
    // The button and the toggle are enabled only for a label above 0.
    bool canForce() const { return m_label > 0; }
    int timerIntervalMs() const { return m_timer.interval(); }
    Outcome lastOutcome() const { return m_outcome; }
    // How the acknowledgement wait that ended the last force ended.
    AckResult lastAnswer() const { return m_answer; }
    bool timerActive() const { return m_timer.isActive(); }

    // The "Force Read" button clicked.
    void force();

    // Shown when the MONITOR page may not be left while a test runs.
    static QString leaveRefusalText();
    static QString confirmationTitle() { return QStringLiteral("Force Read"); }
    static QString confirmationText(int label, const QString &address);

Q_SIGNALS:
    void labelChanged(int label);
    void forced(int label);
    // Test mode, the running test or the caption changed.
    void stateChanged();

private:
    bool checks();
    void startTest();
    void timerFired();
    void forceOnce();
    void failed(int label);

    UnitServices &m_services;
    QTimer m_timer;
    QString m_ip;
    int m_reader = 0;
    int m_label = 0;
    int m_delay = 5;
    bool m_infinite = false;
    bool m_testMode = false;
    bool m_running = false;
    bool m_noConfirmation = false;
    bool m_forcing = false;
    Outcome m_outcome = Outcome::None;
    AckResult m_answer = AckResult::Closed;
};

} // namespace vork
