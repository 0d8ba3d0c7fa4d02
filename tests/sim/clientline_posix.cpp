#include "clientline.h"

#include "rawclient.h"
#include "sim/ports.h"

namespace lk58::test {

struct TClientLine::TImpl {
    PtyPair pty = OpenPtyPair();
    Tq36Simulator sim{pty.master.Get()};
    RawClient client{pty.slavePath};
};

TClientLine::TClientLine() : impl_(std::make_unique<TImpl>()) {}

TClientLine::~TClientLine() = default;

Tq36Simulator& TClientLine::Sim()
{
    return impl_->sim;
}

void TClientLine::Write(const Bytes& bytes)
{
    impl_->client.Write(bytes);
}

Bytes TClientLine::Read(std::size_t count, std::chrono::milliseconds limit)
{
    return impl_->client.Read(count, limit);
}

} // namespace lk58::test
