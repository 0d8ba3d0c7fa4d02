#include "core/wakesignal.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace lk58::platform {

TWakeSignal::TWakeSignal() : handle_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TWakeSignal::~TWakeSignal()
{
    if (Valid())
        ::close(static_cast<int>(handle_));
}

bool TWakeSignal::Valid() const
{
    return handle_ >= 0;
}

void TWakeSignal::Signal()
{
    const int saved = errno;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto rc = ::write(static_cast<int>(handle_), &one, sizeof one);
    errno = saved;
}

void TWakeSignal::Drain()
{
    const int saved = errno;
    std::uint64_t count = 0;
    [[maybe_unused]] auto rc = ::read(static_cast<int>(handle_), &count, sizeof count);
    errno = saved;
}

void TWakeSignal::Watch(QObject* parent, std::function<void()> activated)
{
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(handle_), QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [activated = std::move(activated)] { activated(); });
}

} // namespace lk58::platform
