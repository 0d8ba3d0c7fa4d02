#pragma once

// The program's side of the line in its simplest form: the slave of a pty
// opened raw, whole requests written, replies read with a time limit.

#include "core/bytes.h"
#include "hexbytes.h"
#include "sim/uniquefd.h"

#include <chrono>
#include <string>

namespace lk58::test {

class RawClient {
public:
    // Opens a port raw; throws std::runtime_error.
    explicit RawClient(const std::string& path);
    // Talks through a descriptor already open (a pty master, non-blocking).
    explicit RawClient(UniqueFd fd) : fd_(std::move(fd)) {}
    void Write(const Bytes& bytes);
    // Reads until `count` bytes came or `limit` passed; returns what came.
    Bytes Read(std::size_t count, std::chrono::milliseconds limit);
    // Everything that arrives until the line has been quiet for `quiet`.
    Bytes ReadUntilQuiet(std::chrono::milliseconds quiet);
    void Close() { fd_.Reset(); }

private:
    UniqueFd fd_;
};

} // namespace lk58::test
