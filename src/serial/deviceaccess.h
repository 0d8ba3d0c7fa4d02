#pragma once

// Who may use a serial device, as POSIX systems tell it: the lock files
// that programs of the UUCP tradition leave for a port they use, and the
// group a user may join to open a device. POSIX only.

#include <optional>
#include <string>

namespace lk58::platform {

// A port's lock file ("LCK..ttyUSB0" in /var/lock, or in the folder that
// LK58_LOCK_DIR names) that names a process that still runs.
struct TPortLock {
    long pid = 0;
    std::string file;    // the lock file's path
    std::string program; // the process's name, empty when it cannot be read
};

// The live lock of `device`, if any. A lock whose process is gone (or that
// names no process) is stale: nobody uses the port through it.
std::optional<TPortLock> LivePortLock(const std::string& device);

// How the permissions of a device node let users in.
struct TDeviceAccess {
    std::string group; // the node's group
    unsigned mode = 0; // its permission bits
    // Joining `group` opens the device: it is a group for devices (dialout,
    // uucp, tty, plugdev) that may read and write it. Otherwise only an
    // administrator can let the user in (a udev rule).
    bool joinGroup = false;
};

// The access of `device`; where the node cannot be read, dialout, the
// serial ports' group on Debian.
TDeviceAccess DeviceAccess(const std::string& device);

} // namespace lk58::platform
