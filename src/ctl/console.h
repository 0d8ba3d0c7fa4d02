#pragma once

#include "core/bytes.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <vector>

namespace lk58::ctl {

// Progress and traffic on standard error. On a terminal every port has one
// line that is rewritten in place (at most every 100 ms); otherwise each
// counted step is a plain "PORT: step n/k" line. Traffic lines go above the live
// lines. Quiet: no progress at all.
class TConsole {
public:
    TConsole(std::FILE* out, bool terminal, bool quiet);
    ~TConsole();
    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;

    // The ports whose lines are shown, in order; call once before the rest.
    void SetPorts(const QStringList& ports);
    void Progress(int port, const QString& step, int n, int count);
    void Trace(int port, const QString& what, const Bytes& bytes);
    // A line about port `port` (or the program, for -1) above the live lines.
    void Note(const QString& line);
    // Draws the live lines if a change is waiting for its turn.
    void Refresh();
    // Removes the live lines; further output goes below where they were.
    void Finish();

    // Standard error is a terminal that takes the line rewrites.
    static bool StderrIsTerminal();

private:
    void Draw(bool force);
    void Erase();
    void Put(const QString& text);

    std::FILE* out_;
    bool terminal_;
    bool quiet_;
    QStringList ports_;
    std::vector<QString> lines_;
    int width_ = 80; // terminal columns: a longer line would wrap and spoil the count
    int drawn_ = 0;  // live lines now on the screen
    bool dirty_ = false;
    QElapsedTimer sinceDraw_;
};

// The columns of the terminal that `out` writes to; 0 when unknown (one
// file per platform, as StderrIsTerminal).
int TerminalColumns(std::FILE* out);

// "FF BF BF"
QString HexBytes(const Bytes& bytes);

} // namespace lk58::ctl
