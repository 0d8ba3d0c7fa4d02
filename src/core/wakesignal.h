#pragma once

// A wake-up that any thread signals with one system call and an event loop
// watches as a readable handle: the hand-over to the user-interface thread
// then needs no call into Qt from the signalling thread. One source file per
// platform implements it.
namespace lk58::platform {

class TWakeSignal {
public:
    TWakeSignal();
    ~TWakeSignal();
    TWakeSignal(const TWakeSignal&) = delete;
    TWakeSignal& operator=(const TWakeSignal&) = delete;
    bool Valid() const { return handle_ >= 0; }
    // For QSocketNotifier.
    long long Handle() const { return handle_; }
    void Signal();
    // Takes every signal so far; the handle is not readable afterwards.
    void Drain();

private:
    int handle_;
};

} // namespace lk58::platform
