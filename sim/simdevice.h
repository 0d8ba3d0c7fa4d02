#pragma once

// The serial layer's device on a line inside the process: the port's end of
// a MemoryLine, with the semantics of the Windows communications calls as
// every device of the layer has them.

#include "serial/serialdevice.h"
#include "sim/memoryline.h"

#include <atomic>
#include <functional>
#include <memory>

namespace lk58::sim {

// Finds the line for a port name; nullptr with the platform error set when
// the name opens none.
using LineFinder = std::function<std::shared_ptr<MemoryLine>(const std::string& name)>;

std::unique_ptr<platform::TSerialDevice> MakeLineDevice(LineFinder find);

// The time a byte takes with a line state record: start bit, data bits,
// parity bit and stop bits at the record's rate; nothing without a rate.
std::optional<Clock::duration> ByteTimeOf(const TDcb& dcb);

} // namespace lk58::sim
