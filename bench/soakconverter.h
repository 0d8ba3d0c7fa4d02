#pragma once

// The converter a soak runs against, and the port that reaches it: on
// POSIX a simulator serving a pseudo-terminal, as a cable would; on Windows
// the simulated converter inside the process, on a "sim:" port. Either is
// serving when made.
#include "sim/simulator.h"

#include <memory>
#include <string>

class TSoakConverter {
public:
    TSoakConverter();
    ~TSoakConverter();
    lk58::Tq36Simulator& Sim();
    std::string PortName() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

// The process's resident memory in KiB, 0 where it cannot be told.
long ResidentKiB();
