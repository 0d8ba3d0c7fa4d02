#include "sim/options.h"

#include "sim/protocol.h"

#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

namespace lk58::sim {

namespace {
enum OptionId {
    kLink = 1000, kDevice, kLoad, kSave, kNoPacing, kGap, kSilent, kAnswerFrom, kCorrupt,
    kWrongFirst, kSplit, kSplitAt, kSplitPause, kExtra, kExtraBytes, kDelay, kDelayMs, kFaultsOn,
    kRandomFaults, kSeed, kCut, kCutAt, kLate, kSurplus,
};

const option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"verbose", no_argument, nullptr, 'v'},
    {"link", required_argument, nullptr, kLink},
    {"device", required_argument, nullptr, kDevice},
    {"load", required_argument, nullptr, kLoad},
    {"save", required_argument, nullptr, kSave},
    {"no-pacing", no_argument, nullptr, kNoPacing},
    {"gap", required_argument, nullptr, kGap},
    {"silent", optional_argument, nullptr, kSilent},
    {"answer-from", required_argument, nullptr, kAnswerFrom},
    {"corrupt-checksum", optional_argument, nullptr, kCorrupt},
    {"wrong-first-byte", optional_argument, nullptr, kWrongFirst},
    {"split", optional_argument, nullptr, kSplit},
    {"split-at", required_argument, nullptr, kSplitAt},
    {"split-pause", required_argument, nullptr, kSplitPause},
    {"extra", optional_argument, nullptr, kExtra},
    {"extra-bytes", required_argument, nullptr, kExtraBytes},
    {"delay", optional_argument, nullptr, kDelay},
    {"delay-ms", required_argument, nullptr, kDelayMs},
    {"cut", optional_argument, nullptr, kCut},
    {"cut-at", required_argument, nullptr, kCutAt},
    {"late", optional_argument, nullptr, kLate},
    {"surplus", optional_argument, nullptr, kSurplus},
    {"faults-on", required_argument, nullptr, kFaultsOn},
    {"random-faults", required_argument, nullptr, kRandomFaults},
    {"seed", required_argument, nullptr, kSeed},
    {nullptr, 0, nullptr, 0},
};

bool ParseInt(const char* text, int low, int high, int& value)
{
    if (!text || !*text)
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool ParsePercent(const char* text, double& value)
{
    if (!text || !*text)
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !(v >= 0 && v <= 100))
        return false;
    value = v;
    return true;
}

bool ParseHexBytes(const std::string& text, Bytes& out)
{
    std::string digits;
    for (char c : text)
        if (c != ' ' && c != ':' && c != ',')
            digits += c;
    if (digits.empty() || digits.size() % 2 != 0)
        return false;
    out.clear();
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = digits.substr(i, 2);
        const unsigned long v = std::strtoul(pair.c_str(), &end, 16);
        if (*end != '\0' || pair.find_first_of("+-") != std::string::npos)
            return false;
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return true;
}

bool ParseKinds(const std::string& text, unsigned& kinds)
{
    kinds = 0;
    std::istringstream in(text);
    std::string word;
    while (std::getline(in, word, ',')) {
        if (word == "ping")
            kinds |= kOnPing;
        else if (word == "read-all")
            kinds |= kOnReadAll;
        else if (word == "write")
            kinds |= kOnWrite;
        else
            return false;
    }
    return kinds != 0;
}

bool SetFault(ProgramOptions& o, Fault fault, const char* arg)
{
    FaultOption& f = o.faults[static_cast<std::size_t>(fault)];
    f.on = true;
    f.count = kEveryReply;
    return !arg || ParseInt(arg, 1, INT_MAX, f.count);
}

