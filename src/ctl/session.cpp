#include "ctl/session.h"

#include "config/restore.h"
#include "ctl/portopen.h"

namespace lk58::ctl {

namespace {

void AttachTrace(TDeviceLink& link, TPortEvents& events)
{
    link.SetTrace([&events](TTraffic what, std::span<const std::uint8_t> bytes) {
        const char* name = "dropped";
        switch (what) {
        case TTraffic::Request: name = "request"; break;
        case TTraffic::Reply: name = "reply"; break;
        case TTraffic::BadReply: name = "bad reply"; break;
        case TTraffic::Dropped: break;
        }
        events.Trace(QString::fromLatin1(name), Bytes(bytes.begin(), bytes.end()));
    });
}

} // namespace

TConverterSession::TConverterSession(const QString& path, TPortEvents& events, bool trace) : path_(path)
{
    link_ = std::make_unique<TDeviceLink>(port_);
    if (trace)
        AttachTrace(*link_, events);
    OpenConverterPort(port_, path);
}

TConverterSession::~TConverterSession()
{
    link_.reset();
    try {
        port_.SetActive(false);
    } catch (...) {
        // A device that vanished fails its close too; nothing is left to do.
    }
}

bool TConverterSession::Ping()
{
    return link_->Ping();
}

SettingsBlock TConverterSession::ReadBlock()
{
    std::optional<SettingsBlock> block = config::ReadBlock(*link_);
    if (!block)
        throw TFailure{TExit::NoAnswer, "the converter did not answer"};
    return *block;
}

} // namespace lk58::ctl
