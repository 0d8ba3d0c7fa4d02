#pragma once

// The demo converter: the simulated TQ36 served inside the program on a
// pseudo-terminal, keeping the line's pace, so that the window can be tried
// without hardware. Where the platform has no pseudo-terminals there is no
// demo, and the window offers none.

#include <memory>
#include <string>

namespace lk58 {

class TDemoConverter {
public:
    virtual ~TDemoConverter() = default;
    // The port to open, such as /dev/pts/3.
    virtual std::string Port() const = 0;
};

// True where a demo converter can run.
bool DemoAvailable();
// Starts one; throws std::runtime_error (or std::system_error) with the
// reason when it cannot.
std::unique_ptr<TDemoConverter> StartDemoConverter();

} // namespace lk58
