#pragma once

// What the simulator's serving, faults and request log share: its state
// behind the mutex, and a reply as planned.

#include "sim/line.h"
#include "sim/protocol.h"
#include "sim/simulator.h"

#include <array>
#include <chrono>
#include <random>
#include <string>
#include <vector>

namespace lk58 {

namespace sim {
struct FaultSlot {
    int count = 0; // 0 off, kEveryReply for ever
    unsigned kinds = kOnAny;
};
} // namespace sim

struct Tq36Simulator::State {
    Tq36Block block = DefaultBlock();
    SimCounters counters;
    std::vector<RequestRecord> log;
    std::vector<WriteRecord> writes;
    std::array<sim::FaultSlot, kFaultKinds> faults;
    bool pacing = true;
    std::chrono::milliseconds gap{30};
    std::chrono::milliseconds delay{200};
    std::size_t splitAt = 0;
    std::chrono::milliseconds splitPause{30};
    Bytes extra{0x00};
    std::size_t cutKeep = 0;
    // A late or surplus reply waiting for the next request.
    Bytes stray;
    std::mt19937 random;
    double randomRate = 0;
    unsigned randomKinds = kOnAny;
    unsigned randomFaults = kAllFaults;
    unsigned drawn = 0; // the random faults the current request meets
    // Touched by the simulator's thread only.
    sim::RequestFramer framer;
    sim::Clock::time_point lastByte;
    sim::Clock::time_point requestStart; // when the first byte of the current request came
};

struct Tq36Simulator::Reply {
    Bytes stray; // a late or surplus reply to the request before, sent first
    Bytes bytes; // empty: no reply
    bool late = false;    // held back for the next request instead of sent
    bool surplus = false; // sent, and once more before the next reply
    std::string meaning;
    std::size_t splitAt = 0;
    std::chrono::milliseconds splitPause{0};
    std::chrono::milliseconds delay{0};
    bool pacing = true;
    // With pacing, the reply waits until the request itself could have
    // crossed a 4800-baud line: a pty delivers it at once.
    sim::Clock::time_point notBefore;
};

} // namespace lk58
