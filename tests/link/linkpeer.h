#pragma once

#include "core/bytes.h"
#include "serial/comport.h"
#include "sim/memoryline.h"
#include "sim/simulator.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lk58::test {

// The converter's side of a line inside the process, played by a test on
// the UI thread, where exact bytes and their moment matter: requests are framed by
// their first byte (FF, FE: 3 bytes; otherwise 7), and Script answers each.
// It runs whenever the thread processes events, the link's reply wait
// included.
class TScriptedPeer : public QObject {
public:
    TScriptedPeer();
    ~TScriptedPeer() override;

    // The port to open.
    const std::string& SlavePath() const { return port_; }

    // Called with the request's index (from 0) and bytes.
    std::function<void(std::size_t index, const Bytes& request)> Script;

    const std::vector<Bytes>& Requests() const { return requests_; }

    void Send(const Bytes& bytes);
    void SendLater(int ms, const Bytes& bytes);
    // Pulls the cable: the device vanishes under the port.
    void HangUp();

private:
    void ReadRequests();

    std::string port_;
    std::shared_ptr<sim::MemoryLine> line_;
    Bytes pending_;
    std::vector<Bytes> requests_;
};

// Opens `port` on `path` at the converter's line settings.
void OpenPort(TComPort& port, const std::string& path);

// A port name of its own for a simulator that a test makes and owns.
std::string NewSimulatorPort();
std::unique_ptr<Tq36Simulator> SimulatorOn(const std::string& port);

// Frames of a peer, built for comparing with what the link sent.
Bytes Head(const Bytes& frame, std::size_t n);
Bytes Tail(const Bytes& frame, std::size_t n);
// The same frame with its first byte replaced and its checksum made right.
Bytes Retagged(Bytes frame, std::uint8_t first);

} // namespace lk58::test
