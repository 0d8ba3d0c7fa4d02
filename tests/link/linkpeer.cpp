#include "linkpeer.h"

#include "link/frame.h"

#include <QTimer>

#include <cerrno>
#include <stdexcept>
#include <unistd.h>

namespace lk58::test {

TScriptedPeer::TScriptedPeer() : pty_(OpenPtyPair())
{
    notifier_ = std::make_unique<QSocketNotifier>(pty_.master.Get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { ReadRequests(); });
}

void TScriptedPeer::ReadRequests()
{
    std::uint8_t buf[512];
    for (;;) {
        const ssize_t n = ::read(pty_.master.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending_.insert(pending_.end(), buf, buf + n);
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
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(pty_.master.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw std::runtime_error("peer: write to the pty master failed");
        done += static_cast<std::size_t>(n);
    }
}

void TScriptedPeer::SendLater(int ms, const Bytes& bytes)
{
    QTimer::singleShot(ms, this, [this, bytes] { Send(bytes); });
}

void TScriptedPeer::HangUp()
{
    notifier_.reset();
    pty_.master.Reset();
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
