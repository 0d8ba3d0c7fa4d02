// The Czech and English texts of every caption, item list and message.
#include "app/fieldtexts.h"
#include "app/filesmenu.h"
#include "app/frmmain.h"
#include "app/historydialog.h"
#include "app/offlinefile.h"
#include "app/portfinder.h"
#include "app/qttexts.h"
#include "app/langtables.h"
#include "settings/radiogroup.h"
#include "settings/settingnames.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>

namespace lk58 {
namespace {

QString Pick(int lang, const char* czech, const char* english)
{
    return QString::fromUtf8(lang == kLangCzech ? czech : english);
}

QString Pick(int lang, const TLangText& text)
{
    return Pick(lang, text.czech, text.english);
}

} // namespace

QStringList WireItems(int lang)
{
    return {Pick(lang, texts::kWireItems[0]), Pick(lang, texts::kWireItems[1])};
}

QStringList InErrItems(int lang)
{
    return {Pick(lang, texts::kInErrItems[0]), Pick(lang, texts::kInErrItems[1]), Pick(lang, texts::kInErrItems[2])};
}

void TFrmMain::SetLang(int lang)
{
    if (lang != kLangCzech && lang != kLangEnglish)
        return;
    const TSettingsControls& c = Form->Ctl;
    auto t = [lang](const char* czech, const char* english) { return Pick(lang, czech, english); };
    auto n = [lang](const TLangText& text) { return Pick(lang, text); };

    caption_ = t("Konfigurační program pro převodník TQ36 - TAVRIN®",
                 "Configuration software for TQ36 converter - TAVRIN®");
    // Access keys: Alt+S or Alt+F for the file menu, Alt+J for the language
    // menu in either language; each letter once in the bar and in a menu.
    MenuFile->setTitle(t("&Soubor", "&File"));
    MFileExit->setText(t("&Konec", "E&xit"));
    Files->SetLang(lang);
    Offline->SetLang(lang);
    Finder->SetLang(lang);
    UseQtTexts(lang == kLangCzech);
    History->SetLang(lang);
    lang_ = lang;
    if (MDemo != nullptr)
        MDemo->setText(FieldTexts(lang).MDemo);
    LblAvailPort->setText(t("Dostupné COM porty na tomto PC", "Available COM ports in this PC"));
    BtnConnect->setText(t("Spojit se", "Connect"));
    c.LabelType->setText(n(texts::kLabelType));
    c.LabelSerial->setText(n(texts::kLabelSerial));
    c.LabelName->setText(n(texts::kLabelName));
    c.LabelDate->setText(n(texts::kLabelDate));
    c.LabelPerson->setText(n(texts::kLabelPerson));
    c.RdGrpInput->setTitle(n(texts::kGroupInput));
    c.RdGrpOutput->setTitle(n(texts::kGroupOutput));
    c.ChckBxColdComp->setText(n(texts::kColdComp));
    c.LabelSetTemp->setText(n(texts::kLabelSetTemp));
    c.LabelResComp->setText(n(texts::kLabelResComp));
    c.GrpBxOutTempRange->setTitle(n(texts::kGroupOutRange));
    c.ChckBxOutLimit->setText(n(texts::kOutLimit));
    c.RdGrpWire->setTitle(n(texts::kGroupWire));
    c.RdGrpWire->SetItems(WireItems(lang));
    c.RdGrpInErr->setTitle(n(texts::kGroupInErr));
    c.RdGrpInErr->SetItems(InErrItems(lang));
    c.BtnLoadData->setText(t("Načti Data", "Load data"));
    c.BtnCleanForm->setText(t("Vynulovat", "Clear form"));
    c.BtnHelp->setText(t("Nápověda", "Help"));
    c.LblChangeWoutSave->setText(
        t("- Pole bylo změněno, bez uložení", "- Item was changed, without saving"));
    c.LblNotice->setText(t("Poznámka:", "Notice:"));
    c.LabelTempBegin->setText(n(texts::kLabelTempBegin));
    c.LabelTempEnd->setText(n(texts::kLabelTempEnd));
    FitTexts();

    Msg.MsgNotFound = t("Převodník nebyl na zvoleném COM portu nalezen.",
                        "Converter was not found on selected COM port.");
    Msg.MsgInvalidPort = t("Vybrali jste neplatný COM port.", "Invalid COM port selected.");
    Msg.MsgConnected = t("Spojení s převodníkem TQ36 bylo navázáno.",
                         "Connection with converter was established.");
    Msg.MsgConnectionLost =
        t("Spojení s převodníkem bylo ztraceno.", "Connection with converter was lost.");
    Msg.MsgDateCorrupt = t("Načtené datum je poškozeno.", "Load date is corrupted.");
    Msg.MsgRangeOrder =
        t("Hodnota horního rozsahu teploty musí být vyšší než hodnota spodního rozsahu.",
          "The upper range temperature has to be greater than the lower range temperature.");
    Msg.MsgVoltageNoIndication =
        t("Je zvolen napěťový výstup (0 - 10 V) a volba hlášení nekorektního vstupu 20mA "
          "nebude aktivní.",
          "Voltage output selected (0 - 10 V) due this incorrect input indication (output to "
          "2mA) is not active.");
    Msg.MsgLoading = t("Načítám data z převodníku, prosím čekejte...",
                       "Loading setting from converter, please wait...");
    Msg.MsgLoaded = t("Data byla načtena z převodníku.", "Settings was loaded from converter.");
    Msg.MsgPortDenied = t("Nemáte oprávnění port otevřít. Port patří skupině %1; přidejte se do ní "
                          "příkazem\n%2\na pak se odhlaste a znovu přihlaste.",
                          "You are not allowed to open the port. It belongs to the group %1; add "
                          "yourself to it with\n%2\nthen log out and log in again.");
    Msg.MsgPortBusy = t("Port používá jiný program. Ukončete jej a zkuste to znovu.",
                        "Another program is using the port. Close it and try again.");
    Msg.MsgPortDeniedByMode = t("Nemáte oprávnění port otevřít. Oprávnění zařízení %1 (skupina %2, práva %3) "
                                "vám přístup nedovolují; změnit je může správce počítače (pravidlem udev).",
                                "You are not allowed to open the port. The permissions of the device %1 "
                                "(group %2, mode %3) keep you out; an administrator can change them (with a "
                                "udev rule).");
    Msg.MsgPortLocked = t("Port používá jiný program (proces %1%2, zámek %3). Ukončete jej a zkuste to znovu.",
                          "Another program is using the port (process %1%2, lock file %3). Close it and try "
                          "again.");
    Msg.MsgPortMissing = t("Port %1 neexistuje.", "There is no port %1.");
    Msg.MsgPortNotSerial = t("%1 není sériový port.", "%1 is not a serial port.");
    Msg.MsgComMissing = t("Port %1 neexistuje. Porty počítače ukazuje Správce zařízení.",
                          "There is no port %1. Device Manager lists the computer's ports.");
    Msg.MsgPortRefused = t("Port %1 nepřijal nastavení linky převodníku (%2: 4800 Bd, 8 datových bitů, bez "
                           "parity, 1 stop bit).",
                           "Port %1 refused a setting of the converter's line (%2: 4800 baud, 8 data bits, no "
                           "parity, 1 stop bit).");
    Msg.MsgValueNotShown = t("Hodnota převodníku se do pole nevejde: %1",
                             "The converter's value does not fit its field: %1");
    Msg.NameTempBegin = t("začátek rozsahu", "range begin");
    Msg.NameTempEnd = t("konec rozsahu", "range end");
    Msg.NameSetTemp = t("pevně nastavená teplota", "fixed set temperature");
    Msg.NameResComp = t("kompenzace odporu vedení", "wiring resistance compensation");
    // The texts made from the work in hand, now that every part speaks the
    // language.
    UpdateCaption();
    Form->RetranslateStatus();
}

// Labels take the width of their text, at the height the layout gives them;
// one that would run into the field it stands before moves left instead.
// Check boxes grow to their text where it is wider than the layout's box
// (the layout's widths were measured with a narrower font).
void TFrmMain::FitTexts()
{
    constexpr int kGap = 3;
    for (const TAutoLabel& a : autoLabels_) {
        const int width = a.Label->sizeHint().width();
        int left = a.Left;
        if (a.Field != nullptr)
            left = std::min(left, a.Field->x() - kGap - width);
        a.Label->setGeometry(left, a.Label->y(), width, a.Label->height());
    }
    for (const TFittedCheckBox& c : checkBoxes_)
        c.Box->resize(std::max(c.LayoutWidth, c.Box->sizeHint().width()), c.Box->height());
}

} // namespace lk58
