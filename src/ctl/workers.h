#pragma once

#include "ctl/console.h"
#include "ctl/portresult.h"

#include <QStringList>

#include <cstdio>
#include <functional>
#include <vector>

namespace lk58::ctl {

// Several ports at once: each port's work runs in a process of its own (this
// program, started again for that one port with --worker), with its own
// port, device link and event loop, so that the ports' reply waits neither
// nest nor take turns, and a failing port cannot stop or slow the others.
// A worker reports to its parent as one JSON object a line on its standard
// output: progress and traffic while it works, its result at the end.

// The worker's side: events and the result as lines on `out`.
class TWorkerEvents : public TPortEvents {
public:
    explicit TWorkerEvents(std::FILE* out) : out_(out) {}
    void Progress(const QString& step, int n, int count) override;
    void Trace(const QString& what, const Bytes& bytes) override;
    void Result(const TPortResult& result);

private:
    std::FILE* out_;
};

// The program that workers run: this one unless set (tests set the built
// tq36ctl, as they are programs of their own).
void SetWorkerProgram(const QString& path);

// The parent's side: runs `argsFor(port)` (a command line for one port) for
// every port at once, shows their progress and traffic on `console`, and
// returns each port's result in the order of `ports`. Every worker reads
// `input` as its standard input (a settings file read once by the parent:
// a pipe cannot be read again). A worker that ends without a result gets
// the status it exited with (what it met), or that of a port that did not
// answer when it was killed.
std::vector<TPortResult> RunWorkers(const QStringList& ports,
                                    const std::function<QStringList(const QString&)>& argsFor,
                                    TConsole& console, const QByteArray& input = {});

// Decodes one line of a worker's report, feeding progress and traffic to
// `console` (port `index`); returns true and fills `result` for a result.
bool HandleWorkerLine(const QByteArray& line, int index, TConsole& console, TPortResult& result);

} // namespace lk58::ctl
