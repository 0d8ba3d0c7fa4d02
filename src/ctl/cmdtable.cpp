#include "ctl/cmdtable.h"

#include "ctl/commands.h"
#include "ctl/platformtexts.h"

#include <QCommandLineParser>

#include <algorithm>

namespace lk58::ctl {

namespace {

// The texts below are plain: the help prints them as they are, the manual
// page escapes them for roff.

struct TExitText {
    int status;
    const char* text;
};

const TExitText kExitTexts[] = {
    {0, "success"},
    {1, "differences found (diff only, as diff(1))"},
    {2, "usage error, a bad settings file, a file that cannot be written (a backup, read -o, "
        "the report), or output of read, show, diff, ports, report or --json that did not go out whole "
        "(a full disk, a closed pipe); nothing was written to the converter"},
    {3, "a port cannot be opened; the message says why"},
    {4, "the converter did not answer, a write was not acknowledged, the read-back check "
        "failed, or the run was interrupted"},
};

const char* const kIntro =
    "Reads, compares, restores and clones the settings of TQ36 temperature converters on serial "
    "ports, one or many at once. A settings file is the JSON file that LK58 saves. With several "
    "ports each port's outcome is on its own line (or JSON object) and the exit status is the "
    "worst one.";

const char* const kProgress =
    "On a terminal, write shows one live line per port on standard error (the setting being "
    "written, n of k); otherwise it prints plain \"PORT: step n/k\" lines. Results go to "
    "standard output. Ctrl+C, SIGTERM and a hang-up (SIGHUP) stop every port after its current "
    "write and report what was written, as a failed write does; a setting is never left half "
    "written. A closed standard output stops no write: what it does not take goes to standard "
    "error.";

const char* const kSimPorts =
    "A PORT named sim: is the simulated converter inside tq36ctl, at the line's pace, for trying "
    "commands, scripts and courses without hardware; sim:NAME is another one. Its settings last as "
    "long as the process (each port of a several-port run has its own) unless a block file keeps "
    "them: sim:?file=PATH. The faults of tq36-sim follow the name without their dashes, joined by &: "
    "\"sim:?silent=2&delay-ms=300\". The ports command does not list it.";

// The keys of `set` and of the settings file, with what they take.
struct TKeyText {
    const char* key;
    const char* values;
};

const TKeyText kKeyTexts[] = {
    {"type, serial", "text of up to 8 characters; write changes them only with --include-identity"},
    {"label", "text of up to 10 characters"},
    {"calibration_date", "YYYY-MM-DD, 1997-01-01 to 2096-12-31"},
    {"calibrated_by", "text of up to 15 characters"},
    {"input", "J, K, S, B or PT100"},
    {"cold_end_compensation, output_limit", "true or false"},
    {"set_temperature", "-99.9 to 999.9 (°C)"},
    {"wiring_resistance", "-99.99 to 999.99 (ohms)"},
    {"output", "0-10V, 0-20mA or 4-20mA"},
    {"range_begin, range_end", "-999 to 9999 (°C), the end above the begin"},
    {"input_error", "none, pulsation or 2mA"},
    {"wiring", "2/4-wire or 3-wire"},
};

const char* const kTexts = "Texts take the characters of Windows-1250 (Czech).";

QString BackupsText()
{
    return QStringLiteral("write and set save each converter's settings before the first write in "
                          "%1, named after the serial number and the time%2. Every file "
                          "tq36ctl writes (a backup, read -o, the report) is read back from disk before the run goes "
                          "on, and replaces an existing file only whole. A settings file over 1 MiB is refused.")
        .arg(QString::fromUtf8(kPlatformTexts.backupFolder), QString::fromUtf8(kPlatformTexts.backupNoFolder));
}

struct TExample {
    const char* what;
    const char* command; // %1 to %5: the system's port names
};

const TExample kExamples[] = {
    {"Back a converter up to a file:", "tq36ctl read %1 -o boiler2.json"},
    {"Clone it to a tray of four converters (each keeps its own type and serial number):",
     "tq36ctl write boiler2.json %2 %3 %4 %5"},
    {"Change single settings:", "tq36ctl set %1 label=\"Boiler 3\" range_end=450 output=4-20mA"},
    {"Try it on the simulated converter, kept in a block file between commands:",
     "tq36ctl set \"sim:?file=trial.block\" label=Trial"},
};

QString ExampleCommand(const TExample& e)
{
    QString command = QString::fromUtf8(e.command);
    for (int i = 0; i < 5; ++i)
        command.replace(QStringLiteral("%%1").arg(i + 1), QString::fromUtf8(kPlatformTexts.ports[i]));
    return command;
}

QString OptionLabel(const TOptionSpec& o)
{
    QStringList names;
    for (const QString& n : o.names)
        names << (n.size() == 1 ? "-" + n : "--" + n);
    QString label = names.join(", ");
    if (!o.valueName.isEmpty())
        label += ' ' + o.valueName;
    return label;
}

constexpr int kHelpWidth = 79;
constexpr int kLabelWidth = 26;

// `text` in lines of at most kHelpWidth columns, each after `indent` spaces.
QString Wrap(const QString& text, int indent)
{
    QString out, line;
    for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && indent + line.size() + 1 + word.size() > kHelpWidth) {
            out += QString(indent, ' ') + line + '\n';
            line.clear();
        }
        line += (line.isEmpty() ? "" : " ") + word;
    }
    return out + QString(indent, ' ') + line + '\n';
}

