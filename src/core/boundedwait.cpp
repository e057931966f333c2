#include "core/boundedwait.h"

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace vork::wait {

void delay(int ms)
{
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void pump(int n)
{
    delay(n * 10);
}

bool until(const std::function<bool()> &done, int ms, int pollMs)
{
    if (done())
        return true;
    if (ms <= 0)
        return false;
    QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(qMax(1, pollMs));
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    // Check again before the loop goes back to sleep, right after the batch of events
    // that may have brought the reply, so it ends the wait at once and not at the next poll.
    QMetaObject::Connection awake, aboutToBlock;
    if (auto *dispatcher = QAbstractEventDispatcher::instance()) {
        const auto check = [&] {
            if (done())
                loop.quit();
        };
        awake = QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, &loop, check);
        aboutToBlock = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &loop, check);
    }
    poll.start();
    limit.start(ms);
    loop.exec();
    QObject::disconnect(awake);
    QObject::disconnect(aboutToBlock);
    return done();
}

} // namespace vork::wait
