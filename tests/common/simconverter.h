#pragma once

// The simulated converter on the far end of a pseudo-terminal, as the
// window's tests connect to it.

#include "settings/parammap.h"
#include "sim/simulator.h"

#include <QString>

#include <algorithm>
#include <span>

namespace lk58::test {

// A converter on the far end of a pseudo-terminal; it answers at once
// unless pacing is turned on.
struct TSimulatedConverter {
    PtyPair pty = OpenPtyPair();
    Tq36Simulator sim{pty.master.Get()};

    TSimulatedConverter()
    {
        sim.SetPacing(false);
        sim.Start();
    }
    ~TSimulatedConverter() { sim.Stop(); }
    QString Path() const { return QString::fromStdString(pty.slavePath); }

    SettingsBlock Block() const
    {
        const Tq36Block b = sim.Block();
        return SettingsBlock(std::span<const std::uint8_t, kSettingsBlockSize>(b));
    }
    void SetBlock(const SettingsBlock& block)
    {
        Tq36Block b;
        std::copy(block.Data().begin(), block.Data().end(), b.begin());
        sim.SetBlock(b);
    }
};

} // namespace lk58::test
