#pragma once

#include "serial/comtypes.h"

#include <cstdint>

namespace lk58 {

class TCustomComPort;

// The settings groups of a port. Each is owned by its port and changed in
// place; a changed field reaches an open port at once.

class TFlowControl {
public:
    explicit TFlowControl(TCustomComPort& port) : port_(port) {}
    TDTRControl DTR() const { return dtr_; }
    void SetDTR(TDTRControl value);
    TRTSControl RTS() const { return rts_; }
    void SetRTS(TRTSControl value);
    TXOnXOffControl XOnXOff() const { return xOnXOff_; }
    void SetXOnXOff(TXOnXOffControl value);
    std::uint16_t XOnLimit() const { return xOnLimit_; }
    void SetXOnLimit(std::uint16_t value);
    std::uint16_t XOffLimit() const { return xOffLimit_; }
    void SetXOffLimit(std::uint16_t value);

private:
    TCustomComPort& port_;
    TDTRControl dtr_ = dcDefault;
    TRTSControl rts_ = rcDefault;
    TXOnXOffControl xOnXOff_ = xcDefault;
    std::uint16_t xOnLimit_ = 0;
    std::uint16_t xOffLimit_ = 0;
};

class TCharacters {
public:
    explicit TCharacters(TCustomComPort& port) : port_(port) {}
    char XOn() const { return xOn_; }
    void SetXOn(char value);
    char XOff() const { return xOff_; }
    void SetXOff(char value);
    char Error() const { return error_; }
    void SetError(char value);
    char Eof() const { return eof_; }
    void SetEof(char value);
    char Event() const { return event_; }
    void SetEvent(char value);

private:
    void Change(char& field, char value);
    TCustomComPort& port_;
    char xOn_ = 0x11;
    char xOff_ = 0x13;
    char error_ = 0;
    char eof_ = 0;
    char event_ = 0;
};

// Driver queue sizes in bytes.
class TBufferSizes {
public:
    explicit TBufferSizes(TCustomComPort& port) : port_(port) {}
    std::int32_t Input() const { return input_; }
    void SetInput(std::int32_t value);
    std::int32_t Output() const { return output_; }
    void SetOutput(std::int32_t value);

private:
    TCustomComPort& port_;
    std::int32_t input_ = 4096;
    std::int32_t output_ = 2048;
};

// Read and write time-outs in ms; all 0: a read ends when its bytes have
// arrived, a write when its bytes are out.
class TTimeouts {
public:
    explicit TTimeouts(TCustomComPort& port) : port_(port) {}
    std::int32_t ReadInterval() const { return readInterval_; }
    void SetReadInterval(std::int32_t value);
    std::int32_t ReadMultiplier() const { return readMultiplier_; }
    void SetReadMultiplier(std::int32_t value);
    std::int32_t ReadConstant() const { return readConstant_; }
    void SetReadConstant(std::int32_t value);
    std::int32_t WriteMultiplier() const { return writeMultiplier_; }
    void SetWriteMultiplier(std::int32_t value);
    std::int32_t WriteConstant() const { return writeConstant_; }
    void SetWriteConstant(std::int32_t value);

private:
    void Change(std::int32_t& field, std::int32_t value);
    TCustomComPort& port_;
    std::int32_t readInterval_ = 0;
    std::int32_t readMultiplier_ = 0;
    std::int32_t readConstant_ = 0;
    std::int32_t writeMultiplier_ = 0;
    std::int32_t writeConstant_ = 0;
};

} // namespace lk58
