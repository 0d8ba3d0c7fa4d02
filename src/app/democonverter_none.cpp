#include "app/democonverter.h"

#include <stdexcept>

namespace lk58 {

// No pseudo-terminals on this platform: no demo.
bool DemoAvailable()
{
    return false;
}

std::unique_ptr<TDemoConverter> StartDemoConverter()
{
    throw std::runtime_error("this system has no pseudo-terminals");
}

} // namespace lk58
