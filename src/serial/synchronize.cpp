#include "serial/synchronize.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <deque>
#include <future>
#include <mutex>

namespace lk58 {

namespace {

// The pending calls wait in a queue of our own, guarded by a standard mutex;
// only a wake-up without any data goes through Qt's event queue. This keeps
// the hand-over visible to ThreadSanitizer, which cannot see Qt's locks.
class THandOver : public QObject {
public:
    static QEvent::Type WakeType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    bool event(QEvent* e) override
    {
        if (e->type() != WakeType())
            return QObject::event(e);
        RunPending();
        return true;
    }

    static void RunPending();
};

struct TPending {
    std::mutex lock;
    std::deque<std::packaged_task<void()>> calls;
    THandOver* receiver = nullptr;
};

TPending& Pending()
{
    static TPending pending;
    return pending;
}

void THandOver::RunPending()
{
    for (;;) {
        std::packaged_task<void()> call;
        {
            std::lock_guard lock(Pending().lock);
            if (Pending().calls.empty())
                return;
            call = std::move(Pending().calls.front());
            Pending().calls.pop_front();
        }
        call(); // stores what the call throws in its future
    }
}

// Called when the application is destroyed: the calls that can no longer
// run are destroyed, which releases their callers with broken_promise.
void DropPending()
{
    std::deque<std::packaged_task<void()>> dropped;
    std::lock_guard lock(Pending().lock);
    dropped.swap(Pending().calls);
}

// Lives for the whole process; created on first use, owned by the
// application's thread. Caller holds Pending().lock.
THandOver* Receiver(QCoreApplication* app)
{
    TPending& p = Pending();
    if (!p.receiver) {
        p.receiver = new THandOver;
        p.receiver->moveToThread(app->thread());
        qAddPostRoutine(DropPending);
    }
    return p.receiver;
}

} // namespace

bool IsUiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void Synchronize(std::function<void()> call)
{
    if (IsUiThread()) {
        call();
        return;
    }
    std::packaged_task<void()> task(std::move(call));
    std::future<void> done = task.get_future();
    {
        std::lock_guard lock(Pending().lock);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            throw std::future_error(std::future_errc::broken_promise);
        Pending().calls.push_back(std::move(task));
        QCoreApplication::postEvent(Receiver(app), new QEvent(THandOver::WakeType()));
    }
    done.get();
}

} // namespace lk58
