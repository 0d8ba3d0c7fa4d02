#pragma once

#include "ctl/cmdtable.h"
#include "ctl/console.h"
#include "ctl/portresult.h"

#include <vector>

namespace lk58::ctl {

// The commands' functions; each returns the exit status.
TExit RunPorts(const TInvocation& inv);
TExit RunPing(const TInvocation& inv);
TExit RunRead(const TInvocation& inv);
TExit RunShow(const TInvocation& inv);
TExit RunDiff(const TInvocation& inv);
TExit RunWrite(const TInvocation& inv);
TExit RunSet(const TInvocation& inv);
TExit RunReport(const TInvocation& inv);
TExit RunHistory(const TInvocation& inv);

// Pings every port at once, each from a worker of its own; a port held by
// another program fails its exclusive open (error_code EBUSY) and gets
// nothing. `verbose`: the traffic on `console`.
std::vector<TPortResult> ProbePorts(const QStringList& ports, bool verbose, TConsole& console);

} // namespace lk58::ctl