// "  label    text", the text on a line of its own when the label is long.
QString HelpItem(const QString& label, const QString& text)
{
    const int indent = 2 + kLabelWidth + 2;
    if (label.size() > kLabelWidth)
        return "  " + label + '\n' + Wrap(text, indent);
    return "  " + label.leftJustified(kLabelWidth) + "  " + Wrap(text, indent).mid(indent);
}

QString Roff(QString text)
{
    text.replace('\\', "\\e").replace('-', "\\-").replace(QChar(0xB0), "\\(de");
    if (text.startsWith('.') || text.startsWith('\''))
        text.prepend("\\&");
    return text;
}

QString RoffBoldSynopsis(const QString& synopsis)
{
    // The command's name in bold, its operands in italics where they are
    // placeholders (upper case).
    QStringList words;
    for (const QString& w : synopsis.split(' ')) {
        const bool placeholder = std::any_of(w.begin(), w.end(), [](QChar c) { return c.isUpper(); })
                                 && !w.startsWith("[-");
        words << (placeholder ? "\\fI" + Roff(w) + "\\fR" : "\\fB" + Roff(w) + "\\fR");
    }
    return words.join(' ');
}

} // namespace

const std::vector<TCommandSpec>& Commands()
{
    static const std::vector<TCommandSpec> commands{
        {"ports", "ports [--probe]", "real serial ports; --probe pings each and marks where a converter answers",
         "Lists the machine's serial ports in name order. With --probe each port is opened and pinged, "
         "all at once: a port that another program holds (by flock, TIOCEXCL or a live UUCP lock file) "
         "is reported busy and left alone, and nothing but the ping is sent to the others.",
         {}, {"probe"}, RunPorts},
        {"ping", "ping PORT", "is a converter there",
         "Opens PORT and pings it; exit status 0 when a converter answers.", {"PORT"}, {}, RunPing},
        {"read", "read PORT [-o FILE]", "the settings file (stdout without -o)",
         "Reads the converter's whole settings block and prints it as a settings file, or saves it "
         "to FILE.",
         {"PORT"}, {"output"}, RunRead},
        {"show", "show PORT [--lang cs|en]", "the settings as a readable table",
         "Reads the converter and prints its settings as a table, named as the window names them.",
         {"PORT"}, {"lang"}, RunShow},
        {"diff", "diff PORT FILE", "settings that differ",
         "Reads the converter and lists each setting that differs from FILE: the setting, the "
         "converter's value and the file's value. Exit status 1 when any differ.",
         {"PORT", "FILE"}, {}, RunDiff},
        {"write", "write FILE PORT... [--include-identity] [--dry-run] [--no-backup]",
         "restore / clone, verified, on every PORT at once",
         "Writes the settings of FILE to every PORT at once. Each converter is read first and its "
         "settings are saved as a backup before the first write; only the settings that differ are "
         "written, never type and serial number unless --include-identity is given, and every "
         "written setting is read back and checked. The report names each setting written and "
         "verified, each not written and each that failed, and the backup's path.",
         {"FILE", "PORT..."}, {"include-identity", "dry-run", "no-backup"}, RunWrite, true},
        {"set", "set PORT KEY=VALUE...", "change settings by the file's keys, verified",
         "Writes single settings named by the settings file's keys and values, e.g. "
         "label=\"Boiler 3\" range_end=450 output=4-20mA. Every pair is checked as the window checks "
         "its fields; when any is invalid nothing is written. A backup is saved first and the "
         "written settings are read back.",
         {"PORT", "KEY=VALUE..."}, {}, RunSet, true},
        {"report", "report PORT|FILE -o OUT.pdf [--lang cs|en] [--history N]", "a one-page PDF settings report",
         "Reads the converter on PORT, or the settings file FILE, and saves a one-page A4 report of its "
         "settings to OUT.pdf: identity, calibration, every setting named as the window names it, and "
         "the output characteristic from range begin to range end. A file's missing settings are "
         "marked as such. With --history N the converter's last N changes are listed under the "
         "characteristic, as many as the page holds. Needs no display.",
         {"PORT|FILE"}, {"output", "lang", "history"}, RunReport},
        {"history", "history PORT|SERIAL [--since DATE] [--before ID -o FILE]",
         "the converter's change log, newest first",
         "Prints the change log of the converter on PORT, or of the converter with serial number SERIAL, "
         "newest first: each setting LK58 or tq36ctl wrote, when, by whom, from which program and port, "
         "its value before and after, and whether the converter acknowledged it or the read-back "
         "verified it. --json prints the records as JSON Lines. With --before ID -o FILE it saves the "
         "settings as they stood before change ID as a settings file, for write to restore them. The log is "
         "the file TYPE-SERIAL.jsonl in the folder history beside the backups' folder; every write records "
         "each setting there before it goes out, and a log that cannot be written stops the write.",
         {"PORT|SERIAL"}, {"since", "before", "output"}, RunHistory},
    };
    return commands;
}

