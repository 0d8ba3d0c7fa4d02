#pragma once

// The simulated converter as a port of the serial layer, on every system.
// A port named "sim:ID?OPTION&OPTION..." opens the simulated TQ36 called
// ID (any letters, digits, '-', '_' and '.'; empty is a name too) inside
// the process, which lasts until the process ends: its settings outlive a
// close of the port, and a second port cannot open it while one holds it.
// The options are those of tq36-sim that shape the converter's behaviour,
// without their dashes ("sim:?silent", "sim:b?late=1&faults-on=ping"); a
// name with options sets the behaviour anew on every open, a name without
// leaves it as it was. "file=PATH" keeps the settings in a block file:
// read on every open where the file exists, written after every change, so
// that the next process meets them again.

#include "sim/memoryline.h"
#include "sim/simulator.h"

#include <memory>
#include <string>
#include <vector>

namespace lk58::sim {

inline constexpr const char* kSimPortPrefix = "sim:";

// Makes "sim:" names open simulated converters; called at start-up by the
// programs and the tests. Calling it again changes nothing.
void RegisterSimulatedPorts();

// The converter behind a port name (made on first use), for tests that set
// its faults or read its log. Throws std::invalid_argument for a name that
// is not a simulated port's.
Tq36Simulator& SimulatedConverter(const std::string& portName);

// A line whose far end a test plays itself, without a simulator, under a
// port name that is not in use yet. Throws std::invalid_argument otherwise.
std::shared_ptr<MemoryLine> PlayedLine(const std::string& portName);

// A port name that no converter of this process has had yet, such as
// "sim:t4", for tests that want a converter of their own.
std::string NewSimulatedPortName();

// The ports whose converter took a write in this process while no block
// file kept it: their settings go when the process ends.
std::vector<std::string> UnkeptChanges();

} // namespace lk58::sim
