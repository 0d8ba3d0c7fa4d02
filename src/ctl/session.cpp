#include "ctl/session.h"

#include "config/restore.h"
#include "ctl/portopen.h"

namespace lk58::ctl {

TConverterSession::TConverterSession(const QString& path, TPortEvents& events, bool trace)
    : path_(path), events_(events)
{
    link_ = std::make_unique<TDeviceLink>(port_);
    if (trace) {
        // The wire as it is: each request as written, and the bytes that
        // came back before the next one as its reply.
        port_.SetBeforeWrite([this](TComPort&, const void* buffer, std::int32_t length, bool) {
            FlushReceived();
            const auto* bytes = static_cast<const std::uint8_t*>(buffer);
            events_.Trace("request", Bytes(bytes, bytes + length));
        });
        port_.SetAfterRead([this](TComPort&, const void* buffer, std::int32_t length, bool) {
            const auto* bytes = static_cast<const std::uint8_t*>(buffer);
            received_.insert(received_.end(), bytes, bytes + length);
        });
    }
    OpenConverterPort(port_, path);
}

TConverterSession::~TConverterSession()
{
    FlushReceived();
    link_.reset();
    try {
        port_.SetActive(false);
    } catch (...) {
        // A device that vanished fails its close too; nothing is left to do.
    }
}

void TConverterSession::FlushReceived()
{
    if (received_.empty())
        return;
    events_.Trace("reply", received_);
    received_.clear();
}

bool TConverterSession::Ping()
{
    return link_->Ping();
}

SettingsBlock TConverterSession::ReadBlock()
{
    std::optional<SettingsBlock> block = config::ReadBlock(*link_);
    if (!block)
        throw TFailure{TExit::NoAnswer, QString::fromStdString(config::NoAnswerText(*link_))};
    return *block;
}

} // namespace lk58::ctl
