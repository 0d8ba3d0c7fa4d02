#include "core/wakesignal.h"

#include <atomic>

#include <windows.h>

namespace lk58::platform {

namespace {

// A signal is one message posted to a message-only window of the thread
// that made the signal. The thread's event loop dispatches it among its
// other window messages (in a modal dialog's loop, or one of Windows' own,
// as well), straight from the signalling thread's post: no thread of a
// pool stands between the two, and as a message dispatched it ends a
// processEvents() that waits for more events, as an event handled there.
constexpr UINT kRaised = WM_APP + 0x58;

struct TState {
    HWND window = nullptr;
    std::atomic<bool> raised{false}; // a message is on its way
    std::function<void()> activated;
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp)
{
    if (message != kRaised)
        return ::DefWindowProcW(window, message, wp, lp);
    auto* state = reinterpret_cast<TState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (state && state->activated)
        state->activated();
    return 0;
}

const wchar_t* WindowClass()
{
    static const wchar_t* name = [] {
        WNDCLASSW c{};
        c.lpfnWndProc = WindowProc;
        c.hInstance = ::GetModuleHandleW(nullptr);
        c.lpszClassName = L"LK58WakeSignal";
        return ::RegisterClassW(&c) ? c.lpszClassName : nullptr;
    }();
    return name;
}

TState* StateOf(std::intptr_t handle)
{
    return reinterpret_cast<TState*>(handle);
}

} // namespace

TWakeSignal::TWakeSignal() : handle_(0)
{
    const DWORD saved = ::GetLastError();
    auto* state = new TState;
    if (const wchar_t* name = WindowClass())
        state->window = ::CreateWindowExW(0, name, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          ::GetModuleHandleW(nullptr), nullptr);
    if (state->window) {
        ::SetWindowLongPtrW(state->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        handle_ = reinterpret_cast<std::intptr_t>(state);
    } else {
        delete state;
    }
    ::SetLastError(saved);
}

TWakeSignal::~TWakeSignal()
{
    if (!Valid())
        return;
    // A message still on its way to the window is dropped with it.
    ::DestroyWindow(StateOf(handle_)->window);
    delete StateOf(handle_);
}

bool TWakeSignal::Valid() const
{
    return handle_ != 0;
}

void TWakeSignal::Signal()
{
    TState& state = *StateOf(handle_);
    if (state.raised.exchange(true))
        return; // the message on its way covers this signal too
    const DWORD saved = ::GetLastError();
    ::PostMessageW(state.window, kRaised, 0, 0);
    ::SetLastError(saved);
}

void TWakeSignal::Drain()
{
    StateOf(handle_)->raised = false;
}

void TWakeSignal::Watch(QObject*, std::function<void()> activated)
{
    StateOf(handle_)->activated = std::move(activated);
}

} // namespace lk58::platform
