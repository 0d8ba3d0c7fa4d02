#include "serial/serialdevice_win.h"

namespace lk58::platform::win {

namespace {

// How long the event wait, held back by received bytes that nobody reads,
// pauses before it asks the driver again (see HoldsBack). The device link's
// tick is as long.
constexpr DWORD kHeldBackMs = 10;

// How long a wait that is being given up waits for the driver to let go
// of its record.
constexpr DWORD kAbortWaitMs = 2000;

// What the driver writes into while a wait is pending: it must stay where
// it is until the driver is done with it.
struct TWaitRecord {
    OVERLAPPED overlapped{};
    DWORD events = 0;
    THandle event; // manual reset, as WaitCommEvent wants
};

// The event thread's wait: WaitCommEvent on the port's handle, and a wake-up
// event that ends the wait from any thread (the pending WaitCommEvent then
// stays pending for the next call).
//
// Windows reports received data as an edge: once per arrival, never again
// for bytes left unread. Wine reports it as a level: a WaitCommEvent issued
// while unread bytes wait completes at once, again and again. A wait that
// completes at once is therefore checked against the input queue, and
// received data that is not new is held back: the wait then pauses until a
// read or purge takes bytes, a wake-up comes, or kHeldBackMs pass, so that
// unread bytes cost no busy loop and new ones are still reported.
class TCommEventWaiter : public TEventWaiter {
public:
    TCommEventWaiter(std::shared_ptr<TSharedPort> shared, std::unique_ptr<TWaitRecord> record, THandle wake)
        : shared_(std::move(shared)), record_(std::move(record)), wake_(std::move(wake))
    {
    }

    ~TCommEventWaiter() override
    {
        if (!pending_)
            return;
        {
            std::lock_guard lock(shared_->lock);
            if (shared_->handle != INVALID_HANDLE_VALUE)
                ::CancelIoEx(shared_->handle, &record_->overlapped);
        }
        // A driver that never lets go would write into freed memory: the
        // record is better lost than freed then.
        if (::WaitForSingleObject(record_->event.Get(), kAbortWaitMs) != WAIT_OBJECT_0)
            static_cast<void>(record_.release());
    }

    bool Wait(std::uint32_t& wakes) override
    {
        wakes = 0;
        if (heldBack_) {
            heldBack_ = false;
            // Readers signal the event only while the wait is held back;
            // bytes taken before it said so are seen in the count.
            shared_->heldBack.store(true);
            const HANDLE handles[] = {wake_.Get(), shared_->inputTakenEvent.Get()};
            const DWORD woke = shared_->inputTaken.load() != taken_
                                   ? WAIT_OBJECT_0 + 1
                                   : ::WaitForMultipleObjects(2, handles, FALSE, kHeldBackMs);
            shared_->heldBack.store(false);
            if (woke == WAIT_OBJECT_0)
                return true;
        }
        if (!pending_) {
            bool done = false;
            if (!Issue(done, wakes))
                return false;
            if (done)
                return true;
        }
        const HANDLE handles[] = {record_->event.Get(), wake_.Get()};
        switch (::WaitForMultipleObjects(2, handles, FALSE, INFINITE)) {
        case WAIT_OBJECT_0:
            pending_ = false;
            return Completed(wakes);
        case WAIT_OBJECT_0 + 1:
            return true;
        default:
            return false;
        }
    }

    void Wake() override { ::SetEvent(wake_.Get()); }

private:
    // Starts a WaitCommEvent; done when it completed at once (wakes then
    // holds what it reported).
    bool Issue(bool& done, std::uint32_t& wakes)
    {
        TWaitRecord& r = *record_;
        ::ResetEvent(r.event.Get());
        r.overlapped = OVERLAPPED{};
        r.overlapped.hEvent = r.event.Get();
        r.events = 0;
        std::unique_lock lock(shared_->lock);
        const HANDLE h = shared_->handle;
        if (h == INVALID_HANDLE_VALUE) {
            lock.unlock();
            ::SetLastError(ERROR_OPERATION_ABORTED); // the port closed: the thread is ending
            return false;
        }
        if (::WaitCommEvent(h, &r.events, &r.overlapped)) {
            done = true;
            wakes = r.events;
            if (HoldsBack(h, wakes)) {
                wakes &= ~kEvRxChar;
                heldBack_ = wakes == 0;
            }
            return true;
        }
        const DWORD error = ::GetLastError();
        lock.unlock();
        if (error != ERROR_IO_PENDING) {
            ::SetLastError(error);
            return false;
        }
        pending_ = true;
        return true;
    }

