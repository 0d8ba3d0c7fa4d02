#pragma once

#include "core/bytes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <utility>

namespace lk58 {

// Which reply the receive handler collects (ReplyMode).
inline constexpr std::int32_t kModeNone = 0;      // before the first exchange
inline constexpr std::int32_t kModeWrite = 12;    // write acknowledgement, 7 bytes
inline constexpr std::int32_t kModeReadAll = 254; // read-all reply, 131 bytes
inline constexpr std::int32_t kModePing = 255;    // ping reply, 7 bytes

// What a traffic trace hears, in the order it happens.
enum class TTraffic {
    Request,  // a request as handed to the port
    Reply,    // a reply accepted: its 7 or 131 bytes
    BadReply, // a reply's length of bytes from the awaited first byte on,
              // rejected by its checksum (the search goes on behind its
              // first byte, so its bytes may be heard again as dropped)
    Dropped,  // bytes thrown away: bytes in front of a reply or where no
              // reply starts, an incomplete reply, or bytes that came
              // before a request
};
using TTrafficTrace = std::function<void(TTraffic, std::span<const std::uint8_t>)>;

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
    // (and for a write the expected parameter number), clears the flag and
    // Damaged().
    void Arm(std::int32_t mode, std::int32_t tag = 0);

    // Empties RxBuffer; `waiting` is what the port held besides, thrown
    // away with it (both reach the trace as dropped). Damaged() stays.
    void Discard(std::span<const std::uint8_t> waiting = {});

    // Appends `chunk` and looks for the awaited reply: the first place in
    // the buffer where its first byte starts 7 or 131 bytes that end in a
    // valid checksum. Bytes in front of it are dropped, and so is every
    // byte where no reply can start any more, so a stray reply or byte
    // costs nothing. A short reply leaves the buffer once found, and the
    // bytes behind it are searched in turn. A read-all reply found stays at
    // the buffer's start for the loader, later bytes behind it, unjudged.
    void Collect(std::span<const std::uint8_t> chunk);

    // True when, since the exchange was armed, a reply of the awaited kind
    // (its first byte and its length) came with a bad checksum: after a
    // failed exchange, the converter answered, but damaged.
    bool Damaged() const { return damaged_; }

    // After a successful read-all: its 131-byte reply, without the bytes
    // that may have followed it (the whole buffer while it is shorter).
    std::span<const std::uint8_t> Reply() const;

    // Called with every request, judged reply and dropped byte string;
    // nothing is built for it while it is empty.
    void SetTrace(TTrafficTrace trace) { trace_ = std::move(trace); }

protected:
    void Trace(TTraffic what, std::span<const std::uint8_t> bytes) const
    {
        if (trace_)
            trace_(what, bytes);
    }

private:
    bool StartsReply(std::uint8_t first) const;
    bool ChecksumHolds(std::span<const std::uint8_t> reply);
    void DropFront(std::size_t count);

    TTrafficTrace trace_;
    bool held_ = false;    // a read-all reply found heads the buffer
    bool damaged_ = false; // see Damaged()
};

} // namespace lk58
