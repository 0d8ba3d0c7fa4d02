#pragma once

#include "core/bytes.h"
#include "serial/comport.h"
#include "sim/simulator.h"

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lk58::test {

// The converter's side of a pseudo-terminal, played by a test on the UI
// thread, where exact bytes and their moment matter: requests are framed by
// their first byte (FF, FE: 3 bytes; otherwise 7), and Script answers each.
// It runs whenever the thread processes events, the link's reply wait
// included.
class TScriptedPeer : public QObject {
public:
    TScriptedPeer();

    const std::string& SlavePath() const { return pty_.slavePath; }

    // Called with the request's index (from 0) and bytes.
    std::function<void(std::size_t index, const Bytes& request)> Script;

    const std::vector<Bytes>& Requests() const { return requests_; }

    void Send(const Bytes& bytes);
    void SendLater(int ms, const Bytes& bytes);
    // Closes the master: the device vanishes under the port.
    void HangUp();

private:
    void ReadRequests();

    PtyPair pty_;
    std::unique_ptr<QSocketNotifier> notifier_;
    Bytes pending_;
    std::vector<Bytes> requests_;
};

// Opens `port` on a pseudo-terminal's slave at the converter's line settings.
void OpenPort(TComPort& port, const std::string& path);

// Frames of a peer, built for comparing with what the link sent.
Bytes Head(const Bytes& frame, std::size_t n);
Bytes Tail(const Bytes& frame, std::size_t n);
// The same frame with its first byte replaced and its checksum made right.
Bytes Retagged(Bytes frame, std::uint8_t first);

} // namespace lk58::test
