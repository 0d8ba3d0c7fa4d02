#include "app/fieldtexts.h"

#include "app/frmmain.h"

namespace lk58 {
namespace {

QString Pick(int lang, const char* czech, const char* english)
{
    return QString::fromUtf8(lang == kLangEnglish ? english : czech);
}

} // namespace

TFieldTexts FieldTexts(int lang)
{
    auto t = [lang](const char* czech, const char* english) { return Pick(lang, czech, english); };
    TFieldTexts x;
    x.MFileOpen = t("Otevřít soubor nastavení…", "Open settings file…");
    x.MFileSaveOpen = t("Uložit", "Save");
    x.MFileCloseOpen = t("Zavřít soubor", "Close file");
    x.MFileToPort = t("Spojit se s převodníkem…", "Connect to a converter…");
    x.OpenedStatus = t("Soubor nastavení %1, bez převodníku", "Settings file %1, no converter attached");
    x.SavedStatus = t("Soubor nastavení %1 byl uložen.", "Settings file %1 saved.");
    x.AskSave = t("Soubor %1 má neuložené změny. Uložit je?", "The file %1 has unsaved changes. Save them?");
    x.BtnSave = t("Uložit", "Save");
    x.BtnDiscard = t("Neukládat", "Don't save");
    x.BtnCancel = t("Zrušit", "Cancel");
    x.NotReadable = t("Soubor %1 nelze uložit, nešel by znovu načíst:",
                      "The file %1 cannot be saved, it would not read back:");
    x.NoValue = t("%1: pole nemá hodnotu, kterou by soubor udržel", "%1: the field holds no value a file can keep");

    x.MDemo = t("Demo převodník", "Demo converter");
    x.DemoStatus = t("Demo: simulovaný převodník TQ36, žádný skutečný převodník není připojen.",
                     "Demo: a simulated TQ36 converter, no real converter is attached.");
    x.DemoCaption = t("Demo (simulovaný převodník) - %1", "Demo (simulated converter) - %1");
    x.DemoFailed = t("Demo převodník nelze spustit: %1", "The demo converter cannot start: %1");

    x.BtnFind = t("Najít", "Find");
    x.FindTitle = t("Hledání převodníku", "Finding the converter");
    x.Finding = t("Hledám převodník na %1 portech…", "Looking for the converter on %1 ports…");
    x.NoneAnswered = t("Na žádném portu převodník neodpověděl. Zkoušeno:\n%1",
                       "No converter answered. Ports tried:\n%1");
    x.NoPorts = t("Seznam neobsahuje žádný port k vyzkoušení.", "The list holds no port to try.");
    x.NotOpened = t("port nešel otevřít.", "the port would not open.");
    return x;
}

} // namespace lk58
