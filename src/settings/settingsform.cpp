#include "settings/settingsform.h"

#include "serial/apperror.h"
#include "settings/radiogroup.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

namespace lk58 {

std::array<QLabel*, 9> TSettingsControls::ChangeMarks() const
{
    return {LblTypeCh,    LblSerialCh,  LblNameCh,      LblDateCh,    LblPersonCh,
            LblSetTempCh, LblResCompCh, LblTempBeginCh, LblTempEndCh};
}

TSettingsForm::TSettingsForm(const TSettingsControls& controls, const TMessages& messages,
                             TDeviceLink& link, QObject* parent)
    : QObject(parent), Ctl(controls), Msg(messages), Link(link)
{
    connect(Ctl.BtnCleanForm, &QPushButton::clicked, this, &TSettingsForm::BtnCleanFormClick);
}

void TSettingsForm::SetShowConnPanel(std::function<void()> showConnPanel)
{
    showConnPanel_ = std::move(showConnPanel);
}

void TSettingsForm::ShowConnPanel()
{
    if (showConnPanel_)
        showConnPanel_();
}

void TSettingsForm::BtnCleanFormClick()
{
    Guarded([this] { ClearForm(); });
}

void TSettingsForm::ClearForm()
{
    Filling = true;
    // An emptied masked field shows its bare mask (0000, 000,0 ...).
    Ctl.MskEdtSetTemp->clear();
    Ctl.MskEdtResComp->clear();
    Ctl.EdtType->clear();
    Ctl.EdtSerial->clear();
    Ctl.EdtName->clear();
    Ctl.DtTmPckr->setDate(QDate::currentDate());
    Ctl.EdtPerson->clear();
    // Taking the selection away is no selection: the input-type rule does
    // not run, so the temperature fields keep their enabled state.
    Ctl.RdGrpInput->SetItemIndex(-1);
    Ctl.ChckBxColdComp->setChecked(false);
    Ctl.RdGrpOutput->SetItemIndex(-1);
    Ctl.MskEdtTempBegin->clear();
    Ctl.MskEdtTempEnd->clear();
    Ctl.ChckBxOutLimit->setChecked(false);
    Ctl.RdGrpWire->SetItemIndex(-1);
    Ctl.RdGrpInErr->SetItemIndex(-1);
    for (QLabel* mark : Ctl.ChangeMarks())
        mark->hide();
    SetStatusText(QString());
    Filling = false;
}

QString TSettingsForm::StatusText() const
{
    return Ctl.StatusBar->currentMessage();
}

void TSettingsForm::SetStatusText(const QString& text)
{
    if (text.isEmpty())
        Ctl.StatusBar->clearMessage();
    else
        Ctl.StatusBar->showMessage(text);
}

} // namespace lk58
