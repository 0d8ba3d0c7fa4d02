#include "core/wakesignal.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace lk58::platform {

TWakeSignal::TWakeSignal() : handle_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TWakeSignal::~TWakeSignal()
{
    if (handle_ >= 0)
        ::close(handle_);
}

void TWakeSignal::Signal()
{
    const int saved = errno;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto rc = ::write(handle_, &one, sizeof one);
    errno = saved;
}

void TWakeSignal::Drain()
{
    const int saved = errno;
    std::uint64_t count = 0;
    [[maybe_unused]] auto rc = ::read(handle_, &count, sizeof count);
    errno = saved;
}

} // namespace lk58::platform
