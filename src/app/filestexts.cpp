#include "app/filestexts.h"

#include "app/frmmain.h"
#include "app/langtables.h"
#include "settings/settingnames.h"

#include <QDate>

#include <variant>

namespace lk58 {
namespace {

using config::Key;

QString Pick(int lang, const char* czech, const char* english)
{
    return QString::fromUtf8(lang == kLangEnglish ? english : czech);
}

// The items of the radio group that shows a choice setting.
QStringList ChoiceItems(int lang, Key key)
{
    QStringList items;
    switch (key) {
    case Key::Input:
        for (const char* item : texts::kInputItems)
            items << QString::fromUtf8(item);
        break;
    case Key::Output:
        for (const char* item : texts::kOutputItems)
            items << QString::fromUtf8(item);
        break;
    case Key::InputError:
        return InErrItems(lang);
    case Key::Wiring:
        return WireItems(lang);
    default:
        break;
    }
    return items;
}

// A wire value with `decimals` digits after the separator of the language.
QString Decimal(int lang, std::int32_t value, int decimals)
{
    const double scale = decimals == 1 ? 10.0 : 100.0;
    QString text = QString::number(value / scale, 'f', decimals);
    if (lang != kLangEnglish)
        text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

QString Number(int lang, Key key, std::int32_t value)
{
    const SettingInfo& s = config::KeySetting(key);
    switch (key) {
    case Key::ColdEndCompensation:
    case Key::OutputLimit:
        return value != 0 ? Pick(lang, "ano", "yes") : Pick(lang, "ne", "no");
    case Key::RangeBegin:
    case Key::RangeEnd:
        return QStringLiteral("%1 °C").arg(value);
    case Key::SetTemperature:
        return Decimal(lang, value, s.decimals) + QStringLiteral(" °C");
    case Key::WiringResistance:
        return Decimal(lang, value, s.decimals) + QStringLiteral(" Ω");
    default:
        break;
    }
    const QStringList items = ChoiceItems(lang, key);
    const int item = value - s.itemBase;
    if (item >= 0 && item < items.size())
        return items[item];
    return QString::number(value);
}

} // namespace

TFilesTexts FilesTexts(int lang)
{
    auto t = [lang](const char* czech, const char* english) { return Pick(lang, czech, english); };
    TFilesTexts x;
    x.MFileSave = t("Uložit nastavení do souboru…", "Save settings to file…");
    x.MFileCompare = t("Porovnat se souborem…", "Compare with file…");
    x.MFileWrite = t("Zapsat soubor do převodníku…", "Write file to converter…");
    x.MFileReport = t("Protokol nastavení (PDF)…", "Settings report (PDF)…");

    x.SaveTitle = t("Uložit nastavení převodníku", "Save the converter's settings");
    x.OpenTitle = t("Vyberte soubor s nastavením", "Choose a settings file");
    x.ReportTitle = t("Uložit protokol nastavení", "Save the settings report");
    x.FileFilter = t("Soubory nastavení (*.json)", "Settings files (*.json)");
    x.PdfFilter = t("Dokumenty PDF (*.pdf)", "PDF documents (*.pdf)");

    x.Saved = t("Nastavení převodníku bylo uloženo do souboru %1.",
                "The converter's settings were saved to %1.");
    x.ReportSaved = t("Protokol nastavení byl uložen do souboru %1.",
                      "The settings report was saved to %1.");
    x.CannotRead = t("Soubor %1 nelze přečíst: %2", "Cannot read %1: %2");
    x.CannotSave = t("Soubor %1 nelze uložit: %2", "Cannot save %1: %2");
    x.Rejected = t("Soubor %1 nelze použít, obsahuje chyby:", "%1 cannot be used; it has errors:");
    x.NoDifference = t("Převodník má stejné nastavení jako soubor %1.",
                       "The converter holds the same settings as %1.");

    x.CompareTitle = t("Porovnání se souborem", "Comparison with file");
    x.WriteTitle = t("Zápis souboru do převodníku", "Writing a file to the converter");
    x.DiffIntro = t("Nastavení, ve kterých se převodník liší od souboru %1:",
                    "Settings in which the converter differs from %1:");
    x.ColSetting = t("Nastavení", "Setting");
    x.ColConverter = t("V převodníku", "Converter");
    x.ColFile = t("V souboru", "File");
    x.IncludeIdentity = t("Zapsat i typ a výrobní číslo", "Also write type and serial number");
    x.BtnWrite = t("Zapsat", "Write");
    x.BtnCancel = t("Storno", "Cancel");
    x.BtnClose = t("Zavřít", "Close");

    x.ProgressTitle = t("Zápis do převodníku", "Writing to the converter");
    x.Writing = t("Zapisuji: %1 (%2 z %3)", "Writing: %1 (%2 of %3)");
    x.Stopping = t("Zápis skončí po právě zapisovaném nastavení…",
                   "Stopping after the setting being written…");

    x.Backup = t("Původní nastavení bylo zálohováno do souboru %1.",
                 "The previous settings were backed up to %1.");
    x.LeftOut = t("nezapsáno (identita převodníku)", "not written (the converter's identity)");
    x.Invalid = t("(neplatná hodnota)", "(not valid)");
    x.Empty = t("(prázdné)", "(empty)");
    return x;
}

QString SettingName(int lang, Key key)
{
    auto t = [lang](const char* czech, const char* english) { return Pick(lang, czech, english); };
    switch (key) {
    case Key::Type: return t("Typ", "Type");
    case Key::Serial: return t("Výrobní číslo", "Serial number");
    case Key::Label: return t("Označení", "Text label");
    case Key::CalibrationDate: return t("Datum kalibrace", "Calibration date");
    case Key::CalibratedBy: return t("Kalibroval", "Calibrated by");
    case Key::Input: return t("Vstup", "Input");
    case Key::ColdEndCompensation: return t("Kompenzace studeného konce", "Cold end compensation");
    case Key::SetTemperature: return t("Pevně nastavená teplota", "Fixed set temperature");
    case Key::WiringResistance:
        return t("Kompenzace odporu vedení", "Wiring resistance compensation");
    case Key::Output: return t("Výstup", "Output");
    case Key::RangeBegin: return t("Začátek výstupního rozsahu", "Output range begin");
    case Key::RangeEnd: return t("Konec výstupního rozsahu", "Output range end");
    case Key::OutputLimit:
        return t("Omezit výstup na max. 10 VDC, 20 mADC", "Limit output to max. 10 VDC, 20 mADC");
    case Key::InputError: return t("Nekorektní vstup", "Incorrect input indication");
    case Key::Wiring: return t("Způsob zapojení", "Input wiring");
    }
    return {};
}

QString SettingValue(int lang, Key key, const std::optional<config::Value>& value)
{
    if (!value)
        return FilesTexts(lang).Invalid;
    if (const auto* number = std::get_if<std::int32_t>(&*value))
        return Number(lang, key, *number);
    if (const auto* date = std::get_if<std::chrono::year_month_day>(&*value)) {
        const QDate d(int(date->year()), int(unsigned(date->month())), int(unsigned(date->day())));
        return d.toString(lang == kLangEnglish ? QStringLiteral("yyyy-MM-dd")
                                               : QStringLiteral("dd.MM.yyyy"));
    }
    const QString text = QString::fromStdString(config::FormatValue(key, *value));
    return text.isEmpty() ? FilesTexts(lang).Empty : text;
}

QString StatusText(int lang, config::SettingStatus status)
{
    auto t = [lang](const char* czech, const char* english) { return Pick(lang, czech, english); };
    switch (status) {
    case config::SettingStatus::Verified: return t("zapsáno a ověřeno", "written and verified");
    case config::SettingStatus::Failed: return t("zápis selhal", "failed");
    case config::SettingStatus::Unverified:
        return t("zapsáno, ale neověřeno", "written, not verified");
    case config::SettingStatus::NotWritten: return t("nezapsáno", "not written");
    }
    return {};
}

QString RunText(int lang, config::RunStatus status, bool damaged)
{
    auto t = [lang](const char* czech, const char* english) { return Pick(lang, czech, english); };
    using config::RunStatus;
    switch (status) {
    case RunStatus::Done:
        return t("Nastavení ze souboru bylo zapsáno do převodníku a ověřeno.",
                 "The file's settings were written to the converter and verified.");
    case RunStatus::Unchanged:
        return t("Převodník už má nastavení ze souboru, nic nebylo zapsáno.",
                 "The converter already holds the file's settings; nothing was written.");
    case RunStatus::NotRead:
        if (damaged)
            return t("Převodník odpověděl poškozenou odpovědí, nic nebylo zapsáno.",
                     "The converter answered with a damaged reply; nothing was written.");
        return t("Převodník neodpověděl, nic nebylo zapsáno.",
                 "The converter did not answer; nothing was written.");
    case RunStatus::Rejected:
        return t("Nastavení ze souboru nelze zapsat, nic nebylo zapsáno:",
                 "The file's settings cannot be written; nothing was written:");
    case RunStatus::BackupFailed:
        return t("Zálohu původního nastavení se nepodařilo uložit, proto nebylo nic zapsáno.",
                 "The previous settings could not be backed up, so nothing was written.");
    case RunStatus::Cancelled:
        return t("Zápis byl přerušen.", "Writing was cancelled.");
    case RunStatus::Lost:
        if (damaged)
            return t("Převodník potvrdil zápis poškozenou odpovědí, zápis byl ukončen.",
                     "The converter acknowledged a write with a damaged reply; writing ended.");
        return t("Převodník přestal odpovídat, zápis byl ukončen.",
                 "The converter stopped answering; writing ended.");
    case RunStatus::CheckFailed:
        return t("Kontrola zapsaných hodnot selhala.", "The check of the written values failed.");
    case RunStatus::LogFailed:
        return t("Do historie převodníku nelze zapisovat, proto zápis skončil.",
                 "The converter's change log cannot be written, so writing stopped.");
    }
    return {};
}

} // namespace lk58
