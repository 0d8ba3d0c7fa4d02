#include "ctl/console.h"

namespace lk58::ctl {

namespace {
constexpr int kRedrawMs = 100;
}

QString HexBytes(const Bytes& bytes)
{
    QString hex;
    for (std::uint8_t b : bytes) {
        if (!hex.isEmpty())
            hex += ' ';
        hex += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    return hex;
}

TConsole::TConsole(std::FILE* out, bool terminal, bool quiet) : out_(out), terminal_(terminal), quiet_(quiet)
{
    if (const int columns = terminal_ ? TerminalColumns(out_) : 0; columns > 1)
        width_ = columns;
}

TConsole::~TConsole()
{
    Finish();
}

void TConsole::SetPorts(const QStringList& ports)
{
    ports_ = ports;
    lines_.assign(ports.size(), QString());
}

void TConsole::Progress(int port, const QString& step, int n, int count)
{
    if (quiet_ || port < 0 || port >= ports_.size())
        return;
    QString line = ports_[port] + ": " + step;
    if (count > 0)
        line += QStringLiteral(" %1/%2").arg(n).arg(count);
    if (!terminal_) {
        // A log keeps the writes; steps without a count would only be noise.
        if (count > 0)
            Put(line + '\n');
        return;
    }
    lines_[port] = line;
    dirty_ = true;
    Draw(false);
}

void TConsole::Trace(int port, const QString& what, const Bytes& bytes)
{
    const QString who = port >= 0 && port < ports_.size() ? ports_[port] : QString();
    const bool request = what == QLatin1String("request");
    QString line = who + (request ? " > " : " < ") + HexBytes(bytes);
    if (!request && what != QLatin1String("reply"))
        line += " (" + what + ")";
    Note(line);
}

void TConsole::Note(const QString& line)
{
    Erase();
    Put(line + '\n');
    if (terminal_ && !quiet_)
        Draw(true);
}

void TConsole::Refresh()
{
    if (terminal_ && dirty_)
        Draw(false);
}

void TConsole::Finish()
{
    Erase();
    lines_.assign(ports_.size(), QString());
}

void TConsole::Draw(bool force)
{
    // A terminal is slow to redraw many lines; a person reads no faster.
    if (!force && drawn_ > 0 && sinceDraw_.isValid() && sinceDraw_.elapsed() < kRedrawMs)
        return;
    Erase();
    QString block;
    for (const QString& line : lines_)
        if (!line.isEmpty()) {
            block += line.left(width_ - 1) + '\n';
            ++drawn_;
        }
    Put(block);
    dirty_ = false;
    sinceDraw_.start();
}

void TConsole::Erase()
{
    if (drawn_ == 0)
        return;
    // Up to the first live line, then clear to the end of the screen.
    Put(QStringLiteral("\x1b[%1A\r\x1b[J").arg(drawn_));
    drawn_ = 0;
}

void TConsole::Put(const QString& text)
{
    if (text.isEmpty())
        return;
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), out_);
    std::fflush(out_);
}

} // namespace lk58::ctl
