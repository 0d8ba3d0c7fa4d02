#include "linkpeer.h"

#include "link/frame.h"

#include <QTimer>

#include "sim/simport.h"

#include <algorithm>

namespace lk58::test {

TScriptedPeer::TScriptedPeer() : port_(NewSimulatorPort()), line_(sim::PlayedLine(port_))
{
    // The port writes on this thread; the bytes are read when it next
    // processes events.
    line_->SetOnTransmit([this] { QMetaObject::invokeMethod(this, [this] { ReadRequests(); }, Qt::QueuedConnection); });
}

TScriptedPeer::~TScriptedPeer()
{
    line_->SetOnTransmit({});
}

void TScriptedPeer::ReadRequests()
{
    std::uint8_t buf[512];
    for (std::size_t n; (n = line_->Take(buf, sizeof buf)) > 0;)
        pending_.insert(pending_.end(), buf, buf + n);
    // The rest of a write leaves the port a byte time apart.
    if (const auto next = line_->NextLeaving()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - sim::Clock::now());
        QTimer::singleShot(std::max<int>(0, int(wait.count())), Qt::PreciseTimer, this, [this] { ReadRequests(); });
    }
    while (!pending_.empty()) {
        const std::size_t len = (pending_[0] == kPingCode || pending_[0] == kReadAllCode) ? 3 : 7;
        if (pending_.size() < len)
            break;
        Bytes request(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(len));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(len));
        requests_.push_back(request);
        if (Script)
            Script(requests_.size() - 1, request);
    }
}

void TScriptedPeer::Send(const Bytes& bytes)
{
    line_->Deliver(bytes.data(), bytes.size());
}

void TScriptedPeer::SendLater(int ms, const Bytes& bytes)
{
    QTimer::singleShot(ms, this, [this, bytes] { Send(bytes); });
}

void TScriptedPeer::HangUp()
{
    line_->HangUp();
}

void OpenPort(TComPort& port, const std::string& path)
{
    port.SetDeviceName(path);
    port.SetBaudRate(br4800);
    port.SetDataBits(db8);
    port.SetParity(paNone);
    port.SetStopBits(sb1);
    port.SetActive(true);
}

std::string NewSimulatorPort()
{
    sim::RegisterSimulatedPorts();
    return sim::NewSimulatedPortName();
}

std::unique_ptr<Tq36Simulator> SimulatorOn(const std::string& port)
{
    return std::make_unique<Tq36Simulator>(sim::PlayedLine(port)->FarEnd());
}

Bytes Head(const Bytes& frame, std::size_t n)
{
    return Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
}

Bytes Tail(const Bytes& frame, std::size_t n)
{
    return Bytes(frame.begin() + static_cast<std::ptrdiff_t>(n), frame.end());
}

Bytes Retagged(Bytes frame, std::uint8_t first)
{
    frame.resize(frame.size() - 2);
    frame[0] = first;
    AppendChecksum(frame);
    return frame;
}

} // namespace lk58::test
