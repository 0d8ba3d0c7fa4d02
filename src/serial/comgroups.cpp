#include "serial/comgroups.h"

#include "serial/comport.h"

namespace lk58 {

namespace {

// Stores value and reapplies the line settings, unless nothing changes.
template <class T>
void ChangeLine(TCustomComPort& port, T& field, T value)
{
    if (field == value)
        return;
    field = value;
    port.ApplySettings();
}

} // namespace

void TFlowControl::SetDTR(TDTRControl value) { ChangeLine(port_, dtr_, value); }
void TFlowControl::SetRTS(TRTSControl value) { ChangeLine(port_, rts_, value); }
void TFlowControl::SetXOnXOff(TXOnXOffControl value) { ChangeLine(port_, xOnXOff_, value); }
void TFlowControl::SetXOnLimit(std::uint16_t value) { ChangeLine(port_, xOnLimit_, value); }
void TFlowControl::SetXOffLimit(std::uint16_t value) { ChangeLine(port_, xOffLimit_, value); }

void TCharacters::Change(char& field, char value) { ChangeLine(port_, field, value); }
void TCharacters::SetXOn(char value) { Change(xOn_, value); }
void TCharacters::SetXOff(char value) { Change(xOff_, value); }
void TCharacters::SetError(char value) { Change(error_, value); }
void TCharacters::SetEof(char value) { Change(eof_, value); }
void TCharacters::SetEvent(char value) { Change(event_, value); }

void TBufferSizes::SetInput(std::int32_t value)
{
    if (input_ == value)
        return;
    input_ = value;
    port_.ApplyBufferSizes();
}

void TBufferSizes::SetOutput(std::int32_t value)
{
    if (output_ == value)
        return;
    output_ = value;
    port_.ApplyBufferSizes();
}

void TTimeouts::Change(std::int32_t& field, std::int32_t value)
{
    if (field == value)
        return;
    field = value;
    port_.ApplyTimeouts();
}

void TTimeouts::SetReadInterval(std::int32_t value) { Change(readInterval_, value); }
void TTimeouts::SetReadMultiplier(std::int32_t value) { Change(readMultiplier_, value); }
void TTimeouts::SetReadConstant(std::int32_t value) { Change(readConstant_, value); }
void TTimeouts::SetWriteMultiplier(std::int32_t value) { Change(writeMultiplier_, value); }
void TTimeouts::SetWriteConstant(std::int32_t value) { Change(writeConstant_, value); }

} // namespace lk58
