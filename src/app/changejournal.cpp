#include "app/changejournal.h"

#include "config/restore.h"

#include <QCoreApplication>

#include <stdexcept>

namespace lk58 {

namespace {

std::optional<config::Key> KeyOfParameter(std::int32_t number)
{
    for (config::Key key : config::kKeys)
        if (config::KeySetting(key).number == number)
            return key;
    return std::nullopt;
}

} // namespace

TChangeJournal::TChangeJournal(TDeviceLink& link, std::function<QString()> port)
    : link_(link), port_(std::move(port))
{
}

bool TChangeJournal::BeforeWrite(std::int32_t number, const std::function<void(TCommitTarget&)>& apply)
{
    record_.reset();
    log_.reset();
    if (!held_ && !(held_ = config::ReadBlock(link_)))
        return false;
    TBlockTarget next;
    next.SetBlock(*held_);
    apply(next);
    after_ = next.Block();
    const std::optional<config::Key> key = KeyOfParameter(number);
    if (!key)
        return true;
    // Opened for each write: a file written from the window appends to
    // the same log in between.
    QString reason;
    log_ = config::THistoryLog::Open(config::HistoryPath(config::DefaultHistoryDir(), *held_), reason);
    if (!log_)
        throw std::runtime_error(reason.toStdString());
    config::HistoryRecord record = config::NewRecord(QStringLiteral("LK58 ") + QCoreApplication::applicationVersion(),
                                                     port_(), *key, config::FromBlock(*held_)[*key],
                                                     config::FromBlock(*after_)[*key]);
    reason = log_->Append(record);
    if (!reason.isEmpty())
        throw std::runtime_error(reason.toStdString());
    record_ = record;
    return true;
}

void TChangeJournal::AfterWrite(bool acknowledged)
{
    if (acknowledged)
        held_ = after_;
    if (!record_)
        return;
    QString reason = log_->Settle(*record_, acknowledged ? config::Outcome::Acknowledged : config::Outcome::Failed);
    if (reason.isEmpty())
        reason = log_->Sync();
    record_.reset();
    log_.reset();
    if (!reason.isEmpty())
        throw std::runtime_error(reason.toStdString());
}

} // namespace lk58
