#pragma once

#include "ctl/exitstatus.h"
#include "serial/comport.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

#include <string>

namespace lk58::ctl {

// Sets the converter's line (4800 baud, 8N1, DTR off, RTS on) on `port`,
// opens `path` for exclusive use and purges it. A port that will not open
// throws TFailure (status NoPort) whose message says why and, where the
// user can do something about it, what.
void OpenConverterPort(TComPort& port, const QString& path);

// Why a port would not open, from the system's error code and text: the
// cause in the user's terms and, for a permission problem, the cure.
// `path` is the device (its group is named when it can be read).
QString ExplainOpenError(int code, const std::string& systemText, const QString& path);

// What the failure to open `path` with the converter's line says to the
// user: why it would not open, or the line setting the port refused.
QString OpenFailureText(const EComError& error, const QString& path);

// The platform's part of that: the cause (and cure) that the system's error
// `code` stands for, or an empty text where the system's own text says it
// (one file per platform).
QString OpenErrorCause(int code, const QString& path);

// True when `a` and `b` name the same port: the same path, or two names of
// one device (a link and its target), known by its device number, so that
// no port is opened twice in one run (one file per platform).
bool SamePort(const QString& a, const QString& b);

// The first two of `ports` (their indexes) that name the same port.
std::optional<std::pair<int, int>> RepeatedPort(const QStringList& ports);

} // namespace lk58::ctl
