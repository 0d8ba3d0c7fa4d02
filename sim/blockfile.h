#pragma once

// The settings block as a readable text file: one line a parameter,
// "NN XXXX  |ab|": the parameter number (decimal), its word (hex) and the
// word's two bytes as characters ('.' where not printable). Lines that are
// empty or start with '#' are comments; the characters are not read back.

#include "sim/simulator.h"

#include <optional>
#include <string>

namespace lk58 {

std::string FormatBlock(const Tq36Block& block);

// Every parameter 1..64 exactly once. On failure returns nothing and sets
// `error` to "line N: what is wrong".
std::optional<Tq36Block> ParseBlock(const std::string& text, std::string& error);

// Both return false with `error` naming the file and the fault.
bool LoadBlockFile(const std::string& path, Tq36Block& block, std::string& error);
// Writes a temporary file beside `path` and renames it over, so a reader
// never sees half a block.
bool SaveBlockFile(const std::string& path, const Tq36Block& block, std::string& error);

} // namespace lk58
