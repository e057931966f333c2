#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace vork {

// SIGTERM, SIGINT and SIGHUP as a request to close, delivered on the main
// thread. The handler only writes the signal's number to one end of a socket
// pair (async-signal-safe); a notifier on the other end emits closeRequested().
// One instance at a time; the previous handlers come back when it goes.
class CloseSignals : public QObject
{
    Q_OBJECT
public:
    explicit CloseSignals(QObject *parent = nullptr);
    ~CloseSignals() override;
    CloseSignals(const CloseSignals &) = delete;
    CloseSignals &operator=(const CloseSignals &) = delete;

    // False when the handlers could not be installed; error() says why.
    bool isInstalled() const { return m_installed; }
    QString error() const { return m_error; }

    // The next signal emits closeRequested() once; until arm() is called
    // again, signals are swallowed (a second one while closing does nothing).
    // Signals that came before the first arm() count; later ones, while
    // disarmed, do not.
    void arm();
    bool isArmed() const { return m_armed; }

Q_SIGNALS:
    void closeRequested(int signalNumber);

private:
    void readPending();
    int drain();

    QSocketNotifier *m_notifier = nullptr;
    int m_fds[2] = {-1, -1};
    bool m_installed = false;
    bool m_armed = false;
    bool m_fired = false;
    QString m_error;
};

} // namespace vork
