#pragma once

#include "ctl/exitstatus.h"
#include "core/bytes.h"

#include <QJsonObject>
#include <QString>

namespace lk58::ctl {

// What one port's work reports while it runs.
class TPortEvents {
public:
    virtual ~TPortEvents() = default;
    // A step of the work: n of `count`; count 0 for a step without one.
    virtual void Progress(const QString& step, int n, int count) = 0;
    // Traffic: `what` is "request", "reply", "bad reply" (rejected by its
    // checksum or first byte) or "dropped" (bytes thrown away unjudged).
    virtual void Trace(const QString& what, const Bytes& bytes) = 0;
};

// One port's outcome.
struct TPortResult {
    QString port;
    TExit status = TExit::Ok;
    QString text;     // the result for standard output (lines, may be empty)
    QString error;    // why it failed, one line for standard error (empty: none)
    QJsonObject json; // the command's fields of the port's JSON object
    // The text is what the command was asked for (a file, a table), which
    // -q does not silence; otherwise it only says that all went well.
    bool isData = false;

    static TPortResult Failed(const QString& port, const TFailure& failure)
    {
        TPortResult r{port, failure.status, {}, failure.message, {}};
        if (failure.code != 0)
            r.json.insert("error_code", failure.code);
        return r;
    }
};

} // namespace lk58::ctl
