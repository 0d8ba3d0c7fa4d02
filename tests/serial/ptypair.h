#pragma once

#include "core/bytes.h"

#include <cstdint>
#include <string>

struct termios;

// A pseudo-terminal pair: the test plays the device on the master side,
// the port under test opens the slave path.
class TPtyPair {
public:
    TPtyPair();
    ~TPtyPair();
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    void Write(const lk58::Bytes& bytes);
    // Reads up to count bytes, waiting at most timeoutMs for each.
    lk58::Bytes Read(std::size_t count, int timeoutMs = 2000);
    // The slave's line settings, as the device sees them.
    void SlaveTermios(termios& t) const;
    std::uint32_t SlaveRate() const;
    // The device goes away: the port's side hangs up.
    void CloseMaster();

private:
    int master_ = -1;
    std::string slavePath_;
};
