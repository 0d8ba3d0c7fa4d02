#pragma once

// The simulated converter as the program's tests meet it: on a port inside
// the process ("sim:"), on every system; on POSIX also on the far end of a
// pseudo-terminal, for tests about terminals or whose program runs in
// another process.

#include "settings/parammap.h"
#include "sim/simport.h"
#include "sim/simulator.h"

#include <QString>

#include <algorithm>
#include <span>
#include <string>

namespace lk58::test {

// Settings block conversions of a converter fixture.
template <class Self>
struct TBlockAccess {
    SettingsBlock Block() const
    {
        const Tq36Block b = static_cast<const Self*>(this)->sim.Block();
        return SettingsBlock(std::span<const std::uint8_t, kSettingsBlockSize>(b));
    }
    void SetBlock(const SettingsBlock& block)
    {
        Tq36Block b;
        std::copy(block.Data().begin(), block.Data().end(), b.begin());
        static_cast<Self*>(this)->sim.SetBlock(b);
    }
};

// A converter of its own on a port inside the process; it answers at once
// unless pacing is turned on (the port keeps the line's pace all the same).
// When it goes, the line hangs up, as a pulled adapter's.
struct TSimulatedConverter : TBlockAccess<TSimulatedConverter> {
    std::string port = (sim::RegisterSimulatedPorts(), sim::NewSimulatedPortName());
    std::shared_ptr<sim::MemoryLine> line = sim::PlayedLine(port);
    Tq36Simulator sim{line->FarEnd()};

    TSimulatedConverter()
    {
        sim.SetPacing(false);
        sim.Start();
    }
    ~TSimulatedConverter()
    {
        sim.Stop();
        line->HangUp();
    }
    QString Path() const { return QString::fromStdString(port); }
};

#ifndef _WIN32
// A converter on the far end of a pseudo-terminal; it answers at once
// unless pacing is turned on.
struct TPtyConverter : TBlockAccess<TPtyConverter> {
    PtyPair pty = OpenPtyPair();
    Tq36Simulator sim{pty.master.Get()};

    TPtyConverter()
    {
        sim.SetPacing(false);
        sim.Start();
    }
    ~TPtyConverter() { sim.Stop(); }
    QString Path() const { return QString::fromStdString(pty.slavePath); }
};
#endif

} // namespace lk58::test