// False when the value does not parse.
bool Apply(ProgramOptions& o, int id, const char* arg)
{
    switch (id) {
    case 'h': o.help = true; return true;
    case 'v': o.verbose = true; return true;
    case kLink: o.link = arg; return !o.link.empty();
    case kDevice: o.device = arg; return !o.device.empty();
    case kLoad: o.load = arg; return !o.load.empty();
    case kSave: o.save = arg; return !o.save.empty();
    case kNoPacing: o.pacing = false; return true;
    case kGap: return ParseInt(arg, 1, 60000, o.gapMs);
    case kSilent: return SetFault(o, Fault::Silent, arg);
    case kAnswerFrom: {
        int n = 0;
        if (!ParseInt(arg, 1, INT_MAX, n))
            return false;
        o.faults[static_cast<std::size_t>(Fault::Silent)] = {n > 1, n - 1};
        return true;
    }
    case kCorrupt: return SetFault(o, Fault::CorruptChecksum, arg);
    case kWrongFirst: return SetFault(o, Fault::WrongFirstByte, arg);
    case kSplit: return SetFault(o, Fault::Split, arg);
    case kSplitAt: return ParseInt(arg, 1, 1000, o.splitAt);
    case kSplitPause: return ParseInt(arg, 0, 60000, o.splitPauseMs);
    case kExtra: return SetFault(o, Fault::ExtraBytes, arg);
    case kExtraBytes: return ParseHexBytes(arg, o.extra);
    case kDelay: return SetFault(o, Fault::Delay, arg);
    case kDelayMs: return ParseInt(arg, 0, 600000, o.delayMs);
    case kCut: return SetFault(o, Fault::Cut, arg);
    case kCutAt: return ParseInt(arg, 1, 1000, o.cutAt);
    case kLate: return SetFault(o, Fault::Late, arg);
    case kSurplus: return SetFault(o, Fault::Surplus, arg);
    case kFaultsOn: return ParseKinds(arg, o.kinds);
    case kRandomFaults: return ParsePercent(arg, o.randomPercent);
    case kSeed: return ParseInt(arg, 0, INT_MAX, o.seed);
    }
    return false;
}

std::string OptionName(int id)
{
    for (const option& o : kLongOptions)
        if (o.name && o.val == id)
            return std::string("--") + o.name;
    return "?";
}
} // namespace

bool ParseOptions(int argc, char** argv, ProgramOptions& options, std::string& error)
{
    optind = 1;
    opterr = 0;
    for (;;) {
        const int id = getopt_long(argc, argv, ":hv", kLongOptions, nullptr);
        if (id == -1)
            break;
        if (id == '?' || id == ':') {
            const std::string given = optind > 0 && optind <= argc ? argv[optind - 1] : "";
            error = id == ':' ? "option " + given + " needs a value" : "unknown option " + given;
            return false;
        }
        if (!Apply(options, id, optarg)) {
            error = "invalid value for " + OptionName(id) + ": '" + (optarg ? optarg : "") + "'";
            return false;
        }
    }
    if (optind < argc) {
        error = std::string("unexpected argument '") + argv[optind] + "'";
        return false;
    }
    if (!options.link.empty() && !options.device.empty()) {
        error = "--link and --device exclude each other";
        return false;
    }
    return true;
}

bool ApplyNamedOption(ProgramOptions& options, const std::string& name, const char* value, std::string& error)
{
    for (const option& o : kLongOptions) {
        if (!o.name || name != o.name)
            continue;
        const bool shapesLine = o.val == kLink || o.val == kDevice || o.val == kLoad || o.val == kSave ||
                                o.val == 'h' || o.val == 'v';
        if (shapesLine)
            break;
        if (o.has_arg == required_argument && !value) {
            error = name + " needs a value";
            return false;
        }
        if (o.has_arg == no_argument && value) {
            error = name + " takes no value";
            return false;
        }
        if (!Apply(options, o.val, value)) {
            error = "invalid value for " + name + ": '" + (value ? value : "") + "'";
            return false;
        }
        return true;
    }
    error = "unknown option " + name;
    return false;
}

