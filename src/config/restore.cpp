#include "config/restore.h"

#include "config/history.h"
#include "config/values.h"
#include "link/frame.h"

#include <QDir>

#include <exception>
#include <span>

namespace lk58::config {

std::vector<Difference> Diff(const Settings& file, const SettingsBlock& converter)
{
    std::vector<Difference> diff;
    for (Key key : kKeys) {
        if (!file.Has(key))
            continue;
        std::optional<Value> held = BlockValue(key, converter);
        if (held != file[key])
            diff.push_back({key, std::move(held), *file[key]});
    }
    return diff;
}

int WritePlan::Frames() const
{
    int frames = 0;
    for (const PlannedWrite& w : writes)
        frames += w.Frames();
    return frames;
}

namespace {

PlannedWrite PlanWrite(Key key, const Value& wanted)
{
    const SettingInfo& s = KeySetting(key);
    PlannedWrite w{key, s.write, s.number, 0, {}, 0, wanted};
    if (s.kind == FieldKind::Date) {
        w.text = EncodeDateField(std::get<std::chrono::year_month_day>(wanted));
        w.words = s.words;
    } else if (s.kind == FieldKind::Text) {
        w.text = std::get<Bytes>(wanted);
        w.words = s.words;
    } else {
        w.value = std::get<std::int32_t>(wanted);
    }
    return w;
}

std::optional<std::int32_t> Planned(const std::vector<PlannedWrite>& writes, Key key)
{
    for (const PlannedWrite& w : writes)
        if (w.key == key)
            return w.value;
    return std::nullopt;
}

// The range as the converter will hold it after the plan; a problem when
// its end is not above its begin. Both changing: the first write must not
// cross the other end as the converter still holds it.
void OrderRange(WritePlan& plan, const SettingsBlock& converter)
{
    const std::optional<std::int32_t> newBegin = Planned(plan.writes, Key::RangeBegin);
    const std::optional<std::int32_t> newEnd = Planned(plan.writes, Key::RangeEnd);
    if (!newBegin && !newEnd)
        return;
    const std::int32_t oldBegin = DecodeNumber(converter, kRangeBegin);
    const std::int32_t oldEnd = DecodeNumber(converter, kRangeEnd);
    const std::int32_t begin = newBegin.value_or(oldBegin), end = newEnd.value_or(oldEnd);
    if (!RangeInOrder(begin, end)) {
        plan.problems.push_back(PlannedRangeProblem(newBegin, newEnd, oldBegin, oldEnd));
        return;
    }
    if (!newBegin || !newEnd)
        return;
    // A new begin below the old end goes first; otherwise the end moves up
    // first (above the new begin, so above the old end too).
    const bool beginFirst = *newBegin < oldEnd;
    auto at = [&](Key key) {
        return std::find_if(plan.writes.begin(), plan.writes.end(), [&](const PlannedWrite& w) { return w.key == key; });
    };
    const auto b = at(Key::RangeBegin), e = at(Key::RangeEnd);
    if ((b < e) != beginFirst)
        std::iter_swap(b, e);
}

} // namespace

WritePlan MakePlan(const std::vector<Difference>& diff, const SettingsBlock& converter, const PlanOptions& options)
{
    WritePlan plan;
    for (const Difference& d : diff) {
        if (IsIdentity(d.key) && !options.includeIdentity)
            plan.leftOut.push_back(d.key);
        else
            plan.writes.push_back(PlanWrite(d.key, d.file));
    }
    OrderRange(plan, converter);
    return plan;
}

std::optional<SettingsBlock> ReadBlock(TDeviceLink& link)
{
    if (!link.ReadAll() || link.RxBuffer.size() < kReadAllReplySize)
        return std::nullopt;
    // Bytes that followed the reply stay behind it.
    return SettingsBlock::FromReply(std::span(link.RxBuffer).first(kReadAllReplySize));
}

std::string NoAnswerText(const TDeviceLink& link)
{
    return link.Damaged() ? "the converter answered with a damaged reply" : "the converter did not answer";
}

std::string_view StatusName(SettingStatus status)
{
    switch (status) {
    case SettingStatus::Verified:
        return "verified";
    case SettingStatus::Failed:
        return "failed";
    case SettingStatus::Unverified:
        return "not verified";
    case SettingStatus::NotWritten:
        return "not written";
    }
    return "";
}

namespace {

// An exchange's result; a port error counts as no answer, and its text is
// kept for the report.
template <class F>
bool Exchange(F&& f, std::string& error)
{
    try {
        return f();
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

// An exchange that may safely be repeated gets a second try when the
// converter did not answer it, so that one glitch on the line costs a retry,
// not the run. A port error is not tried again.
template <class F>
bool Repeatable(F&& f, std::string& error)
{
    std::string failure;
    bool ok = Exchange(f, failure);
    if (!ok && failure.empty())
        ok = Exchange(f, failure);
    if (!failure.empty())
        error = failure;
    return ok;
}

std::optional<SettingsBlock> ReadRepeatable(TDeviceLink& link, std::string& error)
{
    std::optional<SettingsBlock> block;
    Repeatable([&] { return (block = ReadBlock(link)).has_value(); }, error);
    return block;
}

// Writes one setting frame by frame, as SendString does for a text, so that
// the report can count the frames the converter acknowledged.
bool WriteSetting(TDeviceLink& link, const PlannedWrite& w, int& framesAcknowledged, std::string& error)
{
    if (w.kind == WriteKind::Long32) {
        const bool ok = Repeatable([&] { return link.SendLong(w.number, w.value); }, error);
        framesAcknowledged += ok ? 1 : 0;
        return ok;
    }
    if (w.kind == WriteKind::Int16) {
        const bool ok = Exchange([&] { return link.SendInt(w.number, w.value); }, error);
        framesAcknowledged += ok ? 1 : 0;
        return ok;
    }
    const std::vector<std::uint16_t> words = TextWords(w.text, w.words);
    for (std::size_t k = 0; k < words.size(); ++k) {
        if (!Exchange([&] { return link.SendInt(w.number + static_cast<std::int32_t>(k), words[k]); }, error))
            return false;
        ++framesAcknowledged;
    }
    return true;
}

QString ProgramName(const RestoreOptions& options)
{
    return options.program.isEmpty() ? QStringLiteral("LK58 " LK58_VERSION) : options.program;
}

// A read-back that failed twice: a converter that still answers a ping is
// there, and only its read-back failed; one that does not is lost.
void JudgeFailedReadBack(TDeviceLink& link, RestoreOutcome& outcome, const std::string& portError)
{
    std::string failure = portError;
    if (failure.empty()) {
        failure = link.Damaged() ? "the converter answered the read-back with a damaged reply"
                                 : "the converter did not answer the read-back";
        std::string pingError;
        outcome.lost = !Exchange([&] { return link.Ping(); }, pingError);
        failure += outcome.lost ? ", nor a ping" : ", though it answers a ping";
    } else {
        outcome.lost = true;
    }
    if (outcome.error.empty())
        outcome.error = failure;
}

// Reads back and judges every write that was acknowledged; the one that
// failed gets the value it now holds too, since a text may be half written.
void Check(TDeviceLink& link, RestoreOutcome& outcome)
{
    std::string error;
    outcome.after = ReadRepeatable(link, error);
    bool allVerified = true;
    for (SettingReport& r : outcome.settings) {
        if (outcome.after)
            r.readBack = BlockValue(r.key, *outcome.after);
        if (r.status == SettingStatus::NotWritten)
            continue;
        if (!outcome.after) {
            if (r.acknowledged)
                r.status = SettingStatus::Unverified;
            allVerified = false;
            continue;
        }
        if (r.acknowledged)
            r.status = r.readBack == r.wanted ? SettingStatus::Verified : SettingStatus::Failed;
        allVerified = allVerified && r.status == SettingStatus::Verified;
    }
    if (outcome.status == RunStatus::Done && !allVerified)
        outcome.status = RunStatus::CheckFailed;
    if (!outcome.after)
        JudgeFailedReadBack(link, outcome, error);
}

// The run's records in the converter's change log, one per planned write.
class TRunLog {
public:
    // Opens the log of the converter read before the run; false, with the
    // reason in `outcome`, when it cannot be had.
    bool Open(const RestoreOptions& options, RestoreOutcome& outcome)
    {
        program_ = !options.historyProgram.isEmpty() ? options.historyProgram : ProgramName(options);
        port_ = options.port;
        QString reason;
        try {
            const QString dir = options.historyDir.isEmpty() ? DefaultHistoryDir() : options.historyDir;
            log_ = THistoryLog::Open(HistoryPath(dir, *outcome.before), reason);
        } catch (const std::exception& e) {
            reason = QString::fromLocal8Bit(e.what());
        }
        if (!log_)
            return Fail(outcome, reason);
        outcome.historyPath = QDir::toNativeSeparators(log_->Path());
        return true;
    }

    // Before write `i` goes out: its record, synced with what came before.
    bool Before(std::size_t i, RestoreOutcome& outcome)
    {
        if (!log_)
            return true;
        const SettingReport& s = outcome.settings[i];
        records_.push_back(NewRecord(program_, port_, s.key, s.before, s.wanted));
        return Fail(outcome, log_->Append(records_.back()));
    }

    // After write `i`: acknowledged or not.
    bool After(std::size_t i, RestoreOutcome& outcome)
    {
        if (!log_)
            return true;
        return Fail(outcome, log_->Settle(records_[i], outcome.settings[i].acknowledged ? Outcome::Acknowledged : Outcome::Failed));
    }

    // After the read-back: what it showed of each acknowledged write.
    void Checked(RestoreOutcome& outcome)
    {
        if (!log_)
            return;
        QString reason;
        for (std::size_t i = 0; i < records_.size() && reason.isEmpty(); ++i) {
            const SettingStatus status = outcome.settings[i].status;
            if (status == SettingStatus::Verified || (status == SettingStatus::Failed && outcome.settings[i].acknowledged))
                reason = log_->Settle(records_[i], status == SettingStatus::Verified ? Outcome::Verified : Outcome::Failed);
        }
        if (reason.isEmpty())
            reason = log_->Sync();
        Fail(outcome, reason);
    }

private:
    // True when `reason` is empty; otherwise the run's status says the log failed.
    static bool Fail(RestoreOutcome& outcome, const QString& reason)
    {
        if (reason.isEmpty())
            return true;
        if (outcome.status == RunStatus::Done || outcome.status == RunStatus::NotRead
            || outcome.status == RunStatus::CheckFailed || outcome.status == RunStatus::Cancelled)
            outcome.status = RunStatus::LogFailed;
        outcome.error += (outcome.error.empty() ? "" : "; ") + reason.toStdString();
        return false;
    }

    std::unique_ptr<THistoryLog> log_;
    std::vector<HistoryRecord> records_;
    QString program_, port_;
};

} // namespace

RestoreOutcome Restore(TDeviceLink& link, const Settings& file, const RestoreOptions& options)
{
    RestoreOutcome outcome;
    outcome.before = ReadRepeatable(link, outcome.error);
    if (!outcome.before) {
        outcome.status = RunStatus::NotRead;
        outcome.damaged = link.Damaged();
        if (outcome.error.empty())
            outcome.error = NoAnswerText(link);
        return outcome;
    }
    const WritePlan plan = MakePlan(Diff(file, *outcome.before), *outcome.before, {options.includeIdentity});
    outcome.leftOut = plan.leftOut;
    outcome.framesPlanned = plan.Frames();
    if (!plan.problems.empty()) {
        outcome.status = RunStatus::Rejected;
        outcome.problems = plan.problems;
        return outcome;
    }
    if (plan.writes.empty()) {
        outcome.status = RunStatus::Unchanged;
        return outcome;
    }
    try {
        if (options.backup) {
            const QDateTime now = options.now.isValid() ? options.now : QDateTime::currentDateTime();
            outcome.backupPath = WriteBackup(*outcome.before, options.backupDir.isEmpty() ? DefaultBackupDir() : options.backupDir,
                                             now, ProgramName(options));
        }
    } catch (const std::exception& e) {
        outcome.status = RunStatus::BackupFailed;
        outcome.error = e.what();
        return outcome;
    }
    // The backup first: the log's own failure then leaves one behind too.
    TRunLog log;
    if (options.keepHistory && !log.Open(options, outcome))
        return outcome;
    for (const PlannedWrite& w : plan.writes)
        outcome.settings.push_back({w.key, SettingStatus::NotWritten, w.wanted, BlockValue(w.key, *outcome.before), {}, false});
    outcome.status = RunStatus::Done;
    const int count = static_cast<int>(plan.writes.size());
    for (int i = 0; i < count; ++i) {
        if (options.cancelRequested && options.cancelRequested()) {
            outcome.status = RunStatus::Cancelled;
            break;
        }
        if (options.onProgress)
            options.onProgress(plan.writes[i].key, i + 1, count);
        if (!log.Before(std::size_t(i), outcome))
            break;
        SettingReport& report = outcome.settings[i];
        report.acknowledged = WriteSetting(link, plan.writes[i], outcome.framesAcknowledged, outcome.error);
        const bool logged = log.After(std::size_t(i), outcome);
        if (!report.acknowledged) {
            report.status = SettingStatus::Failed;
            outcome.status = RunStatus::Lost;
            outcome.damaged = link.Damaged();
            if (outcome.error.empty())
                outcome.error = (link.Damaged() ? "the converter's acknowledgement was damaged for "
                                                : "the converter did not acknowledge ")
                    + std::string(KeyName(plan.writes[i].key));
            break;
        }
        report.status = SettingStatus::Unverified;
        if (!logged)
            break;
    }
    Check(link, outcome);
    log.Checked(outcome);
    return outcome;
}

} // namespace lk58::config
