#pragma once

// The demo converter: the simulated TQ36 inside the program, on a port of
// its own that keeps the line's pace, so that the window can be tried
// without hardware, on every system.

#include <memory>
#include <string>

namespace lk58 {

class TDemoConverter {
public:
    virtual ~TDemoConverter() = default;
    // The port to open, "sim:".
    virtual std::string Port() const = 0;
};

// True where a demo converter can run.
bool DemoAvailable();
// Starts one; throws std::runtime_error (or std::system_error) with the
// reason when it cannot.
std::unique_ptr<TDemoConverter> StartDemoConverter();

} // namespace lk58