void ApplyOptions(const ProgramOptions& o, Tq36Simulator& simulator)
{
    simulator.SetPacing(o.pacing);
    simulator.SetGap(std::chrono::milliseconds(o.gapMs));
    simulator.SetDelay(std::chrono::milliseconds(o.delayMs));
    simulator.SetSplit(static_cast<std::size_t>(o.splitAt), std::chrono::milliseconds(o.splitPauseMs));
    simulator.SetExtraBytes(o.extra);
    simulator.SetCut(static_cast<std::size_t>(o.cutAt));
    for (std::size_t i = 0; i < o.faults.size(); ++i)
        if (o.faults[i].on)
            simulator.SetFault(static_cast<Fault>(i), o.faults[i].count, o.kinds);
    simulator.SetRandomFaults(static_cast<std::uint32_t>(o.seed), o.randomPercent / 100.0, o.kinds);
}

} // namespace lk58::sim

namespace lk58::sim {

std::string UsageText()
{
    return R"(Usage: tq36-sim [OPTION]...
A simulated TQ36 temperature converter. It makes a pseudo-terminal, prints the
device path for the configuration program to open, and answers ping, read-all
and write requests until it is stopped (SIGINT, SIGTERM or SIGHUP).

Line:
  --link PATH            also make PATH a symbolic link to the pseudo-terminal
                         (an old link there is replaced; removed on exit)
  --device PATH          serve this serial device instead, raw 4800 8N1
                         (a null-modem cable to the program's port)
  --no-pacing            answer at once, not at the pace of 4800 baud
  --gap MS               silence after which an incomplete request is
                         dropped (default 30)

Settings block:
  --load FILE            start with the block from FILE (default: built-in
                         factory settings)
  --save FILE            write the block to FILE after each write and on exit
                         Block files hold one line a parameter, "NN XXXX":
                         the number and its word in hex; '#' starts a comment.

Traffic:
  -v, --verbose          print every request and reply, in hex with its
                         meaning, on standard error

Faults (COUNT: only the next COUNT requests with a valid checksum;
without it, every request):
  --silent[=COUNT]       no reply; the request has no effect
  --answer-from N        answer only the N-th request and those after it
  --corrupt-checksum[=COUNT]
                         invert the reply's last checksum byte
  --wrong-first-byte[=COUNT]
                         acknowledge a write with the parameter number itself
                         instead of number - 1; ping reply FE, read-all FF
  --split[=COUNT]        send the reply in two pieces with a pause between
  --split-at BYTES       size of the first piece (default: half the reply)
  --split-pause MS       pause between the pieces (default 30)
  --extra[=COUNT]        append extra bytes to the reply
  --extra-bytes HEX      the extra bytes (default 00), e.g. "55AA"
  --delay[=COUNT]        wait before replying
  --delay-ms MS          how long (default 200: beyond the 150 ms that LK58
                         waits for a ping reply or a 16-bit write's ack)
  --cut[=COUNT]          send only the reply's head; its tail never comes
  --cut-at BYTES         bytes the cut reply keeps (default: half the reply)
  --late[=COUNT]         hold the reply back until the next request comes,
                         and send it in front of that request's reply
  --surplus[=COUNT]      send the reply, and once more in front of the reply
                         to the next request
  --faults-on KINDS      faults act only on these requests: a comma list of
                         ping, read-all, write (default: all)
  --random-faults PERCENT
                         besides the faults above, each request meets each
                         fault by chance, PERCENT of the time (e.g. 2)
  --seed N               start the chance faults from N (default 1): the same
                         seed and requests give the same faults

  -h, --help             show this help and exit

Writes: parameter 63 takes the whole 32-bit value into words 63 and 64;
every other parameter takes the low 16 bits. A write to a parameter outside
1..64, and a request with a bad checksum, get no reply.

Exit status: 0 after a stop signal, 1 on a failure (a block file that
does not read, a device that does not open), 2 on a usage error.
)";
}

} // namespace lk58::sim
