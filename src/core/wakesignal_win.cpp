#include "core/wakesignal.h"

#include <QWinEventNotifier>

#include <windows.h>

namespace lk58::platform {

namespace {

HANDLE EventOf(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

// Manual reset: the event stays raised until the watching thread drains
// it, so a signal given while calls are being run is not lost.
TWakeSignal::TWakeSignal() : handle_(reinterpret_cast<std::intptr_t>(::CreateEventA(nullptr, TRUE, FALSE, nullptr)))
{
}

TWakeSignal::~TWakeSignal()
{
    if (Valid())
        ::CloseHandle(EventOf(handle_));
}

bool TWakeSignal::Valid() const
{
    return handle_ != 0;
}

void TWakeSignal::Signal()
{
    const DWORD saved = ::GetLastError();
    ::SetEvent(EventOf(handle_));
    ::SetLastError(saved);
}

void TWakeSignal::Drain()
{
    const DWORD saved = ::GetLastError();
    ::ResetEvent(EventOf(handle_));
    ::SetLastError(saved);
}

void TWakeSignal::Watch(QObject* parent, std::function<void()> activated)
{
    auto* notifier = new QWinEventNotifier(EventOf(handle_), parent);
    QObject::connect(notifier, &QWinEventNotifier::activated, parent,
                     [activated = std::move(activated)] { activated(); });
}

} // namespace lk58::platform
