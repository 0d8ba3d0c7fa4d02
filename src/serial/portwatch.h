#pragma once

// Hearing when serial devices come and go (a USB adapter plugged in or
// pulled), so that a list of ports can follow. Linux tells at once through
// inotify on the device folder; elsewhere the list is looked at once a
// second. Either way the call comes on the thread that made the watch,
// from its event loop; what changed is for the caller to find out.

#include <QObject>

#include <functional>
#include <memory>
#include <string>

namespace lk58 {

inline constexpr const char* kDeviceDir = "/dev";
inline constexpr int kPortPollMs = 1000;

// Calls `changed` whenever an entry of `dir` may have appeared or gone;
// falls back on WatchByPolling where the system cannot watch the folder.
// Destroying the watch stops it.
std::unique_ptr<QObject> WatchSerialDevices(const std::string& dir, std::function<void()> changed);

// Calls `changed` once every kPortPollMs.
std::unique_ptr<QObject> WatchByPolling(std::function<void()> changed);

} // namespace lk58
