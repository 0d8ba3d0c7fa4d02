#pragma once

#include <cstdint>
#include <functional>

class QObject;

// A wake-up that any thread signals with one system call and an event loop
// watches: the hand-over to the user-interface thread then needs no call
// into Qt from the signalling thread. One source file per platform
// implements it (an eventfd, a Win32 event).
namespace lk58::platform {

class TWakeSignal {
public:
    TWakeSignal();
    ~TWakeSignal();
    TWakeSignal(const TWakeSignal&) = delete;
    TWakeSignal& operator=(const TWakeSignal&) = delete;
    bool Valid() const;
    void Signal();
    // Takes every signal so far; the watch does not fire for them again.
    void Drain();
    // Calls activated on the event loop of the thread that made the signal
    // (call it there, once) whenever the signal is raised, until activated
    // drains it; parent owns the signal, and the watch ends with either.
    void Watch(QObject* parent, std::function<void()> activated);

private:
    std::intptr_t handle_;
};

} // namespace lk58::platform
