#pragma once

// Looking for the converter on many ports at once: each port is pinged on a
// thread of its own, straight on the serial layer (the device link works
// on the user-interface thread, one port at a time), with the handshake's
// ping: the request, a 25 ms pause before each attempt, 150 ms for the
// reply, at most 10 attempts. A port that another program holds through
// flock, TIOCEXCL or a live UUCP lock file is reported busy and left
// alone: its open fails before anything is sent. A program that holds its
// port by none of these cannot be seen, and its port is pinged.

#include "serial/comtypes.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lk58 {

enum class TProbeOutcome {
    Answered,  // a valid ping reply came
    Silent,    // no valid reply within the attempts
    Busy,      // another program holds the port
    NotOpened, // the port would not open or take the line settings
    Cancelled, // stopped before an answer
};

// A probe's outcome and, for a port that was busy or would not open, the
// platform's error code behind it (0 where the system gave none).
struct TProbeResult {
    TProbeOutcome outcome = TProbeOutcome::Cancelled;
    int error = 0;
};

// Writes the converter's line settings into the state the driver reported.
using TLineSetup = std::function<void(TDcb& dcb)>;

// Pings one port on the calling thread. `cancel` is looked at between
// reads, at least every kProbeSliceMs.
TProbeResult ProbePort(const std::string& port, const TLineSetup& setup, const std::atomic<bool>& cancel);
inline constexpr int kProbeSliceMs = 50;

// One probe thread per port, all started at once. Results are handed to
// `onResult` on the probe's thread, in the order they come. Destroying the
// search cancels what still runs and waits for every thread, whose ports
// are then closed.
class TPortSearch {
public:
    using TOnResult = std::function<void(std::size_t index, TProbeResult result)>;
    TPortSearch(const std::vector<std::string>& ports, TLineSetup setup, TOnResult onResult);
    ~TPortSearch();
    TPortSearch(const TPortSearch&) = delete;
    TPortSearch& operator=(const TPortSearch&) = delete;

    // The probes still running stop within kProbeSliceMs and report
    // Cancelled.
    void Cancel() { cancel_ = true; }
    // Waits until every probe has ended and closed its port.
    void Join();

private:
    TLineSetup setup_;
    TOnResult onResult_;
    std::atomic<bool> cancel_{false};
    std::vector<std::thread> threads_;
};

} // namespace lk58
