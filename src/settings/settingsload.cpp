// Loading the converter's settings block into the form.
#include "link/devicelink.h"
#include "core/apperror.h"
#include "settings/dialogs.h"
#include "settings/fillingscope.h"
#include "settings/parammap.h"
#include "settings/radiogroup.h"
#include "settings/settingsform.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>

#include <tuple>
#include <utility>
#include <vector>

namespace lk58 {
namespace {

// A masked field is given its full-width text with the blanks turned into
// the fill character "0": the mask would otherwise skip a blank and shift
// the digits (" 25,0" would become "250,0").
void SetMaskedText(QLineEdit* edit, const std::string& text)
{
    edit->setText(QString::fromStdString(BlanksToZeros(text)));
}

// The field's mask with another character in its empty positions.
void SetBlank(QLineEdit* edit, QChar blank)
{
    const QString mask = edit->inputMask();
    edit->setInputMask(mask.left(mask.lastIndexOf(QLatin1Char(';')) + 1) + blank);
}

const QChar kUnshownBlank = QLatin1Char('?');
const QChar kBlank = QLatin1Char('0');

} // namespace

void TSettingsForm::BtnLoadDataClick()
{
    Guarded([this] { LoadData(); });
}

// Change marks keep whatever they showed: a loaded field that the user had
// edited still differs from what they typed. (A number that its field
// cannot hold shows its field's mark and is named in the status text; see
// SetNumberField.)
void TSettingsForm::LoadData()
{
    SetStatus([this] { return Msg.MsgLoading; });
    if (!Link.ReadAll()) {
        ShowConnPanel();
        return;
    }
    SetStatus([this] { return Msg.MsgLoaded; });
    const SettingsBlock block = SettingsBlock::FromReply(Link.Reply());
    linkTarget_.Loaded(block);
    ShowBlock(block);
}

// The status text is set before: a value no field can show replaces it.
void TSettingsForm::ShowBlock(const SettingsBlock& block, const TShown& shown)
{
    const LoadedSettings s = DecodeSettings(block);
    TFillingScope filling(Filling);
    FillTexts(s, block, shown);
    if (!shown || shown(kDate))
        FillDate(s.date);
    FillChoices(s, shown);
    FillNumbers(s, shown);
    Ctl.EdtType->setFocus(Qt::OtherFocusReason);
}

void TSettingsForm::FillTexts(const LoadedSettings& s, const SettingsBlock& block, const TShown& shown)
{
    const std::tuple<QLineEdit*, const SettingInfo&, const std::string&> texts[] = {
        {Ctl.EdtType, kType, s.type},
        {Ctl.EdtSerial, kSerial, s.serial},
        {Ctl.EdtName, kName, s.name},
        {Ctl.EdtPerson, kPerson, s.person},
    };
    for (const auto& [edit, setting, text] : texts) {
        if (shown && !shown(setting))
            continue;
        edit->setText(QString::fromStdString(text));
        loadedTexts_[edit] = {edit->text(), TextFieldWords(block, setting)};
    }
}

// One warning for each thing that did not convert; the picker then keeps
// the date it had.
void TSettingsForm::FillDate(const DateDecode& date)
{
    for (int i = 0; i < date.corruptReports; ++i)
        ShowWarningDialog(Window(), Msg.MsgDateCorrupt);
    if (!date.date)
        return;
    const std::chrono::year_month_day& d = *date.date;
    Ctl.DtTmPckr->setDate(QDate(int(d.year()), int(unsigned(d.month())), int(unsigned(d.day()))));
}

// Selecting the input type applies the input-type rule; Filling keeps every
// choice from writing.
void TSettingsForm::FillChoices(const LoadedSettings& s, const TShown& shown)
{
    const std::tuple<TRadioGroup*, const SettingInfo&, int> groups[] = {
        {Ctl.RdGrpInput, kInputType, s.inputItem},
        {Ctl.RdGrpInErr, kInputError, s.inputErrorItem},
        {Ctl.RdGrpOutput, kOutputType, s.outputItem},
        {Ctl.RdGrpWire, kWiring, s.wiringItem},
    };
    const std::tuple<QCheckBox*, const SettingInfo&, bool> boxes[] = {
        {Ctl.ChckBxOutLimit, kOutputLimit, s.outputLimit},
        {Ctl.ChckBxColdComp, kColdComp, s.coldComp},
    };
    for (const auto& [group, setting, item] : groups)
        if (!shown || shown(setting))
            group->SetItemIndex(item);
    for (const auto& [box, setting, checked] : boxes)
        if (!shown || shown(setting))
            box->setChecked(checked);
}

void TSettingsForm::FillNumbers(const LoadedSettings& s, const TShown& shown)
{
    // The fields' names as the messages hold them, so that the status text
    // names them in the language in force.
    using TName = QString TMessages::*;
    const std::tuple<QLineEdit*, QLabel*, const SettingInfo&, std::int32_t, const std::string&, TName>
        numbers[] = {
            {Ctl.MskEdtTempBegin, Ctl.LblTempBeginCh, kRangeBegin, s.rangeBegin, s.rangeBeginText,
             &TMessages::NameTempBegin},
            {Ctl.MskEdtTempEnd, Ctl.LblTempEndCh, kRangeEnd, s.rangeEnd, s.rangeEndText, &TMessages::NameTempEnd},
            {Ctl.MskEdtSetTemp, Ctl.LblSetTempCh, kSetTemp, s.setTemp, s.setTempText, &TMessages::NameSetTemp},
            {Ctl.MskEdtResComp, Ctl.LblResCompCh, kResComp, s.resComp, s.resCompText, &TMessages::NameResComp},
        };
    std::vector<std::pair<TName, QString>> unshown;
    for (const auto& [edit, mark, setting, value, text, name] : numbers) {
        if (shown && !shown(setting))
            continue;
        SetNumberField(edit, mark, setting, value, text);
        if (unshown_.contains(edit))
            unshown.emplace_back(name, QString::fromStdString(FormatDecimal(value, setting.decimals, 0)));
    }
    tempEndEdited_ = false;
    if (unshown.empty())
        return;
    SetStatus([this, unshown] {
        QStringList named;
        for (const auto& [name, value] : unshown)
            named << Msg.*name + QLatin1Char(' ') + value;
        return Msg.MsgValueNotShown.arg(named.join(QLatin1String(", ")));
    });
}

// A value that the field's mask cannot hold (only a converter written by
// other means can hold one) is not cut to the mask's width, which would
// show, and on Enter write back, a different number. The field shows "?"
// in every position and its mark is shown; the value is kept for the range
// check.
void TSettingsForm::SetNumberField(QLineEdit* edit, QLabel* mark, const SettingInfo& setting,
                                   std::int32_t value, const std::string& text)
{
    ReleaseUnshown(edit);
    if (FitsField(setting, value)) {
        SetMaskedText(edit, text);
        return;
    }
    SetBlank(edit, kUnshownBlank);
    edit->clear();
    unshown_[edit] = value;
    mark->show();
}

// The user typing into the field: the converter's value is replaced, and
// the positions not typed show "0" again.
void TSettingsForm::ReleaseUnshown(QLineEdit* edit)
{
    if (unshown_.erase(edit) == 0)
        return;
    const int cursor = edit->cursorPosition();
    SetBlank(edit, kBlank);
    edit->setCursorPosition(cursor);
}

void TSettingsForm::ReleaseAllUnshown()
{
    while (!unshown_.empty())
        ReleaseUnshown(const_cast<QLineEdit*>(unshown_.begin()->first));
}

} // namespace lk58
