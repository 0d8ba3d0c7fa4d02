#include "serial/portwatch.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

namespace lk58 {
namespace {

// The kernel makes and removes a device's node in /dev as the device comes
// and goes (devtmpfs), and inotify reports both: no polling.
class TInotifyWatch : public QObject {
public:
    TInotifyWatch(int fd, std::function<void()> changed) : fd_(fd), changed_(std::move(changed))
    {
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });
    }
    ~TInotifyWatch() override
    {
        delete notifier_;
        ::close(fd_);
    }

private:
    void Drain()
    {
        std::array<char, 4096> events{};
        bool any = false;
        for (;;) {
            const ssize_t n = ::read(fd_, events.data(), events.size());
            if (n > 0) {
                any = true;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            break; // EAGAIN: all read
        }
        if (any)
            changed_();
    }

    int fd_;
    std::function<void()> changed_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace

std::unique_ptr<QObject> WatchSerialDevices(const std::string& dir, std::function<void()> changed)
{
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return WatchByPolling(std::move(changed));
    if (inotify_add_watch(fd, dir.c_str(), IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) < 0) {
        ::close(fd);
        return WatchByPolling(std::move(changed));
    }
    return std::make_unique<TInotifyWatch>(fd, std::move(changed));
}

} // namespace lk58
