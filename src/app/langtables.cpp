// The Czech and English texts of every caption, item list and message.
#include "app/frmmain.h"
#include "app/langtables.h"
#include "settings/radiogroup.h"

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

} // namespace

QStringList WireItems(int lang)
{
    return {Pick(lang, "2 nebo 4 vodič", "2 or 4 wire"), Pick(lang, "3 vodič", "3 wire")};
}

QStringList InErrItems(int lang)
{
    return {Pick(lang, "bez signálu", "no indication"),
            Pick(lang, "pulsace 50% / 100%", "pulsation 50% / 100%"),
            Pick(lang, "výstup 2 mA", "output 2 mA")};
}

void TFrmMain::SetLang(int lang)
{
    if (lang != kLangCzech && lang != kLangEnglish)
        return;
    const TSettingsControls& c = Form->Ctl;
    auto t = [lang](const char* czech, const char* english) { return Pick(lang, czech, english); };

    setWindowTitle(t("Konfigurační program pro převodník TQ36 - TAVRIN®",
                     "Configuration software for TQ36 converter - TAVRIN®"));
    MenuFile->setTitle(t("Soubor", "File"));
    MFileExit->setText(t("Konec", "Exit"));
    LblAvailPort->setText(t("Dostupné COM porty na tomto PC", "Available COM ports in this PC"));
    BtnConnect->setText(t("Spojit se", "Connect"));
    c.LabelType->setText(t("Typ:", "Type:"));
    c.LabelSerial->setText(t("Výrobní číslo:", "Serial number:"));
    c.LabelName->setText(t("Označení:", "Text label"));
    c.LabelDate->setText(t("Datum:", "Date:"));
    c.LabelPerson->setText(t("Kalibroval:", "Calibr. by:"));
    c.RdGrpInput->setTitle(t(" Vstup ", " Input "));
    c.RdGrpOutput->setTitle(t(" Výstup ", " Output "));
    c.ChckBxColdComp->setText(t("Kompenzace studeného konce", "Cold end compensation"));
    c.LabelSetTemp->setText(t("Pevně nastavená teplota:", "Fixed set temperature:"));
    c.LabelResComp->setText(t("Kompezace odporu vedení:", "Wiring resist. compens.:"));
    c.GrpBxOutTempRange->setTitle(t(" Výstupní rozsah ve °C ", " Output range in °C "));
    c.ChckBxOutLimit->setText(
        t("Omezit výstup na max. 10 VDC, 20 mADC", "Limit output to max. 10 VDC, 20 mADC"));
    c.RdGrpWire->setTitle(t(" Způsob Zapojení ", " Input wiring selection "));
    c.RdGrpWire->SetItems(WireItems(lang));
    c.RdGrpInErr->setTitle(t(" Nekorektní vstup ", " Incorrect input indication "));
    c.RdGrpInErr->SetItems(InErrItems(lang));
    c.BtnLoadData->setText(t("Načti Data", "Load data"));
    c.BtnCleanForm->setText(t("Vynulovat", "Clear form"));
    c.BtnHelp->setText(t("Nápověda", "Help"));
    c.LblChangeWoutSave->setText(
        t("- Pole bylo změněno, bez uložení", "- Item was changed, without saving"));
    c.LblNotice->setText(t("Poznámka:", "Notice:"));
    c.LabelTempBegin->setText(t("začátek:", "begin:"));
    c.LabelTempEnd->setText(t("konec:", "end:"));
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
}

// Labels take the width of their text, at the height the layout gives them;
// one that would run into the field it stands before moves left instead.
// Check boxes grow to their text where it is wider than the layout's box
// (the layout's widths were measured with a narrower font).
void TFrmMain::FitTexts()
{
    constexpr int kGap = 3;
    for (QLabel* l : findChildren<QLabel*>()) {
        if (!l->property("autoWidth").toBool())
            continue;
        const int width = l->sizeHint().width();
        int left = l->property("left").toInt();
        if (const QWidget* field = l->buddy())
            left = std::min(left, field->x() - kGap - width);
        l->setGeometry(left, l->y(), width, l->height());
    }
    for (QCheckBox* b : findChildren<QCheckBox*>()) {
        const int width = std::max(b->property("layoutWidth").toInt(), b->sizeHint().width());
        b->resize(width, b->height());
    }
}

} // namespace lk58
