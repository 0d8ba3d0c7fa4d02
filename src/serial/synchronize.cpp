#include "serial/synchronize.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <mutex>

namespace lk58 {

namespace {

// The pending calls wait in a queue of our own, guarded by a standard mutex;
// only a wake-up without any data goes through Qt's event queue. This keeps
// the hand-over visible to ThreadSanitizer, which cannot see Qt's locks:
// the wake-up is allocated under our mutex and never read by our code, and
// the receiver takes the mutex before Qt deletes it.
class THandOver : public QObject {
public:
    static QEvent::Type WakeType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

protected:
    // Only wake-ups are ever posted to this object.
    void customEvent(QEvent*) override { RunPending(); }

private:
    static void RunPending();
};

// One call handed over. Its error is published under the mutex and taken
// out by the caller, so the caller always holds the last reference to it.
struct TCall {
    std::function<void()> run;
    std::exception_ptr error;
    bool done = false;
};

struct TPending {
    std::mutex lock;
    std::condition_variable finished;
    std::deque<std::shared_ptr<TCall>> calls;
    THandOver* receiver = nullptr;
};

TPending& Pending()
{
    static TPending pending;
    return pending;
}

void Finish(TCall& call, std::exception_ptr error)
{
    {
        std::lock_guard lock(Pending().lock);
        call.error = std::move(error);
        call.done = true;
    }
    Pending().finished.notify_all();
}

void THandOver::RunPending()
{
    for (;;) {
        std::shared_ptr<TCall> call;
        {
            std::lock_guard lock(Pending().lock);
            if (Pending().calls.empty())
                return;
            call = std::move(Pending().calls.front());
            Pending().calls.pop_front();
        }
        std::exception_ptr error;
        try {
            call->run();
        } catch (...) {
            error = std::current_exception();
        }
        Finish(*call, std::move(error));
    }
}

// Called when the application is destroyed: the calls that can no longer
// run release their callers with broken_promise.
void DropPending()
{
    std::deque<std::shared_ptr<TCall>> dropped;
    {
        std::lock_guard lock(Pending().lock);
        dropped.swap(Pending().calls);
    }
    for (const auto& call : dropped)
        Finish(*call, std::make_exception_ptr(std::future_error(std::future_errc::broken_promise)));
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
    auto pending = std::make_shared<TCall>();
    pending->run = std::move(call);
    std::exception_ptr error;
    {
        std::unique_lock lock(Pending().lock);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            throw std::future_error(std::future_errc::broken_promise);
        Pending().calls.push_back(pending);
        QCoreApplication::postEvent(Receiver(app), new QEvent(THandOver::WakeType()));
        Pending().finished.wait(lock, [&] { return pending->done; });
        error = std::move(pending->error);
    }
    if (error)
        std::rethrow_exception(error);
}

} // namespace lk58