    bool Completed(std::uint32_t& wakes)
    {
        std::unique_lock lock(shared_->lock);
        const HANDLE h = shared_->handle;
        DWORD unused = 0;
        if (h == INVALID_HANDLE_VALUE) {
            lock.unlock();
            ::SetLastError(ERROR_OPERATION_ABORTED);
            return false;
        }
        // Waiting, although the event says the wait is over: Wine may
        // signal it a moment before the result is in place.
        if (!::GetOverlappedResult(h, &record_->overlapped, &unused, TRUE)) {
            DWORD error = ::GetLastError();
            // Wine aborts the wait of a line that hung up; the driver then
            // says what became of the line.
            DWORD flags = 0;
            if (error == ERROR_OPERATION_ABORTED && !::ClearCommError(h, &flags, nullptr))
                error = ::GetLastError();
            else
                shared_->strayErrors.fetch_or(flags);
            lock.unlock();
            ::SetLastError(error);
            return false;
        }
        wakes = record_->events;
        if (wakes & kEvRxChar)
            Measure(h); // what a later report is measured against
        return true;
    }

    // True when received data reported at once is not new: nothing was
    // taken from the input queue since the last report and it holds no
    // more bytes than then.
    bool HoldsBack(HANDLE h, std::uint32_t events)
    {
        if (!(events & kEvRxChar))
            return false;
        const unsigned takenBefore = taken_;
        const DWORD queueBefore = queue_;
        if (!Measure(h))
            return false;
        const bool fresh = (taken_ != takenBefore && queue_ > 0) || queue_ > queueBefore;
        return !fresh;
    }

    // Reads the input queue's count; the error flags this clears are kept
    // for the port's next error query.
    bool Measure(HANDLE h)
    {
        const DWORD saved = ::GetLastError();
        taken_ = shared_->inputTaken.load();
        DWORD flags = 0;
        COMSTAT status{};
        const bool ok = ::ClearCommError(h, &flags, &status);
        if (ok) {
            queue_ = status.cbInQue;
            shared_->strayErrors.fetch_or(flags);
        }
        ::SetLastError(saved);
        return ok;
    }

    std::shared_ptr<TSharedPort> shared_;
    std::unique_ptr<TWaitRecord> record_;
    THandle wake_; // auto reset: one wake-up ends one wait, also one not yet begun
    bool pending_ = false;
    bool heldBack_ = false;
    unsigned taken_ = 0;
    DWORD queue_ = 0;
};

} // namespace

bool TWinDevice::Start(TTransfer& transfer, bool reading, void* buffer, std::uint32_t length)
{
    if (!Ready())
        return false;
    const HANDLE event = transfer.event.Get();
    transfer.running = false;
    transfer.overlapped = OVERLAPPED{};
    transfer.overlapped.hEvent = event;
    if (!::ResetEvent(event))
        return false;
    DWORD done = 0;
    const BOOL finished = reading ? ::ReadFile(Handle(), buffer, length, &done, &transfer.overlapped)
                                  : ::WriteFile(Handle(), buffer, length, &done, &transfer.overlapped);
    const DWORD error = ::GetLastError();
    // A read takes bytes from the input queue now, or as they come.
    if (reading && (finished || error == ERROR_IO_PENDING))
        InputTaken();
    // Complete: not running, so nobody asks about its event (which the
    // system signals for a transfer that completes at once anyway).
    if (finished)
        return true;
    if (error == ERROR_IO_PENDING) {
        transfer.running = true;
        return true;
    }
    // Nothing is outstanding: a later wait must not wait for this transfer.
    ::SetEvent(event);
    ::SetLastError(error);
    return false;
}

bool TWinDevice::Finish(TTransfer& transfer, std::uint32_t& transferred)
{
    if (!Ready())
        return false;
    DWORD done = 0;
    const BOOL ok = ::GetOverlappedResult(Handle(), &transfer.overlapped, &done, TRUE);
    const DWORD error = ::GetLastError();
    ::SetEvent(transfer.event.Get());
    transfer.running = false;
    transferred = done;
    // Wine ends a transfer that its time-outs cut short with ERROR_TIMEOUT;
    // Windows completes it with the bytes that came. Either way it timed
    // out, and the count says how far it got.
    if (ok || error == ERROR_TIMEOUT)
        return true;
    ::SetLastError(error);
    return false;
}

bool TWinDevice::StartRead(void* buffer, std::uint32_t length)
{
    return Start(read_, true, buffer, length);
}

bool TWinDevice::FinishRead(std::uint32_t& transferred)
{
    const bool ok = Finish(read_, transferred);
    InputTaken();
    return ok;
}

bool TWinDevice::StartWrite(const void* buffer, std::uint32_t length)
{
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    writeBuffer_.assign(bytes, bytes + length);
    return Start(write_, false, writeBuffer_.data(), length);
}

bool TWinDevice::FinishWrite(std::uint32_t& transferred)
{
    const bool ok = Finish(write_, transferred);
    return ok;
}

std::unique_ptr<TEventWaiter> TWinDevice::CreateEventWaiter()
{
    if (!Ready())
        return nullptr;
    auto record = std::make_unique<TWaitRecord>();
    record->event = THandle(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    THandle wake(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!record->event || !wake)
        return nullptr;
    return std::make_unique<TCommEventWaiter>(shared_, std::move(record), std::move(wake));
}

} // namespace lk58::platform::win
