#pragma once

#include <cstdint>
#include <initializer_list>

namespace lk58 {

// A small set of enumeration values held in the bits of Storage (bit i for
// the value with ordinal i), as the port's option, line-error and modem
// status sets are stored.
template <class Enum, class Storage>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<Enum> values)
    {
        for (Enum v : values)
            Include(v);
    }
    static constexpr TSet FromBits(Storage bits)
    {
        TSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr bool Contains(Enum v) const { return (bits_ & Bit(v)) != 0; }
    constexpr void Include(Enum v) { bits_ = static_cast<Storage>(bits_ | Bit(v)); }
    constexpr void Exclude(Enum v) { bits_ = static_cast<Storage>(bits_ & ~Bit(v)); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr Storage Bits() const { return bits_; }
    friend constexpr bool operator==(TSet, TSet) = default;

private:
    static constexpr Storage Bit(Enum v) { return static_cast<Storage>(1u << static_cast<unsigned>(v)); }
    Storage bits_ = 0;
};

// Each enumeration that has a Default value uses it to leave the driver's
// current value unchanged.
enum TBaudRate : std::uint8_t {
    brDefault, br50, br75, br110, br150, br300, br600, br1200, br1800, br2000,
    br2400, br3600, br4800, br7200, br9600, br10400, br14400, br15625, br19200,
    br28800, br38400, br56000, br57600, br115200, br128000, br256000, brCustom
};
enum TDataBits : std::uint8_t { dbDefault, db4, db5, db6, db7, db8 };
enum TParity : std::uint8_t { paDefault, paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : std::uint8_t { sbDefault, sb1, sb1_5, sb2 };
enum TDTRControl : std::uint8_t { dcDefault, dcDisable, dcEnable, dcHandshake };
enum TRTSControl : std::uint8_t { rcDefault, rcDisable, rcEnable, rcHandshake, rcToggle };
enum TXOnXOffControl : std::uint8_t { xcDefault, xcDisable, xcInput, xcOutput, xcInputOutput };
enum TPriorityClass : std::uint8_t { pcDefault, pcIdle, pcNormal, pcHigh, pcRealTime };
enum TThreadPriority : std::uint8_t {
    tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical
};
enum TOption : std::uint8_t {
    opCheckParity, opOutputCTSFlow, opOutputDSRFlow, opDSRSensitivity,
    opTXContinueOnXOff, opUseErrorChar, opDiscardNullBytes, opAbortOnError
};
using TOptions = TSet<TOption, std::uint8_t>;

enum TLineError : std::uint8_t {
    leBreak, leDNS, leFrame, leIOE, leMode, leOOP, leOverrun, lePTO, leRxOver,
    leRxParity, leTxFull
};
using TLineErrors = TSet<TLineError, std::uint16_t>;

enum TModemStatusValue : std::uint8_t { msCTS, msDSR, msRing, msRLSD };
using TModemStatus = TSet<TModemStatusValue, std::uint8_t>;

enum TComAction : std::uint8_t { caRaise, caAbort };

// Rate in bits per second of a table entry; 0 for brDefault and brCustom.
std::int32_t BaudRateValue(TBaudRate rate);
// Windows thread priority value of a TThreadPriority (tpTimeCritical is 15).
int ThreadPriorityValue(TThreadPriority priority);
// Windows priority class value of a TPriorityClass (0 for pcDefault).
std::uint32_t PriorityClassValue(TPriorityClass priority);
const char* PriorityClassName(TPriorityClass priority);

// The driver's line state record, field for field the Windows DCB.
struct TDcb {
    std::uint32_t DCBlength = 0;
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    std::uint16_t wReserved1 = 0;
};

constexpr std::uint32_t kDcbLength = 28;

// Flag bits of TDcb::Flags.
constexpr std::uint32_t kDcbBinary = 0x0001;
constexpr std::uint32_t kDcbParity = 0x0002;
constexpr std::uint32_t kDcbOutxCtsFlow = 0x0004;
constexpr std::uint32_t kDcbOutxDsrFlow = 0x0008;
constexpr std::uint32_t kDcbDtrControlMask = 0x0030;
constexpr std::uint32_t kDcbDsrSensitivity = 0x0040;
constexpr std::uint32_t kDcbTXContinueOnXoff = 0x0080;
constexpr std::uint32_t kDcbOutX = 0x0100;
constexpr std::uint32_t kDcbInX = 0x0200;
constexpr std::uint32_t kDcbErrorChar = 0x0400;
constexpr std::uint32_t kDcbNull = 0x0800;
constexpr std::uint32_t kDcbRtsControlMask = 0x3000;
constexpr std::uint32_t kDcbAbortOnError = 0x4000;

constexpr std::uint32_t kDtrControlDisable = 0x0000;
constexpr std::uint32_t kDtrControlEnable = 0x0010;
constexpr std::uint32_t kDtrControlHandshake = 0x0020;
constexpr std::uint32_t kRtsControlDisable = 0x0000;
constexpr std::uint32_t kRtsControlEnable = 0x1000;
constexpr std::uint32_t kRtsControlHandshake = 0x2000;
constexpr std::uint32_t kRtsControlToggle = 0x3000;

constexpr std::uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3, kSpaceParity = 4;
constexpr std::uint8_t kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2;

// Read and write time-outs in ms, field for field the Windows COMMTIMEOUTS.
struct TCommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

// Line events of the driver's event mask.
constexpr std::uint32_t kEvRxChar = 0x0001;
constexpr std::uint32_t kEvRxFlag = 0x0002;
constexpr std::uint32_t kEvTxEmpty = 0x0004;
constexpr std::uint32_t kEvCts = 0x0008;
constexpr std::uint32_t kEvDsr = 0x0010;
constexpr std::uint32_t kEvRlsd = 0x0020;
constexpr std::uint32_t kEvBreak = 0x0040;
constexpr std::uint32_t kEvErr = 0x0080;
constexpr std::uint32_t kEvRing = 0x0100;
constexpr std::uint32_t kEvPErr = 0x0200;
constexpr std::uint32_t kEvRx80Full = 0x0400;
constexpr std::uint32_t kEvEvent1 = 0x0800;
constexpr std::uint32_t kEvEvent2 = 0x1000;

// Line error flags as the driver reports them.
constexpr std::uint32_t kCeRxOver = 0x0001;
constexpr std::uint32_t kCeOverrun = 0x0002;
constexpr std::uint32_t kCeRxParity = 0x0004;
constexpr std::uint32_t kCeFrame = 0x0008;
constexpr std::uint32_t kCeBreak = 0x0010;
constexpr std::uint32_t kCeTxFull = 0x0100;
constexpr std::uint32_t kCePto = 0x0200;
constexpr std::uint32_t kCeIoe = 0x0400;
constexpr std::uint32_t kCeDns = 0x0800;
constexpr std::uint32_t kCeOop = 0x1000;
constexpr std::uint32_t kCeMode = 0x8000;

// The line-error set of the driver's error flags.
TLineErrors LineErrorsFromFlags(std::uint32_t flags);

// Purge flags.
constexpr std::uint32_t kPurgeTxAbort = 0x0001;
constexpr std::uint32_t kPurgeRxAbort = 0x0002;
constexpr std::uint32_t kPurgeTxClear = 0x0004;
constexpr std::uint32_t kPurgeRxClear = 0x0008;

// Modem status bits.
constexpr std::uint32_t kMsCtsOn = 0x0010;
constexpr std::uint32_t kMsDsrOn = 0x0020;
constexpr std::uint32_t kMsRingOn = 0x0040;
constexpr std::uint32_t kMsRlsdOn = 0x0080;

} // namespace lk58
