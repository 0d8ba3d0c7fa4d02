#pragma once

// Where the settings form's writes go: the converter over the device link,
// or a settings block held in memory (a settings file open in the form).
// The form makes the same writes either way; only their target differs.

#include "core/bytes.h"
#include "settings/parammap.h"

#include <cstdint>
#include <functional>

namespace lk58 {

class TDeviceLink;

class TCommitTarget {
public:
    virtual ~TCommitTarget() = default;
    // Each returns true when the write took effect (the converter
    // acknowledged it).
    virtual bool SendInt(std::int32_t number, std::int32_t value) = 0;   // 16-bit parameter
    virtual bool SendLong(std::int32_t number, std::int32_t value) = 0;  // 32-bit parameter
    // `count` words of `text` to parameters first, first + 1, ...
    virtual bool SendString(const Bytes& text, std::uint8_t first, std::uint8_t count) = 0;
};

// Hears every write to the converter before it goes out and its outcome
// after, so that a record of it is kept. Either may throw to stop the work
// (the general error box then says why); the write then does not go out,
// or its outcome is not recorded.
class TWriteJournal {
public:
    virtual ~TWriteJournal() = default;
    // `apply` makes the same write to another target (a block in memory).
    // False: the converter's settings could not be had (it did not
    // answer); the write does not go out.
    virtual bool BeforeWrite(std::int32_t number, const std::function<void(TCommitTarget&)>& apply) = 0;
    virtual void AfterWrite(bool acknowledged) = 0;
    // The block the form has just read from the converter.
    virtual void Loaded(const SettingsBlock& block) = 0;
};

// The converter: every write is an exchange on the line.
class TLinkTarget : public TCommitTarget {
public:
    explicit TLinkTarget(TDeviceLink& link) : link_(link) {}
    bool SendInt(std::int32_t number, std::int32_t value) override;
    bool SendLong(std::int32_t number, std::int32_t value) override;
    bool SendString(const Bytes& text, std::uint8_t first, std::uint8_t count) override;

    // nullptr: no journal.
    void SetJournal(TWriteJournal* journal) { journal_ = journal; }
    void Loaded(const SettingsBlock& block)
    {
        if (journal_ != nullptr)
            journal_->Loaded(block);
    }

private:
    bool Journaled(std::int32_t number, const std::function<void(TCommitTarget&)>& apply, const std::function<bool()>& send);

    TDeviceLink& link_;
    TWriteJournal* journal_ = nullptr;
};

// A block in memory that takes each write as the converter would store it:
// a 16-bit write its low 16 bits, a 32-bit write two words (high first), a
// text its words. A parameter outside 1..64 is refused, as the converter
// leaves it unanswered, and changes nothing.
class TBlockTarget : public TCommitTarget {
public:
    bool SendInt(std::int32_t number, std::int32_t value) override;
    bool SendLong(std::int32_t number, std::int32_t value) override;
    bool SendString(const Bytes& text, std::uint8_t first, std::uint8_t count) override;

    const SettingsBlock& Block() const { return block_; }
    void SetBlock(const SettingsBlock& block) { block_ = block; }
    // Hears the parameter number of every write that took effect (the
    // first one of a text).
    void SetOnWrite(std::function<void(std::int32_t number)> onWrite) { onWrite_ = std::move(onWrite); }

private:
    void Wrote(std::int32_t number);

    SettingsBlock block_;
    std::function<void(std::int32_t)> onWrite_;
};

} // namespace lk58
