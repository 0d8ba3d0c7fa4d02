#include "settings/committarget.h"

#include "link/devicelink.h"
#include "link/frame.h"

#include <vector>

namespace lk58 {

bool TLinkTarget::Journaled(std::int32_t number, const std::function<void(TCommitTarget&)>& apply,
                            const std::function<bool()>& send)
{
    if (journal_ == nullptr)
        return send();
    if (!journal_->BeforeWrite(number, apply))
        return false;
    const bool acknowledged = send();
    journal_->AfterWrite(acknowledged);
    return acknowledged;
}

bool TLinkTarget::SendInt(std::int32_t number, std::int32_t value)
{
    return Journaled(number, [&](TCommitTarget& t) { t.SendInt(number, value); },
                     [&] { return link_.SendInt(number, value); });
}

bool TLinkTarget::SendLong(std::int32_t number, std::int32_t value)
{
    return Journaled(number, [&](TCommitTarget& t) { t.SendLong(number, value); },
                     [&] { return link_.SendLong(number, value); });
}

bool TLinkTarget::SendString(const Bytes& text, std::uint8_t first, std::uint8_t count)
{
    return Journaled(first, [&](TCommitTarget& t) { t.SendString(text, first, count); },
                     [&] { return link_.SendString(text, first, count); });
}

namespace {

bool InBlock(std::int32_t first, std::int32_t words)
{
    return first >= 1 && first + words - 1 <= SettingsBlock::kWordCount;
}

} // namespace

bool TBlockTarget::SendInt(std::int32_t number, std::int32_t value)
{
    if (!InBlock(number, 1))
        return false;
    block_.SetWord(number, static_cast<std::uint16_t>(static_cast<std::uint32_t>(value)));
    Wrote(number);
    return true;
}

bool TBlockTarget::SendLong(std::int32_t number, std::int32_t value)
{
    if (!InBlock(number, 2))
        return false;
    block_.SetLong(number, value);
    Wrote(number);
    return true;
}

bool TBlockTarget::SendString(const Bytes& text, std::uint8_t first, std::uint8_t count)
{
    if (count == 0)
        return true;
    if (!InBlock(first, count))
        return false;
    const std::vector<std::uint16_t> words = TextWords(text, count);
    block_.SetWords(first, words);
    Wrote(first);
    return true;
}

void TBlockTarget::Wrote(std::int32_t number)
{
    if (onWrite_)
        onWrite_(number);
}

} // namespace lk58
