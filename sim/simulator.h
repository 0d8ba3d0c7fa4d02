#pragma once

#include "link/frame.h"
#include "core/bytes.h"
#ifndef _WIN32
#include "sim/uniquefd.h"
#endif

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lk58 {

// The 64-word settings block as it travels in the read-all reply: word n
// (1..64) big-endian at offsets 2n-2 and 2n-1 of this array.
using Tq36Block = std::array<std::uint8_t, kSettingsBlockSize>;

namespace sim {
class ServedLine;
}

#ifndef _WIN32
// A pseudo-terminal for the program under test. The simulator serves
// `master`; the program opens `slavePath`. `holder` keeps the slave open in
// this process, so that the line does not hang up when the program closes
// its port, and the program may open, close and reopen it any number of
// times. The slave is in raw mode (8N1, 4800 baud): bytes pass untouched.
struct PtyPair {
    UniqueFd master; // non-blocking, close-on-exec
    UniqueFd holder;
    std::string slavePath;
};

// Throws std::system_error when no pseudo-terminal can be made.
PtyPair OpenPtyPair();
#endif

enum class RequestKind { Ping, ReadAll, Write };

enum class RequestOutcome {
    Answered,    // a reply went out (possibly damaged by a fault)
    Silenced,    // the silent fault swallowed it: no effect, no reply
    BadChecksum, // no effect, no reply
    Rejected,    // a write to a parameter outside 1..64: no effect, no reply
    Partial,     // cut short by a silent gap and dropped: no reply
};

// One request as received, in arrival order.
struct RequestRecord {
    Bytes bytes;
    RequestKind kind = RequestKind::Ping; // by the first byte
    RequestOutcome outcome = RequestOutcome::Answered;
    unsigned faults = 0; // FaultBit()s of the faults that acted on it
};

// A write that changed the block. `value` is the frame's 32-bit value.
struct WriteRecord {
    int number = 0;
    std::uint32_t value = 0;
    bool operator==(const WriteRecord&) const = default;
};

struct SimCounters {
    std::size_t requests = 0; // every record of the log, partial ones included
    std::size_t pings = 0;    // complete requests with a valid checksum, by kind,
    std::size_t readAlls = 0; // whatever their outcome
    std::size_t writes = 0;
    std::size_t badChecksums = 0;
    std::size_t partials = 0;
    std::size_t rejected = 0;
    std::size_t silenced = 0;
    std::size_t replies = 0;
};

// Faults the converter can be told to commit. Each has a count of replies
// it still affects (kEveryReply: until cleared) and the request kinds it
// applies to; several may act on the same reply.
enum class Fault {
    Silent,         // no reply, and the request has no effect (answer-from-n is this, n-1 times)
    CorruptChecksum,// the last checksum byte inverted
    WrongFirstByte, // an acknowledgement carries the parameter number itself; ping FE; read-all FF
    Split,          // the reply in two pieces with a pause between them
    ExtraBytes,     // bytes appended behind the reply
    Delay,          // a pause before the reply
    Cut,            // only the reply's head is sent; its tail never comes
    Late,           // the reply is held back until the next request comes,
                    // and sent in front of that request's reply
    Surplus,        // the reply is sent, and once more in front of the
                    // reply to the next request
};
inline constexpr int kEveryReply = -1;
inline constexpr std::size_t kFaultKinds = 9;

constexpr unsigned FaultBit(Fault fault)
{
    return 1u << static_cast<unsigned>(fault);
}
inline constexpr unsigned kAllFaults = (1u << kFaultKinds) - 1;

// Request kinds a fault applies to, as bits.
inline constexpr unsigned kOnPing = 1u;
inline constexpr unsigned kOnReadAll = 2u;
inline constexpr unsigned kOnWrite = 4u;
inline constexpr unsigned kOnAny = kOnPing | kOnReadAll | kOnWrite;

enum class TrafficDirection { Request, Reply, Note };

// What the observer hears: each request as framed, each reply as sent
// (after faults), and notes such as a hung-up line.
struct TrafficEvent {
    TrafficDirection direction = TrafficDirection::Request;
    Bytes bytes;
    std::string meaning;       // "ping", "write 30 := 0x4142", "bad checksum, no reply"...
    bool blockChanged = false; // a write was applied
};

// The settings a converter leaves the factory with: a TQ36 with a serial
// number, label, date, name, input K, output 4-20 mA, range 0..400.
Tq36Block DefaultBlock();

// The simulated TQ36 converter serving one line (a pty master, a serial
// device, or a line inside the process) on its own thread. The block, counters, log and fault
// settings may be used from any thread at any time; Start, Stop and
// SetObserver belong to the one thread that controls the simulator.
class Tq36Simulator {
public:
    // The block starts as DefaultBlock().
    explicit Tq36Simulator(std::shared_ptr<sim::ServedLine> line);
#ifndef _WIN32
    // `fd` is not owned and must stay open until Stop(); it is made
    // non-blocking.
    explicit Tq36Simulator(int fd);
#endif
    ~Tq36Simulator(); // stops the thread
    Tq36Simulator(const Tq36Simulator&) = delete;
    Tq36Simulator& operator=(const Tq36Simulator&) = delete;

    // Starts serving; throws std::system_error. Start after Stop serves
    // again. Start and Stop are called from one controlling thread.
    void Start();
    // Returns when the thread has ended; bytes of a reply in progress are cut
    // off, and a partial request is forgotten.
    void Stop();
    // True from Start until Stop (or until the thread ended on its own).
    bool Running() const;

    // Word n = parameter n, 1..64 (std::out_of_range otherwise).
    std::uint16_t Word(int n) const;
    void SetWord(int n, std::uint16_t value);
    Tq36Block Block() const;
    void SetBlock(const Tq36Block& block);

    SimCounters Counters() const;
    std::vector<RequestRecord> Requests() const;
    std::vector<WriteRecord> AppliedWrites() const;
    // Empties the log, the applied writes and the counters.
    void ClearLog();
    // Waits (without spinning) until the log holds at least `count` records.
    // Returns false on time-out.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    // When on, the line's pace is kept both ways (10 bits a byte at 4800
    // baud, or at the rate of a line inside the process): a reply starts no earlier than the request could have arrived,
    // and its bytes leave one byte time apart. Off: all at once. On by default.
    void SetPacing(bool on);
    // Silence after which an incomplete request is dropped; 30 ms by default.
    void SetGap(std::chrono::milliseconds gap);

    // The fault acts on the next `count` requests of the given kinds that
    // have a valid checksum (kEveryReply: until cleared); 0 clears it.
    void SetFault(Fault fault, int count = kEveryReply, unsigned kinds = kOnAny);
    void ClearFault(Fault fault);
    void ClearFaults();
    // Replies the fault still affects: 0 off, kEveryReply for ever.
    int FaultCount(Fault fault) const;
    // Answers only the n-th and later requests of the given kinds (n >= 1).
    void AnswerFrom(int n, unsigned kinds = kOnAny);
    // Besides the counted faults, each request of the given kinds with a
    // valid checksum meets each fault with probability `rate` (0 off),
    // drawn from a generator seeded with `seed`: the same seed and the
    // same requests meet the same faults. Only the faults whose FaultBit()
    // is in `faults` act; every fault is drawn all the same.
    void SetRandomFaults(std::uint32_t seed, double rate, unsigned kinds = kOnAny, unsigned faults = kAllFaults);

    // Parameters of the faults: the delay (200 ms by default); where a reply
    // is split (0: in the middle, the default) and the pause between its
    // pieces (30 ms); the extra bytes (one 00 by default); the bytes a cut
    // reply keeps (0: half of it, the default).
    void SetDelay(std::chrono::milliseconds delay);
    void SetSplit(std::size_t at, std::chrono::milliseconds pause);
    void SetCut(std::size_t keep);
    void SetExtraBytes(const Bytes& extra);

    // Called on the simulator's thread for each request and reply; set it
    // before Start(). It must not call back into the simulator's Stop().
    using Observer = std::function<void(const TrafficEvent&)>;
    void SetObserver(Observer observer);

private:
    struct State;
    struct Reply;

    void Run();
    bool ReadAndServe(bool& hungUp);
    bool Serve(const Bytes& request);
    void DropPartial(const Bytes& partial);
    Reply Respond(const Bytes& request, TrafficEvent& event);
    Reply PlanReply(const Bytes& request, RequestKind kind, RequestRecord& record);
    bool TakeFault(Fault fault, RequestKind kind, RequestRecord& record);
    unsigned DrawFaults(RequestKind kind);
    bool Send(const Reply& reply);
    void Notify(const TrafficEvent& event) const;

    const std::shared_ptr<sim::ServedLine> line_;
    std::unique_ptr<State> state_;
    mutable std::mutex mutex_;
    mutable std::condition_variable logged_;
    Observer observer_;
    std::thread thread_;
    std::atomic<bool> running_{false};
};

} // namespace lk58
