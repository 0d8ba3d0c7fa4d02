#pragma once

// The Czech and English texts of the settings-file commands of the File
// menu: the menu items, the dialogs, the names of the settings and their
// values as the window shows them.

#include "config/restore.h"
#include "config/settingsfile.h"

#include <QString>

#include <optional>

namespace lk58 {

struct TFilesTexts {
    QString MFileSave;
    QString MFileCompare;
    QString MFileWrite;
    QString MFileReport;

    QString SaveTitle;        // the save dialog's caption
    QString OpenTitle;        // the caption of the dialog that picks a file to compare or write
    QString ReportTitle;      // the caption of the dialog that asks where the report goes
    QString FileFilter;       // "Settings files (*.json)"
    QString PdfFilter;        // "PDF documents (*.pdf)"

    QString Saved;            // status text; %1: the file
    QString ReportSaved;      // status text; %1: the file
    QString CannotRead;       // %1: the file, %2: why
    QString CannotSave;       // %1: the file, %2: why
    QString Rejected;         // %1: the file; the problems follow
    QString NoDifference;     // %1: the file

    QString CompareTitle;     // the difference dialog's caption
    QString WriteTitle;
    QString DiffIntro;        // %1: the file
    QString ColSetting;
    QString ColConverter;
    QString ColFile;
    QString IncludeIdentity;
    QString BtnWrite;
    QString BtnCancel;
    QString BtnClose;

    QString ProgressTitle;
    QString Writing;          // %1: the setting, %2: n, %3: count
    QString Stopping;

    QString Backup;           // %1: the backup's path
    QString LeftOut;          // a difference not written: the converter's identity
    QString Invalid;          // a value the converter holds that no field can show
    QString Empty;            // an empty text
};

TFilesTexts FilesTexts(int lang);

// A setting as the window names it.
QString SettingName(int lang, config::Key key);
// A value as the window would show it, with its unit; an empty value is one
// the converter holds that no field can show.
QString SettingValue(int lang, config::Key key, const std::optional<config::Value>& value);
// What became of a setting in a write: "written and verified", ...
QString StatusText(int lang, config::SettingStatus status);
// The first line of a write's report; `damaged`: the exchange that ended
// the run was answered with a damaged reply, not left unanswered.
QString RunText(int lang, config::RunStatus status, bool damaged = false);

} // namespace lk58
