#include "serial/portwatch.h"

#include <QTimer>

namespace lk58 {

std::unique_ptr<QObject> WatchByPolling(std::function<void()> changed)
{
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(kPortPollMs);
    QObject::connect(timer.get(), &QTimer::timeout, timer.get(), std::move(changed));
    timer->start();
    return timer;
}

} // namespace lk58
