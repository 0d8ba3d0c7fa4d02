#pragma once

// A simulator and the program's side of its line in their simplest form:
// whole requests written, replies read with a time limit. The line is a
// pseudo-terminal on POSIX and the line inside the process on Windows,
// there as quick as a pseudo-terminal (one file per platform).

#include "core/bytes.h"
#include "sim/simulator.h"

#include <chrono>
#include <memory>

namespace lk58::test {

class TClientLine {
public:
    TClientLine(); // the simulator made, not started
    ~TClientLine();
    TClientLine(const TClientLine&) = delete;
    TClientLine& operator=(const TClientLine&) = delete;

    Tq36Simulator& Sim();
    void Write(const Bytes& bytes);
    // Reads until `count` bytes came or `limit` passed; returns what came.
    Bytes Read(std::size_t count, std::chrono::milliseconds limit);
    // Everything that arrives until the line has been quiet for `quiet`.
    Bytes ReadUntilQuiet(std::chrono::milliseconds quiet)
    {
        Bytes out;
        for (Bytes more; !(more = Read(4096, quiet)).empty();)
            out.insert(out.end(), more.begin(), more.end());
        return out;
    }

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

} // namespace lk58::test
