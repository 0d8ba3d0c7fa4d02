#include "soakconverter.h"

#include "sim/simport.h"

#include <windows.h>
#include <psapi.h>

using namespace lk58;

namespace {
const std::string kPort = "sim:soak";
}

// The converter lives as long as the process; it is stopped with it.
struct TSoakConverter::TImpl {};

TSoakConverter::TSoakConverter()
{
    sim::RegisterSimulatedPorts();
}

TSoakConverter::~TSoakConverter() = default;

Tq36Simulator& TSoakConverter::Sim()
{
    return sim::SimulatedConverter(kPort);
}

std::string TSoakConverter::PortName() const
{
    return kPort;
}

long ResidentKiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return long(counters.WorkingSetSize / 1024);
}
