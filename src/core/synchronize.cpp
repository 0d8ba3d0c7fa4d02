#include "core/synchronize.h"

#include "core/wakesignal.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace lk58 {

namespace {

// The pending calls wait in a queue of our own, guarded by a standard mutex,
// and the calling thread wakes the user-interface thread with one system
// call on a wake-up handle that its event loop watches. The calling thread
// never calls into Qt, whose locks ThreadSanitizer cannot see, so the whole
// hand-over stays visible to it.
class THandOver : public QObject {
public:
    explicit THandOver(QObject* parent);
    ~THandOver() override;
    bool Valid() const { return wake_.Valid(); }
    void Wake() { wake_.Signal(); }

private:
    void RunPending();

    platform::TWakeSignal wake_;
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
    std::condition_variable arrived; // a call was handed over, or WakeUiWait
    std::deque<std::shared_ptr<TCall>> calls;
    THandOver* receiver = nullptr; // owned by the application object
    std::atomic<std::thread::id> uiThread{};
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

THandOver::THandOver(QObject* parent) : QObject(parent)
{
    if (wake_.Valid()) {
        wake_.Watch(this, [this] {
            wake_.Drain();
            RunPending();
        });
    }
}

THandOver::~THandOver()
{
    std::lock_guard lock(Pending().lock);
    if (Pending().receiver == this)
        Pending().receiver = nullptr;
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
        Pending().receiver = nullptr; // deleted with the application's children
        Pending().uiThread = std::thread::id();
    }
    for (const auto& call : dropped)
        Finish(*call, std::make_exception_ptr(std::future_error(std::future_errc::broken_promise)));
}

// Runs on the user-interface thread as each application object is made.
void PrepareHandOver()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return;
    std::lock_guard lock(Pending().lock);
    if (Pending().receiver)
        return;
    auto* receiver = new THandOver(app);
    if (!receiver->Valid()) {
        delete receiver;
        return;
    }
    Pending().receiver = receiver;
    Pending().uiThread = std::this_thread::get_id();
    qAddPostRoutine(DropPending);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(PrepareHandOver)

bool IsUiThread()
{
    const std::thread::id ui = Pending().uiThread.load();
    if (ui != std::thread::id())
        return ui == std::this_thread::get_id();
    const QCoreApplication* app = QCoreApplication::instance(); // not prepared yet
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
        if (!Pending().receiver)
            throw std::future_error(std::future_errc::broken_promise);
        Pending().calls.push_back(pending);
        Pending().receiver->Wake();
        Pending().arrived.notify_all();
        Pending().finished.wait(lock, [&] { return pending->done; });
        error = std::move(pending->error);
    }
    if (error)
        std::rethrow_exception(error);
}

void AwaitOnUiThread(const std::function<bool()>& done)
{
    std::unique_lock lock(Pending().lock);
    while (!done()) {
        if (Pending().calls.empty()) {
            Pending().arrived.wait(lock);
            continue;
        }
        const std::shared_ptr<TCall> call = std::move(Pending().calls.front());
        Pending().calls.pop_front();
        lock.unlock();
        std::exception_ptr error;
        try {
            call->run();
        } catch (...) {
            error = std::current_exception();
        }
        Finish(*call, std::move(error));
        lock.lock();
    }
}

void WakeUiWait()
{
    std::lock_guard lock(Pending().lock);
    Pending().arrived.notify_all();
}

} // namespace lk58
