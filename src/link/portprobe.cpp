#include "link/portprobe.h"

#include "link/frame.h"
#include "link/replystate.h"
#include "serial/serialdevice.h"

#include <array>
#include <chrono>
#include <thread>

namespace lk58 {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kAttempts = 10;
constexpr auto kPause = std::chrono::milliseconds(25);
constexpr auto kReplyWait = std::chrono::milliseconds(150);
// Windows time-out semantics: a read that returns on its first byte, or
// after the constant.
constexpr std::uint32_t kMaxTimeout = 0xFFFFFFFF;

bool Configure(platform::TSerialDevice& device, const TLineSetup& setup)
{
    TDcb dcb;
    if (!device.GetCommState(dcb))
        return false;
    setup(dcb);
    return device.SetCommState(dcb) && device.Purge(kPurgeRxAbort | kPurgeRxClear | kPurgeTxAbort | kPurgeTxClear);
}

// Reads until the reply is complete, the attempt's time is up or the
// search is cancelled; each read returns on its first byte or after a slice.
bool AwaitReply(platform::TSerialDevice& device, TReplyState& reply, Clock::time_point deadline,
                const std::atomic<bool>& cancel)
{
    std::array<std::uint8_t, 64> buffer{};
    while (!reply.PingOk && !cancel) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        TCommTimeouts t;
        t.ReadIntervalTimeout = kMaxTimeout;
        t.ReadTotalTimeoutMultiplier = kMaxTimeout;
        t.ReadTotalTimeoutConstant = static_cast<std::uint32_t>(std::min<long long>(left, kProbeSliceMs));
        std::uint32_t got = 0;
        if (!device.SetCommTimeouts(t) || !device.StartRead(buffer.data(), buffer.size()) ||
            !device.FinishRead(got))
            return false;
        reply.Collect(std::span(buffer).first(got));
    }
    return true;
}

// The code is taken before the port closes: closing may set another.
TProbeResult NotOpened()
{
    return {TProbeOutcome::NotOpened, platform::LastError()};
}

} // namespace

TProbeResult ProbePort(const std::string& port, const TLineSetup& setup, const std::atomic<bool>& cancel)
{
    const std::unique_ptr<platform::TSerialDevice> device = platform::CreateSerialDevice();
    platform::SetLastError(0);
    if (!device->Open(port)) {
        const int code = platform::LastError();
        return {platform::IsBusyError(code) ? TProbeOutcome::Busy : TProbeOutcome::NotOpened, code};
    }
    struct TCloser {
        platform::TSerialDevice& d;
        ~TCloser() { d.Close(); }
    } closer{*device};
    if (!Configure(*device, setup))
        return NotOpened();
    const Bytes request = PingRequest();
    TReplyState reply;
    reply.Arm(kModePing, 0);
    for (int attempt = 0; attempt < kAttempts && !reply.PingOk; ++attempt) {
        if (cancel)
            return {TProbeOutcome::Cancelled};
        std::this_thread::sleep_for(kPause);
        // Each attempt starts afresh, as the device link's does.
        reply.Arm(kModePing, 0);
        device->Purge(kPurgeRxClear);
        std::uint32_t sent = 0;
        if (!device->StartWrite(request.data(), std::uint32_t(request.size())) || !device->FinishWrite(sent) ||
            sent != request.size())
            return NotOpened();
        if (!AwaitReply(*device, reply, Clock::now() + kReplyWait, cancel))
            return NotOpened();
    }
    if (reply.PingOk)
        return {TProbeOutcome::Answered};
    return {cancel ? TProbeOutcome::Cancelled : TProbeOutcome::Silent};
}

TPortSearch::TPortSearch(const std::vector<std::string>& ports, TLineSetup setup, TOnResult onResult)
    : setup_(std::move(setup)), onResult_(std::move(onResult))
{
    threads_.reserve(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i)
        threads_.emplace_back([this, i, port = ports[i]] { onResult_(i, ProbePort(port, setup_, cancel_)); });
}

TPortSearch::~TPortSearch()
{
    Cancel();
    Join();
}

void TPortSearch::Join()
{
    for (std::thread& t : threads_)
        if (t.joinable())
            t.join();
}

} // namespace lk58
