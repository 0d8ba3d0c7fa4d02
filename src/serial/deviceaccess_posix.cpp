#include "serial/deviceaccess.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lk58::platform {

namespace {

std::string LockDir()
{
    const char* dir = std::getenv("LK58_LOCK_DIR");
    return dir && *dir ? dir : "/var/lock";
}

// The names a lock of `device` may have: after the device's own name
// (a link such as /dev/serial/by-id/... leads to it), "LCK..ttyUSB0", and
// for a node in a folder of /dev also its path there with '_' for '/'
// ("LCK..pts_3").
std::vector<std::string> LockNames(const std::string& device)
{
    std::string path = device;
    if (char* real = ::realpath(device.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    std::vector<std::string> names;
    names.push_back(path.substr(path.rfind('/') + 1));
    if (path.rfind("/dev/", 0) == 0) {
        std::string inDev = path.substr(5);
        for (char& c : inDev)
            if (c == '/')
                c = '_';
        if (inDev != names.front())
            names.push_back(inDev);
    }
    if (const std::string given = device.substr(device.rfind('/') + 1); given != names.front())
        names.push_back(given);
    return names;
}

// The process id a lock file holds: ten ASCII digits and a line end, or
// (older programs) the binary int of the machine. 0 when it holds neither.
long LockPid(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::array<char, 64> bytes{};
    in.read(bytes.data(), bytes.size());
    const auto n = static_cast<std::size_t>(in.gcount());
    auto text = [](char c) { return (c >= '0' && c <= '9') || c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    if (n == sizeof(int) && !std::all_of(bytes.begin(), bytes.begin() + n, text)) {
        int pid = 0;
        std::copy_n(bytes.data(), sizeof pid, reinterpret_cast<char*>(&pid));
        return pid;
    }
    const std::string s(bytes.data(), n);
    char* end = nullptr;
    const long pid = std::strtol(s.c_str(), &end, 10);
    if (end == s.c_str() || pid <= 0 || pid == LONG_MAX)
        return 0;
    for (; *end; ++end)
        if (!text(*end))
            return 0;
    return pid;
}

bool Runs(long pid)
{
    // This process writes no lock files: one naming it is older than it.
    if (pid <= 0 || pid == static_cast<long>(::getpid()))
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string ProgramName(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

} // namespace

std::optional<TPortLock> LivePortLock(const std::string& device)
{
    const int saved = errno;
    std::optional<TPortLock> found;
    for (const std::string& name : LockNames(device)) {
        const std::string file = LockDir() + "/LCK.." + name;
        if (const long pid = LockPid(file); Runs(pid)) {
            found = TPortLock{pid, file, ProgramName(pid)};
            break;
        }
    }
    errno = saved;
    return found;
}

TDeviceAccess DeviceAccess(const std::string& device)
{
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return {"dialout", 0660, true};
    TDeviceAccess access;
    access.mode = st.st_mode & 07777;
    group g{};
    group* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getgrgid_r(st.st_gid, &g, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        access.group = found->gr_name;
    else
        access.group = std::to_string(st.st_gid);
    // Groups such as root, disk or a user's own hold more than devices:
    // nobody should join them to reach a port.
    const bool deviceGroup = access.group == "dialout" || access.group == "uucp" || access.group == "tty"
                             || access.group == "plugdev";
    access.joinGroup = deviceGroup && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    return access;
}

} // namespace lk58::platform
