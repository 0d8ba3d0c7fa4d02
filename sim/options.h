#pragma once

// The command line of tq36-sim.

#include "sim/simulator.h"

#include <array>
#include <string>

namespace lk58::sim {

struct FaultOption {
    bool on = false;
    int count = kEveryReply;
};

struct ProgramOptions {
    std::string link;   // symbolic link to the pty's slave
    std::string device; // serve this serial device instead of a pty
    std::string load;
    std::string save;
    bool verbose = false;
    bool pacing = true;
    bool help = false;
    int gapMs = 30;
    std::array<FaultOption, kFaultKinds> faults{}; // indexed by Fault
    unsigned kinds = kOnAny;
    int delayMs = 200;
    int splitAt = 0;
    int splitPauseMs = 30;
    int cutAt = 0;
    Bytes extra{0x00};
    double randomPercent = 0; // each fault on this share of the requests
    int seed = 1;
};

// Parses the arguments; false with `error` set on a usage error.
bool ParseOptions(int argc, char** argv, ProgramOptions& options, std::string& error);

std::string UsageText();

// One option as a port name gives it, NAME or NAME=VALUE, from the options
// that shape how the converter behaves (pacing, the gap, the faults and
// their parameters). False with `error` set for any other.
bool ApplyNamedOption(ProgramOptions& options, const std::string& name, const char* value, std::string& error);

// Applies the run-time options (pacing, gap, faults and their parameters).
void ApplyOptions(const ProgramOptions& options, Tq36Simulator& simulator);

} // namespace lk58::sim
