#include "serial/comport.h"

#include <array>

namespace lk58 {

namespace {

constexpr std::array<std::int32_t, brCustom + 1> kBaudRates = {
    0, 50, 75, 110, 150, 300, 600, 1200, 1800, 2000, 2400, 3600, 4800, 7200,
    9600, 10400, 14400, 15625, 19200, 28800, 38400, 56000, 57600, 115200,
    128000, 256000, 0};

constexpr std::array<std::uint8_t, db8 + 1> kByteSizes = {0, 4, 5, 6, 7, 8};
constexpr std::array<std::uint8_t, paSpace + 1> kParities = {
    0, kNoParity, kOddParity, kEvenParity, kMarkParity, kSpaceParity};
constexpr std::array<std::uint8_t, sb2 + 1> kStopBits = {0, kOneStopBit, kOne5StopBits, kTwoStopBits};
constexpr std::array<std::uint32_t, dcHandshake + 1> kDtrControls = {
    0, kDtrControlDisable, kDtrControlEnable, kDtrControlHandshake};
constexpr std::array<std::uint32_t, rcToggle + 1> kRtsControls = {
    0, kRtsControlDisable, kRtsControlEnable, kRtsControlHandshake, kRtsControlToggle};
constexpr std::array<std::uint32_t, xcInputOutput + 1> kXOnXOffBits = {
    0, 0, kDcbInX, kDcbOutX, kDcbInX | kDcbOutX};
constexpr std::array<std::uint32_t, opAbortOnError + 1> kOptionBits = {
    kDcbParity, kDcbOutxCtsFlow, kDcbOutxDsrFlow, kDcbDsrSensitivity,
    kDcbTXContinueOnXoff, kDcbErrorChar, kDcbNull, kDcbAbortOnError};

// Clears the flag field under mask and sets it to value.
void SetField(std::uint32_t& flags, std::uint32_t mask, std::uint32_t value)
{
    flags = (flags & ~mask) | value;
}

} // namespace

std::int32_t BaudRateValue(TBaudRate rate)
{
    return rate < kBaudRates.size() ? kBaudRates[rate] : 0;
}

int ThreadPriorityValue(TThreadPriority priority)
{
    constexpr std::array<int, tpTimeCritical + 1> values = {-15, -2, -1, 0, 1, 2, 15};
    return values.at(priority);
}

const char* PriorityClassName(TPriorityClass priority)
{
    constexpr std::array<const char*, pcRealTime + 1> names = {"pcDefault", "pcIdle", "pcNormal", "pcHigh", "pcRealTime"};
    return names.at(priority);
}

std::uint32_t PriorityClassValue(TPriorityClass priority)
{
    constexpr std::array<std::uint32_t, pcRealTime + 1> values = {0, 0x40, 0x20, 0x80, 0x100};
    return values.at(priority);
}

TLineErrors LineErrorsFromFlags(std::uint32_t flags)
{
    constexpr std::array<std::uint32_t, leTxFull + 1> ceFlags = {
        kCeBreak, kCeDns, kCeFrame, kCeIoe, kCeMode, kCeOop, kCeOverrun, kCePto,
        kCeRxOver, kCeRxParity, kCeTxFull};
    TLineErrors errors;
    for (std::size_t i = 0; i < ceFlags.size(); ++i)
        if (flags & ceFlags[i])
            errors.Include(static_cast<TLineError>(i));
    return errors;
}

void TCustomComPort::FillDeviceControlBlock(TDcb& dcb) const
{
    if (baudRate_ != brDefault)
        dcb.BaudRate = static_cast<std::uint32_t>(CustomBaudRate());
    if (dataBits_ != dbDefault)
        dcb.ByteSize = kByteSizes.at(dataBits_);
    if (parity_ != paDefault)
        dcb.Parity = kParities.at(parity_);
    if (stopBits_ != sbDefault)
        dcb.StopBits = kStopBits.at(stopBits_);
    dcb.XonChar = characters_->XOn();
    dcb.XoffChar = characters_->XOff();
    dcb.ErrorChar = characters_->Error();
    dcb.EofChar = characters_->Eof();
    dcb.EvtChar = characters_->Event();
    const TFlowControl& flow = *flowControl_;
    if (flow.DTR() != dcDefault)
        SetField(dcb.Flags, kDcbDtrControlMask, kDtrControls.at(flow.DTR()));
    if (flow.RTS() != rcDefault)
        SetField(dcb.Flags, kDcbRtsControlMask, kRtsControls.at(flow.RTS()));
    if (flow.XOnXOff() != xcDefault)
        SetField(dcb.Flags, kDcbOutX | kDcbInX, kXOnXOffBits.at(flow.XOnXOff()));
    dcb.XonLim = flow.XOnLimit();
    dcb.XoffLim = flow.XOffLimit();
    for (std::size_t i = 0; i < kOptionBits.size(); ++i)
        SetField(dcb.Flags, kOptionBits[i],
                 options_.Contains(static_cast<TOption>(i)) ? kOptionBits[i] : 0);
}

} // namespace lk58
