#pragma once

#include <exception>
#include <functional>
#include <stdexcept>

namespace lk58 {

// The silent abort: ends the handler it escapes from without any message.
class EAbort : public std::runtime_error {
public:
    EAbort() : std::runtime_error("Operation aborted") {}
};

// Installs the general error box: called with whatever escaped a handler
// (never EAbort), on the user-interface thread when there is one (an error
// on another thread is handed over there and waits until shown), else on
// the failing thread. Without one, errors go to stderr.
void SetExceptionHandler(std::function<void(std::exception_ptr)> handler);

// Hands an error that escaped a handler to the general error box; EAbort
// and an empty pointer are ignored.
void HandleException(std::exception_ptr error) noexcept;

// Runs an event handler and hands anything it throws to HandleException, so
// that no exception ever reaches Qt's event dispatch.
template <class F>
void Guarded(F&& f) noexcept
{
    try {
        std::forward<F>(f)();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

} // namespace lk58