const std::vector<TOptionSpec>& Options()
{
    static const std::vector<TOptionSpec> options{
        {{"probe"}, {}, "ping each port and mark where a converter answers"},
        {{"o", "output"}, "FILE", "write to FILE instead of standard output"},
        {{"lang"}, "cs|en", "names of the settings in Czech (cs, the default) or English (en)"},
        {{"include-identity"}, {}, "also write type and serial number (a clone keeps the target's own)"},
        {{"dry-run"}, {}, "read each converter and list what would be written; write nothing"},
        {{"no-backup"}, {}, "save no backup before writing"},
        {{"since"}, "DATE", "only the changes from DATE on (2026-12-08, or a time in UTC)"},
        {{"before"}, "ID", "save the settings as they stood before change ID (with -o FILE)"},
        {{"history"}, "N", "list the converter's last N changes"},
        {{"json"}, {}, "one JSON object per port on standard output, then a summary object", true},
        {{"q", "quiet"}, {}, "no progress and no success lines; failures are still reported", true},
        {{"v", "verbose"}, {}, "every request and reply in hex on standard error", true},
        {{"h", "help"}, {}, "show this help and exit", true},
        {{"version"}, {}, "show the version and exit", true},
    };
    return options;
}

QStringList CommandsTaking(const QString& longName)
{
    QStringList names;
    for (const TCommandSpec& c : Commands())
        if (c.options.contains(longName))
            names << c.name;
    return names;
}

QString HelpText()
{
    QString h = "Usage: tq36ctl COMMAND [OPTION]... [ARGUMENT]...\n\n" + Wrap(kIntro, 0) + "\nCommands:\n";
    for (const TCommandSpec& c : Commands())
        h += HelpItem(c.synopsis, c.summary);
    h += "\nOptions:\n";
    for (const TOptionSpec& o : Options()) {
        const QString where = o.common ? QString() : " (" + CommandsTaking(o.LongName()).join(", ") + ")";
        h += HelpItem(OptionLabel(o), o.help + where);
    }
    h += "\nSettings (KEY=VALUE of set, keys of the settings file):\n";
    for (const TKeyText& k : kKeyTexts)
        h += HelpItem(k.key, k.values);
    h += Wrap(kTexts, 2);
    h += "\n" + Wrap(kProgress, 0) + "\n" + Wrap(kSimPorts, 0) + "\n" + Wrap(BackupsText(), 0) +
         "\nExit status:\n";
    for (const TExitText& e : kExitTexts)
        h += "  " + QString::number(e.status) + "  " + Wrap(e.text, 5).mid(5);
    h += "\nExamples:\n";
    for (const TExample& e : kExamples)
        h += Wrap(e.what, 2) + "    " + ExampleCommand(e) + '\n';
    return h;
}

