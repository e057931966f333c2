#include "core/closesignals.h"

#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vork {

namespace {

constexpr std::array<int, 3> closeSignals{SIGTERM, SIGINT, SIGHUP};
std::atomic<int> writeEnd{-1};
struct sigaction previous[closeSignals.size()];

extern "C" void onCloseSignal(int signo)
{
    const int saved = errno;
    const int fd = writeEnd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signo);
        // Non-blocking: with the pair full, requests are pending already.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

CloseSignals::CloseSignals(QObject *parent) : QObject(parent)
{
    if (writeEnd.load() >= 0) {
        m_error = QStringLiteral("close signals are taken already");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, m_fds) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    writeEnd.store(m_fds[0]);
    struct sigaction sa = {};
    sa.sa_handler = onCloseSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < closeSignals.size(); ++i)
        ::sigaction(closeSignals[i], &sa, &previous[i]);
    m_notifier = new QSocketNotifier(qintptr(m_fds[1]), QSocketNotifier::Read, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &CloseSignals::readPending);
    m_installed = true;
}

CloseSignals::~CloseSignals()
{
    if (!m_installed) {
        for (int fd : m_fds)
            if (fd >= 0)
                ::close(fd);
        return;
    }
    for (std::size_t i = 0; i < closeSignals.size(); ++i)
        ::sigaction(closeSignals[i], &previous[i], nullptr);
    writeEnd.store(-1);
    delete m_notifier;
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

void CloseSignals::arm()
{
    if (!m_installed)
        return;
    if (m_fired)
        drain();
    m_armed = true;
    m_notifier->setEnabled(true);
}

int CloseSignals::drain()
{
    int last = 0;
    unsigned char buf[64];
    // Bounded: the pair holds what came in; a flood cannot keep this going.
    for (int round = 0; round < 1024; ++round) {
        const ssize_t n = ::read(m_fds[1], buf, sizeof buf);
        if (n <= 0)
            break;
        last = buf[n - 1];
    }
    return last;
}

void CloseSignals::readPending()
{
    const int signo = drain();
    if (!m_armed || signo == 0)
        return;
    m_armed = false;
    m_fired = true;
    m_notifier->setEnabled(false);
    Q_EMIT closeRequested(signo);
}

} // namespace vork
