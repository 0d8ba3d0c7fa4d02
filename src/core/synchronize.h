#pragma once

#include <functional>

namespace lk58 {

// True on the thread of the QCoreApplication (the user-interface thread).
bool IsUiThread();

// Runs call on the user-interface thread and blocks the calling thread until
// it has run there; what the call throws is thrown again here. The call runs
// only when the user-interface thread processes its events (a modal dialog
// and a reply wait included). On the user-interface thread itself it runs
// at once. A call that can no longer run (no application, or the
// application went away first) throws std::future_error (broken_promise)
// without having run.
void Synchronize(std::function<void()> call);

// Blocks the user-interface thread until done() holds, running meanwhile
// the calls other threads hand over (and nothing else), so that a thread it
// waits for can still hand calls over. done is checked again after each
// such call and after each WakeUiWait.
void AwaitOnUiThread(const std::function<bool()>& done);
// Has a running AwaitOnUiThread check its condition again.
void WakeUiWait();

} // namespace lk58