QString ManPage(const QString& version)
{
    QString m = ".TH TQ36CTL 1 \"\" \"LK58 " + version + "\" \"User Commands\"\n";
    m += ".SH NAME\ntq36ctl \\- TQ36 converter settings from the command line\n";
    m += ".SH SYNOPSIS\n";
    for (const TCommandSpec& c : Commands())
        m += ".B tq36ctl\n" + RoffBoldSynopsis(c.synopsis) + "\n.br\n";
    m += ".SH DESCRIPTION\n" + Roff(kIntro) + "\n.PP\n" + Roff(kProgress) + "\n.PP\n" + Roff(kSimPorts) + "\n";
    m += ".SH COMMANDS\n";
    for (const TCommandSpec& c : Commands())
        m += ".TP\n" + RoffBoldSynopsis(c.synopsis) + "\n" + Roff(c.description) + "\n";
    m += ".SH OPTIONS\n";
    for (const TOptionSpec& o : Options()) {
        QStringList names;
        for (const QString& n : o.names)
            names << "\\fB" + Roff(n.size() == 1 ? "-" + n : "--" + n) + "\\fR";
        QString label = names.join(", ");
        if (!o.valueName.isEmpty())
            label += " \\fI" + Roff(o.valueName) + "\\fR";
        const QString where = o.common ? QString() : " (" + CommandsTaking(o.LongName()).join(", ") + ")";
        m += ".TP\n" + label + "\n" + Roff(o.help + where) + "\n";
    }
    m += ".SH SETTINGS\nThe keys of \\fBset\\fR and of the settings file:\n";
    for (const TKeyText& k : kKeyTexts)
        m += ".TP\n.B " + Roff(k.key) + "\n" + Roff(k.values) + "\n";
    m += ".PP\n" + Roff(kTexts) + "\n";
    m += ".SH FILES\n" + Roff(BackupsText()) + "\n";
    m += ".SH EXIT STATUS\n";
    for (const TExitText& e : kExitTexts)
        m += QStringLiteral(".TP\n.B %1\n%2\n").arg(e.status).arg(Roff(e.text));
    m += ".SH EXAMPLES\n";
    for (const TExample& e : kExamples)
        m += Roff(e.what) + "\n.PP\n.RS\n.nf\n" + Roff(ExampleCommand(e)) + "\n.fi\n.RE\n.PP\n";
    m += ".SH SEE ALSO\n.BR lk58 (1),\n.BR tq36\\-sim (1)\n";
    return m;
}

TInvocation ParseCommandLine(const QStringList& arguments)
{
    auto usage = [](const QString& message) { return TFailure{TExit::Usage, message}; };
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const TOptionSpec& o : Options())
        parser.addOption(o.valueName.isEmpty() ? QCommandLineOption(o.names, o.help)
                                               : QCommandLineOption(o.names, o.help, o.valueName));
    if (!parser.parse(QStringList{"tq36ctl"} + arguments))
        throw usage(parser.errorText());

    TInvocation inv;
    for (const TOptionSpec& o : Options()) {
        if (!parser.isSet(o.LongName()))
            continue;
        if (o.valueName.isEmpty())
            inv.flags.insert(o.LongName());
        else
            inv.values.insert(o.LongName(), parser.value(o.LongName()));
    }
    if (inv.Flag("help") || inv.Flag("version"))
        return inv;

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        throw usage("no command given");
    const QString name = positional.takeFirst();
    const auto& commands = Commands();
    const auto it = std::find_if(commands.begin(), commands.end(), [&](const TCommandSpec& c) { return c.name == name; });
    if (it == commands.end())
        throw usage("unknown command '" + name + "'");
    inv.command = &*it;
    inv.operands = positional;

    for (const TOptionSpec& o : Options())
        if (parser.isSet(o.LongName()) && !o.common && !it->options.contains(o.LongName()))
            throw usage(QStringLiteral("%1 does not take %2").arg(name, "--" + o.LongName()));
    const QStringList& want = it->operands;
    const bool more = !want.isEmpty() && want.last().endsWith("...");
    if (positional.size() < want.size() || (!more && positional.size() > want.size())) {
        const QString shape = want.isEmpty() ? "no arguments" : want.join(' ');
        throw usage(QStringLiteral("%1 takes %2").arg(name, shape));
    }
    if (inv.values.contains("lang") && inv.Value("lang") != "cs" && inv.Value("lang") != "en")
        throw usage("--lang takes cs or en, not '" + inv.Value("lang") + "'");
    return inv;
}

} // namespace lk58::ctl
