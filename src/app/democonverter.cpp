#include "app/democonverter.h"

#include "sim/simport.h"

namespace lk58 {
namespace {

// The simulated converter inside the program, on its own port: it lives as
// long as the program, so reconnecting meets the settings it was left with.
class TSimDemo : public TDemoConverter {
public:
    std::string Port() const override { return sim::kSimPortPrefix; }
};

} // namespace

bool DemoAvailable()
{
    return true;
}

std::unique_ptr<TDemoConverter> StartDemoConverter()
{
    sim::RegisterSimulatedPorts();
    return std::make_unique<TSimDemo>();
}

} // namespace lk58
