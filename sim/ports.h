#pragma once

#include "sim/uniquefd.h"

#include <string>

namespace lk58::sim {

// Puts a terminal into raw 4800 8N1 mode, no flow control, VMIN 1, VTIME 0.
// Throws std::system_error.
void ConfigureRawLine(int fd);

// Opens a serial device for the converter to serve (a null-modem cable to
// the configuration program's port): non-blocking, raw 4800 8N1, locked
// against a second simulator. Throws std::system_error naming the path.
UniqueFd OpenSerialDevice(const std::string& path);

} // namespace lk58::sim
