#include "app/democonverter.h"

#include "sim/simulator.h"

namespace lk58 {
namespace {

// The simulator serves the master side on its own thread; the slave stays
// open here too, so that closing and reopening the port never hangs up the
// line.
class TPtyDemo : public TDemoConverter {
public:
    TPtyDemo() : pty_(OpenPtyPair()), sim_(pty_.master.Get()) { sim_.Start(); }
    ~TPtyDemo() override { sim_.Stop(); }
    std::string Port() const override { return pty_.slavePath; }

private:
    PtyPair pty_;
    Tq36Simulator sim_;
};

} // namespace

bool DemoAvailable()
{
    return true;
}

std::unique_ptr<TDemoConverter> StartDemoConverter()
{
    return std::make_unique<TPtyDemo>();
}

} // namespace lk58
