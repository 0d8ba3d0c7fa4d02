#pragma once

// The window's single-field writes in the converter's change log.

#include "config/history.h"
#include "settings/committarget.h"

#include <QString>

#include <functional>
#include <optional>

namespace lk58 {

class TDeviceLink;

// Keeps the converter's settings as they stand (from the last load, or
// read before the first write) and records each write in the converter's
// log before it goes out: the setting, its value before and after, the
// outcome once the converter has answered. A log that cannot be written
// stops the write (std::runtime_error with the reason).
class TChangeJournal : public TWriteJournal {
public:
    // `port` names the converter's port when a write is recorded.
    TChangeJournal(TDeviceLink& link, std::function<QString()> port);

    // Another converter (or the same one anew): its settings are read
    // before the next write.
    void Forget() { held_.reset(); }

    bool BeforeWrite(std::int32_t number, const std::function<void(TCommitTarget&)>& apply) override;
    void AfterWrite(bool acknowledged) override;
    void Loaded(const SettingsBlock& block) override { held_ = block; }

private:
    TDeviceLink& link_;
    std::function<QString()> port_;
    std::optional<SettingsBlock> held_;   // what the converter holds
    std::optional<SettingsBlock> after_;  // what it will hold once the write under way is taken
    std::unique_ptr<config::THistoryLog> log_;
    std::optional<config::HistoryRecord> record_;
};

} // namespace lk58
