#pragma once

#include "core/bytes.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace lk58 {

// Which reply the receive handler collects (ReplyMode).
inline constexpr std::int32_t kModeNone = 0;      // before the first exchange
inline constexpr std::int32_t kModeWrite = 12;    // write acknowledgement, 7 bytes
inline constexpr std::int32_t kModeReadAll = 254; // read-all reply, 131 bytes
inline constexpr std::int32_t kModePing = 255;    // ping reply, 7 bytes

// The device link's single reply state and the rules by which received
// bytes become an accepted reply. Standard library only, so that the rules
// can be exercised with bytes alone.
struct TReplyState {
    std::int32_t ReplyMode = kModeNone;
    std::int32_t ExpectedTag = 0; // parameter number of the write under way
    Bytes RxBuffer;               // received bytes since the buffer was last emptied
    std::uint16_t CrcAccumulator = 0;
    bool ReplyOk = false; // a valid read-all reply or write acknowledgement came
    bool PingOk = false;  // a valid ping reply came

    // True when received bytes are to be read from the port and collected;
    // in any other mode they stay unread in the port's input queue.
    bool Collecting() const;

    // Reply length in the current mode, 0 when nothing is collected.
    std::size_t ExpectedLength() const;

    // The flag that a reply in the current mode sets.
    bool& AwaitedFlag();

    // Prepares the state for an exchange: empties RxBuffer, sets the mode
    // (and for a write the expected parameter number), clears the flag.
    void Arm(std::int32_t mode, std::int32_t tag = 0);

    // Appends `chunk` and validates the buffer when it holds exactly the
    // reply's length. Framing rests on byte counts alone: a buffer carried
    // past the length is never validated and never trimmed. Short replies
    // are dropped after validation, valid or not; a read-all reply stays
    // for the loader to decode in place.
    void Collect(std::span<const std::uint8_t> chunk);

private:
    bool Valid();
};

} // namespace lk58
