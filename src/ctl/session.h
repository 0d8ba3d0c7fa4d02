#pragma once

#include "ctl/portresult.h"
#include "link/devicelink.h"
#include "serial/comport.h"
#include "settings/parammap.h"

#include <QString>

#include <memory>

namespace lk58::ctl {

// A converter on one port: the port opened on the converter's line and the
// device link's exchanges over it, on this thread.
class TConverterSession {
public:
    // Opens the port; throws TFailure (NoPort) saying why it would not.
    // With `trace`, every request and reply goes to events.Trace (a reply
    // as the bytes received before the next request).
    TConverterSession(const QString& path, TPortEvents& events, bool trace);
    ~TConverterSession();
    TConverterSession(const TConverterSession&) = delete;
    TConverterSession& operator=(const TConverterSession&) = delete;

    TDeviceLink& Link() { return *link_; }
    QString Port() const { return path_; }
    // True when a converter answers the ping.
    bool Ping();
    // The converter's block by one read-all exchange; throws TFailure
    // (NoAnswer) when it does not answer, or answers damaged.
    SettingsBlock ReadBlock();

private:
    void FlushReceived();

    QString path_;
    TPortEvents& events_;
    Bytes received_;
    TComPort port_;
    std::unique_ptr<TDeviceLink> link_;
};

} // namespace lk58::ctl
