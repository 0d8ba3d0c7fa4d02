// Port names that a registered kind of device serves, and the device that
// picks its kind by the name it is opened with.
#include "serial/serialdevice.h"

#include <mutex>
#include <utility>

namespace lk58::platform {

namespace {

struct TKind {
    std::string prefix;
    TDeviceFactory factory;
};

std::mutex kindsLock;

std::vector<TKind>& Kinds()
{
    static std::vector<TKind> kinds;
    return kinds;
}

// The factory for a name and its prefix; none for the machine's own ports.
std::pair<std::string, TDeviceFactory> KindOf(const std::string& name)
{
    std::lock_guard lock(kindsLock);
    for (const TKind& kind : Kinds())
        if (name.starts_with(kind.prefix))
            return {kind.prefix, kind.factory};
    return {};
}

// Everything goes to the device of the kind that the last open chose; until
// the first open that is the machine's own, as a port that was never opened
// has always had it.
class TKindDevice : public TSerialDevice {
public:
    bool Open(const std::string& name) override
    {
        auto [prefix, factory] = KindOf(name);
        if (!device_ || prefix != prefix_) {
            device_ = factory ? factory() : CreatePlatformDevice();
            prefix_ = std::move(prefix);
        }
        return device_->Open(name);
    }
    void Close() override { device_->Close(); }
    bool IsOpen() const override { return device_->IsOpen(); }
    bool SetupComm(std::int32_t inputSize, std::int32_t outputSize) override
    {
        return device_->SetupComm(inputSize, outputSize);
    }
    bool GetCommState(TDcb& dcb) override { return device_->GetCommState(dcb); }
    bool SetCommState(const TDcb& dcb) override { return device_->SetCommState(dcb); }
    std::string RefusedSetting() const override { return device_->RefusedSetting(); }
    bool GetCommTimeouts(TCommTimeouts& timeouts) override { return device_->GetCommTimeouts(timeouts); }
    bool SetCommTimeouts(const TCommTimeouts& timeouts) override { return device_->SetCommTimeouts(timeouts); }
    bool SetCommMask(std::uint32_t mask) override { return device_->SetCommMask(mask); }
    bool ClearCommError(std::uint32_t& errors, std::uint32_t* inQueue) override
    {
        return device_->ClearCommError(errors, inQueue);
    }
    bool Purge(std::uint32_t flags) override { return device_->Purge(flags); }
    bool GetModemStatus(std::uint32_t& status) override { return device_->GetModemStatus(status); }
    bool StartRead(void* buffer, std::uint32_t length) override { return device_->StartRead(buffer, length); }
    bool ReadPending() const override { return device_->ReadPending(); }
    bool FinishRead(std::uint32_t& transferred) override { return device_->FinishRead(transferred); }
    bool StartWrite(const void* buffer, std::uint32_t length) override
    {
        return device_->StartWrite(buffer, length);
    }
    bool WritePending() const override { return device_->WritePending(); }
    bool FinishWrite(std::uint32_t& transferred) override { return device_->FinishWrite(transferred); }
    std::unique_ptr<TEventWaiter> CreateEventWaiter() override { return device_->CreateEventWaiter(); }
    std::uint32_t CollectEvents(std::uint32_t wakes, std::uint32_t mask) override
    {
        return device_->CollectEvents(wakes, mask);
    }

private:
    std::unique_ptr<TSerialDevice> device_ = CreatePlatformDevice();
    std::string prefix_; // of the kind device_ is; empty for the machine's own
};

} // namespace

void RegisterDeviceKind(const std::string& prefix, TDeviceFactory factory)
{
    std::lock_guard lock(kindsLock);
    for (TKind& kind : Kinds())
        if (kind.prefix == prefix) {
            kind.factory = std::move(factory);
            return;
        }
    Kinds().push_back({prefix, std::move(factory)});
}

bool IsRegisteredKind(const std::string& name)
{
    return static_cast<bool>(KindOf(name).second);
}

std::unique_ptr<TSerialDevice> CreateSerialDevice()
{
    return std::make_unique<TKindDevice>();
}

} // namespace lk58::platform
