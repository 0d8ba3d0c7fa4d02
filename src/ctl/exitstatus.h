#pragma once

#include <QString>

#include <algorithm>

namespace lk58::ctl {

// The program's exit status. Over several ports the worst (highest) wins.
enum class TExit : int {
    Ok = 0,
    Differences = 1, // diff only, as diff(1)
    Usage = 2,       // usage error or bad file: nothing written
    NoPort = 3,      // a port cannot be opened
    NoAnswer = 4,    // no answer, a write not acknowledged, read-back failed, interrupted
};

inline TExit Worst(TExit a, TExit b)
{
    return static_cast<TExit>(std::max(static_cast<int>(a), static_cast<int>(b)));
}

// A failure that ends the work (of the program, or of one port) with its
// status and a one-line reason.
struct TFailure {
    TExit status;
    QString message;
    int code = 0; // the system's error code behind it, 0 for none
};

} // namespace lk58::ctl
