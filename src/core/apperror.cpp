#include "core/apperror.h"

#include "core/synchronize.h"

#include <QCoreApplication>

#include <cstdio>
#include <mutex>

namespace lk58 {

namespace {

std::mutex handlerLock;

std::function<void(std::exception_ptr)>& Handler()
{
    static std::function<void(std::exception_ptr)> handler;
    return handler;
}

void PrintToStderr(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "LK58: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "LK58: unknown error\n");
    }
}

void Show(std::exception_ptr error) noexcept
{
    std::function<void(std::exception_ptr)> handler;
    {
        std::lock_guard lock(handlerLock);
        handler = Handler();
    }
    try {
        if (handler)
            handler(error);
        else
            PrintToStderr(error);
    } catch (...) {
        // The error box itself failed: nothing is left to show it.
        PrintToStderr(std::current_exception());
    }
}

} // namespace

void SetExceptionHandler(std::function<void(std::exception_ptr)> handler)
{
    std::lock_guard lock(handlerLock);
    Handler() = std::move(handler);
}

void HandleException(std::exception_ptr error) noexcept
{
    if (!error)
        return;
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return;
    } catch (...) {
    }
    // The error box belongs to the user-interface thread (Qt aborts on a
    // dialog built elsewhere): an error from another thread is handed over.
    if (!IsUiThread() && QCoreApplication::instance()) {
        try {
            Synchronize([error] { Show(error); });
        } catch (...) {
            PrintToStderr(error); // the application is going away
        }
        return;
    }
    Show(error);
}

} // namespace lk58
