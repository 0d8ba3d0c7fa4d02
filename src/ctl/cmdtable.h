#pragma once

#include "ctl/exitstatus.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

namespace lk58::ctl {

struct TCommandSpec;

// A parsed command line: the command, its operands and the options given.
struct TInvocation {
    const TCommandSpec* command = nullptr;
    QStringList operands;
    QSet<QString> flags;            // long names of the flags given: "json", "probe"...
    QHash<QString, QString> values; // long name -> value: "output", "lang"
    // Set when this process serves one port of a several-port run and
    // reports to its parent as event lines on standard output.
    bool worker = false;

    bool Flag(const QString& name) const { return flags.contains(name); }
    QString Value(const QString& name) const { return values.value(name); }
};

using TCommandFn = TExit (*)(const TInvocation&);

// One command: its name, its synopsis as the help shows it, a one-line
// summary, a paragraph for the manual, the operands it takes (the last may
// end in "..." for one or more), the long names of the options it takes
// besides the common ones, the function that runs it, and whether it
// writes to converters (then Ctrl+C lets the write under way finish).
struct TCommandSpec {
    QString name;
    QString synopsis;
    QString summary;
    QString description;
    QStringList operands;
    QStringList options;
    TCommandFn run = nullptr;
    bool writes = false;
};

// One option: its names (short first where it has one), the value's name
// (empty for a flag), its help, and whether every command takes it.
struct TOptionSpec {
    QStringList names;
    QString valueName;
    QString help;
    bool common = false;

    QString LongName() const { return names.last(); }
};

// The commands that take option `longName`, by name.
QStringList CommandsTaking(const QString& longName);

// The program's one table of commands and options: the parser, --help and
// the manual page are all made from it. Adding a command is one entry in
// Commands() plus its function.
const std::vector<TCommandSpec>& Commands();
const std::vector<TOptionSpec>& Options();

// The complete --help text and the roff source of tq36ctl(1).
QString HelpText();
QString ManPage(const QString& version);

// Parses the arguments after the program's name. Throws TFailure with
// status Usage on a usage error; --help and --version come back as flags
// with no command.
TInvocation ParseCommandLine(const QStringList& arguments);

} // namespace lk58::ctl
