// Writing single fields to the converter, and the checks between fields.
#include "link/devicelink.h"
#include "core/apperror.h"
#include "settings/datepicker.h"
#include "settings/dialogs.h"
#include "settings/parammap.h"
#include "settings/radiogroup.h"
#include "settings/settingsform.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>

#include <stdexcept>

namespace lk58 {
namespace {

// A field's text that does not read as a number; the general error box
// shows it.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A masked field as it shows: literals included, every empty position as
// its fill character "0" (text() would drop them).
std::int32_t ReadMaskedField(const QLineEdit* edit, const SettingInfo& setting)
{
    const std::string text = BlanksToZeros(edit->displayText().toStdString());
    if (const auto value = ReadNumberField(setting, text))
        return *value;
    const char* kind = setting.kind == FieldKind::Decimal ? "floating point" : "integer";
    throw EConvertError("'" + text + "' is not a valid " + kind + " value");
}

std::chrono::year_month_day YearMonthDay(const QDate& d)
{
    return {std::chrono::year(d.year()), std::chrono::month(unsigned(d.month())),
            std::chrono::day(unsigned(d.day()))};
}

} // namespace

// A write that the converter did not acknowledge ends the work on the
// settings panel; the field's mark stays.
void TSettingsForm::Written(bool acknowledged, QLabel* mark)
{
    if (!acknowledged)
        ShowConnPanel();
    else if (mark != nullptr)
        mark->hide();
}

// A text as loaded goes back byte for byte; one the user changed is
// encoded afresh.
void TSettingsForm::CommitText(QLineEdit* edit, const SettingInfo& setting, QLabel* mark)
{
    const auto loaded = loadedTexts_.find(edit);
    const Bytes text = loaded != loadedTexts_.end() && loaded->second.Text == edit->text()
                           ? loaded->second.Words
                           : EncodeTextField(setting, edit->text().toStdString());
    Written(target_->SendString(text, std::uint8_t(setting.number), setting.words), mark);
}

// A field that shows no value of its own (see SetNumberField) has nothing
// for Enter to write.
void TSettingsForm::CommitNumber(QLineEdit* edit, const SettingInfo& setting, QLabel* mark)
{
    if (unshown_.contains(edit))
        return;
    const std::int32_t value = ReadMaskedField(edit, setting);
    if (setting.write == WriteKind::Long32)
        Written(target_->SendLong(setting.number, value), mark);
    else
        Written(target_->SendInt(setting.number, value), mark);
}

// The type and serial number are the converter's identity: while the field
// is empty (after clearing the form) Enter would erase them, so it writes
// nothing. Shown text, which only a load puts there, is written back.
void TSettingsForm::EdtTypeKeyPress()
{
    if (!Ctl.EdtType->text().isEmpty())
        CommitText(Ctl.EdtType, kType, Ctl.LblTypeCh);
}

void TSettingsForm::EdtSerialKeyPress()
{
    if (!Ctl.EdtSerial->text().isEmpty())
        CommitText(Ctl.EdtSerial, kSerial, Ctl.LblSerialCh);
}

void TSettingsForm::EdtNameKeyPress()
{
    CommitText(Ctl.EdtName, kName, Ctl.LblNameCh);
}

// A date typed but not yet taken by the picker is taken first, so that
// Enter writes what the field shows; the next key typed begins a new date.
void TSettingsForm::DtTmPckrKeyPress()
{
    Ctl.DtTmPckr->interpretText();
    Ctl.DtTmPckr->EndTyping();
    const Bytes text = EncodeDateField(YearMonthDay(Ctl.DtTmPckr->date()));
    Written(target_->SendString(text, std::uint8_t(kDate.number), kDate.words), Ctl.LblDateCh);
}

void TSettingsForm::EdtPersonKeyPress()
{
    CommitText(Ctl.EdtPerson, kPerson, Ctl.LblPersonCh);
}

void TSettingsForm::MskEdtSetTempKeyPress()
{
    CommitNumber(Ctl.MskEdtSetTemp, kSetTemp, Ctl.LblSetTempCh);
}

void TSettingsForm::MskEdtResCompKeyPress()
{
    CommitNumber(Ctl.MskEdtResComp, kResComp, Ctl.LblResCompCh);
}

void TSettingsForm::MskEdtTempBeginKeyPress()
{
    CommitNumber(Ctl.MskEdtTempBegin, kRangeBegin, Ctl.LblTempBeginCh);
}

void TSettingsForm::MskEdtTempEndKeyPress()
{
    if (unshown_.contains(Ctl.MskEdtTempEnd))
        return;
    if (!RangeInOrder()) {
        ShowRangeOrder();
        return;
    }
    tempEndEdited_ = false;
    CommitNumber(Ctl.MskEdtTempEnd, kRangeEnd, Ctl.LblTempEndCh);
}

// A field showing no value of its own stands for the converter's value,
// never for a zero.
std::int32_t TSettingsForm::NumberValue(const QLineEdit* edit, const SettingInfo& setting) const
{
    if (const auto held = unshown_.find(edit); held != unshown_.end())
        return held->second;
    return ReadMaskedField(edit, setting);
}

// Equal ends pass; the begin is never checked against the end.
bool TSettingsForm::RangeInOrder() const
{
    return NumberValue(Ctl.MskEdtTempEnd, kRangeEnd) >= NumberValue(Ctl.MskEdtTempBegin, kRangeBegin);
}

void TSettingsForm::ShowRangeOrder()
{
    ShowInformationDialog(Window(), Msg.MsgRangeOrder);
    Ctl.MskEdtTempEnd->setFocus(Qt::OtherFocusReason);
}

// Runs after the focus has left the range end for another field of the
// panel. The dialog itself takes the focus, which is not leaving the field;
// the flag keeps a second check out while it is shown. A field that the
// user has not typed into holds nothing of theirs to correct: passing
// through it never pulls the focus back.
void TSettingsForm::MskEdtTempEndExit()
{
    if (exitCheckRunning_ || !tempEndEdited_ || !Ctl.MskEdtTempEnd->isVisible() ||
        Ctl.MskEdtTempEnd->hasFocus())
        return;
    exitCheckRunning_ = true;
    struct TReset {
        bool& flag;
        ~TReset() { flag = false; }
    } reset{exitCheckRunning_};
    if (!RangeInOrder())
        ShowRangeOrder();
}

// The indication of an incorrect input by a 2 mA output cannot work on a
// voltage output; the choice was written when it was made and stays.
void TSettingsForm::RdGrpInErrExit()
{
    if (!Ctl.RdGrpInErr->isVisible())
        return;
    if (Ctl.RdGrpInErr->ItemIndex() == 2 && Ctl.RdGrpOutput->ItemIndex() == 0)
        ShowInformationDialog(Window(), Msg.MsgVoltageNoIndication);
}

void TSettingsForm::WriteChoice(const SettingInfo& setting, std::int32_t value)
{
    if (!Filling)
        Written(target_->SendInt(setting.number, value), nullptr);
}

// A thermocouple (J, K, S, B) uses the cold end and a fixed set
// temperature; a PT100 the wiring's resistance compensation. The rule also
// applies while the form is being filled; the disabled fields keep their
// values.
void TSettingsForm::ApplyInputType(int item)
{
    const bool thermocouple = item >= 0 && item <= 3;
    Ctl.ChckBxColdComp->setEnabled(thermocouple);
    Ctl.MskEdtSetTemp->setEnabled(thermocouple);
    Ctl.LabelSetTemp->setEnabled(thermocouple);
    Ctl.MskEdtResComp->setEnabled(!thermocouple);
    Ctl.LabelResComp->setEnabled(!thermocouple);
}

void TSettingsForm::RdGrpInputClick(int item)
{
    Guarded([&] {
        ApplyInputType(item);
        WriteChoice(kInputType, RadioValue(kInputType, item));
    });
}

void TSettingsForm::ChckBxOutLimitClick(bool checked)
{
    Guarded([&] { WriteChoice(kOutputLimit, CheckValue(checked)); });
}

void TSettingsForm::RdGrpInErrClick(int item)
{
    Guarded([&] { WriteChoice(kInputError, RadioValue(kInputError, item)); });
}

void TSettingsForm::ChckBxColdCompClick(bool checked)
{
    Guarded([&] { WriteChoice(kColdComp, CheckValue(checked)); });
}

void TSettingsForm::RdGrpOutputClick(int item)
{
    Guarded([&] { WriteChoice(kOutputType, RadioValue(kOutputType, item)); });
}

void TSettingsForm::RdGrpWireClick(int item)
{
    Guarded([&] { WriteChoice(kWiring, RadioValue(kWiring, item)); });
}

} // namespace lk58
