#include "settings/settingsform.h"

#include "link/devicelink.h"
#include "core/apperror.h"
#include "settings/fillingscope.h"
#include "settings/radiogroup.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace lk58 {

const QColor TSettingsForm::kFocusColour(0, 255, 0);

namespace {

// How often a deferred check looks whether the exchange has ended: the
// reply wait's own tick.
constexpr int kBusyPollMs = 10;

bool IsEnterKey(const QKeyEvent& key)
{
    const bool enter = key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
    return enter && (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
}

// Focus that goes to another window (a dialog, another program) or to a
// pop-up (the calendar, a context menu) has not left the field.
bool LeavesField(const QFocusEvent& focus)
{
    return focus.reason() != Qt::ActiveWindowFocusReason && focus.reason() != Qt::PopupFocusReason;
}

} // namespace

std::array<QLabel*, 9> TSettingsControls::ChangeMarks() const
{
    return {LblTypeCh,    LblSerialCh,  LblNameCh,      LblDateCh,    LblPersonCh,
            LblSetTempCh, LblResCompCh, LblTempBeginCh, LblTempEndCh};
}

TSettingsForm::TSettingsForm(const TSettingsControls& controls, const TMessages& messages,
                             TDeviceLink& link, QObject* parent)
    : QObject(parent), Ctl(controls), Msg(messages), Link(link), linkTarget_(link)
{
    connect(Ctl.BtnLoadData, &QPushButton::clicked, this, &TSettingsForm::BtnLoadDataClick);
    connect(Ctl.BtnCleanForm, &QPushButton::clicked, this, &TSettingsForm::BtnCleanFormClick);
    ConnectFields();
    ConnectChoices();
    connect(qApp, &QApplication::focusChanged, this, &TSettingsForm::FocusMoved);
}

// The nine fields that commit with Enter and the two check boxes: content
// changes show the field's mark, key presses and focus go through
// eventFilter.
void TSettingsForm::ConnectFields()
{
    const TField fields[] = {
        {Ctl.EdtType, TFace::None, &TSettingsForm::EdtTypeKeyPress, nullptr, Ctl.LblTypeCh},
        {Ctl.EdtSerial, TFace::None, &TSettingsForm::EdtSerialKeyPress, nullptr, Ctl.LblSerialCh},
        {Ctl.EdtName, TFace::Edit, &TSettingsForm::EdtNameKeyPress, nullptr, Ctl.LblNameCh},
        {Ctl.DtTmPckr, TFace::Edit, &TSettingsForm::DtTmPckrKeyPress, nullptr, Ctl.LblDateCh},
        {Ctl.EdtPerson, TFace::Edit, &TSettingsForm::EdtPersonKeyPress, nullptr, Ctl.LblPersonCh},
        {Ctl.MskEdtSetTemp, TFace::Edit, &TSettingsForm::MskEdtSetTempKeyPress, nullptr, Ctl.LblSetTempCh},
        {Ctl.MskEdtResComp, TFace::Edit, &TSettingsForm::MskEdtResCompKeyPress, nullptr, Ctl.LblResCompCh},
        {Ctl.MskEdtTempBegin, TFace::Edit, &TSettingsForm::MskEdtTempBeginKeyPress, nullptr,
         Ctl.LblTempBeginCh},
        {Ctl.MskEdtTempEnd, TFace::Edit, &TSettingsForm::MskEdtTempEndKeyPress,
         &TSettingsForm::MskEdtTempEndExit, Ctl.LblTempEndCh},
        {Ctl.ChckBxColdComp, TFace::Choice, nullptr, nullptr, nullptr},
        {Ctl.ChckBxOutLimit, TFace::Choice, nullptr, nullptr, nullptr},
    };
    fields_.assign(std::begin(fields), std::end(fields));
    for (const TField& f : fields_)
        f.Widget->installEventFilter(this);

    const std::pair<QLineEdit*, QLabel*> edits[] = {
        {Ctl.EdtType, Ctl.LblTypeCh},           {Ctl.EdtSerial, Ctl.LblSerialCh},
        {Ctl.EdtName, Ctl.LblNameCh},           {Ctl.EdtPerson, Ctl.LblPersonCh},
        {Ctl.MskEdtSetTemp, Ctl.LblSetTempCh},  {Ctl.MskEdtResComp, Ctl.LblResCompCh},
        {Ctl.MskEdtTempBegin, Ctl.LblTempBeginCh}, {Ctl.MskEdtTempEnd, Ctl.LblTempEndCh},
    };
    for (const auto& [edit, mark] : edits)
        connect(edit, &QLineEdit::textChanged, this, [this, mark = mark] { FieldChange(mark); });
    for (QLineEdit* e : {Ctl.MskEdtSetTemp, Ctl.MskEdtResComp, Ctl.MskEdtTempBegin, Ctl.MskEdtTempEnd})
        connect(e, &QLineEdit::textEdited, this, [this, e] { ReleaseUnshown(e); });
    connect(Ctl.MskEdtTempEnd, &QLineEdit::textEdited, this, [this] { tempEndEdited_ = true; });
    connect(Ctl.DtTmPckr, &QDateEdit::dateChanged, this, [this] { FieldChange(Ctl.LblDateCh); });
}

// Radio groups write when an item becomes selected, check boxes on every
// change of state; both only while the program is not filling the form.
void TSettingsForm::ConnectChoices()
{
    connect(Ctl.RdGrpInput, &TRadioGroup::ItemSelected, this, &TSettingsForm::RdGrpInputClick);
    connect(Ctl.ChckBxOutLimit, &QCheckBox::toggled, this, &TSettingsForm::ChckBxOutLimitClick);
    connect(Ctl.RdGrpInErr, &TRadioGroup::ItemSelected, this, &TSettingsForm::RdGrpInErrClick);
    connect(Ctl.ChckBxColdComp, &QCheckBox::toggled, this, &TSettingsForm::ChckBxColdCompClick);
    connect(Ctl.RdGrpOutput, &TRadioGroup::ItemSelected, this, &TSettingsForm::RdGrpOutputClick);
    connect(Ctl.RdGrpWire, &TRadioGroup::ItemSelected, this, &TSettingsForm::RdGrpWireClick);

    for (TRadioGroup* g : {Ctl.RdGrpInput, Ctl.RdGrpOutput, Ctl.RdGrpWire, Ctl.RdGrpInErr}) {
        const TField field{g, TFace::Choice, nullptr,
                           g == Ctl.RdGrpInErr ? &TSettingsForm::RdGrpInErrExit : nullptr, nullptr};
        connect(g, &TRadioGroup::Entered, this, [this, field] { Guarded([&] { FieldEnter(field); }); });
        connect(g, &TRadioGroup::Exited, this, [this, field] { Guarded([&] { FieldExit(field); }); });
    }
}

const TSettingsForm::TField* TSettingsForm::FieldOf(const QObject* widget) const
{
    for (const TField& f : fields_)
        if (f.Widget == widget)
            return &f;
    return nullptr;
}

// Enter commits the field and is consumed, also when the commit fails: the
// field must not act on it afterwards (the date picker would report a
// change and show the mark again).
bool TSettingsForm::eventFilter(QObject* watched, QEvent* event)
{
    const TField* field = FieldOf(watched);
    if (field == nullptr)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress && field->KeyPress != nullptr &&
        IsEnterKey(*static_cast<QKeyEvent*>(event))) {
        Guarded([&] { (this->*field->KeyPress)(); });
        return true;
    }
    Guarded([&] { FieldFocus(*field, *event); });
    return QObject::eventFilter(watched, event);
}

void TSettingsForm::FieldFocus(const TField& field, const QEvent& event)
{
    if (event.type() == QEvent::FocusIn)
        FieldEnter(field);
    else if (event.type() == QEvent::FocusOut && LeavesField(static_cast<const QFocusEvent&>(event)))
        FieldExit(field);
}

void TSettingsForm::FieldChange(QLabel* mark)
{
    if (!Filling)
        mark->show();
}

// One field at a time is lime: the focus can move while the window is
// inactive (behind a dialog), and then no field hears that it lost it.
void TSettingsForm::FieldEnter(const TField& field)
{
    if (highlighted_ && highlighted_->Widget != field.Widget)
        SetFace(highlighted_->Widget, highlighted_->Face, false);
    SetFace(field.Widget, field.Face, true);
    if (field.Face != TFace::None)
        highlighted_ = field;
}

// Focus given while the window is inactive (behind a dialog) reaches the
// new widget only when the window is active again, and the field that had
// it never hears that it lost it: take its highlight away then.
void TSettingsForm::FocusMoved(QWidget* /*old*/, QWidget* now)
{
    if (!highlighted_ || now == nullptr)
        return;
    QWidget* field = highlighted_->Widget;
    if (now == field || field->isAncestorOf(now) || now->window() != field->window())
        return;
    SetFace(field, highlighted_->Face, false);
    highlighted_.reset();
}

// The colour comes back at once; a check that may show a dialog and take
// the focus back runs once the focus change is complete.
void TSettingsForm::FieldExit(const TField& field)
{
    SetFace(field.Widget, field.Face, false);
    if (highlighted_ && highlighted_->Widget == field.Widget)
        highlighted_.reset();
    if (field.Exit != nullptr)
        QMetaObject::invokeMethod(this, [this, exit = field.Exit] { RunExitCheck(exit); },
                                  Qt::QueuedConnection);
}

// A click that moves the focus can also start a write; its dialog-showing
// check then waits for the exchange to end, so that no dialog opens inside
// the reply wait (polled at the link's tick, without spinning).
void TSettingsForm::RunExitCheck(THandler exit)
{
    if (Link.Busy()) {
        QTimer::singleShot(kBusyPollMs, this, [this, exit] { RunExitCheck(exit); });
        return;
    }
    Guarded([&] { (this->*exit)(); });
}

void TSettingsForm::SetFace(QWidget* widget, TFace face, bool focused)
{
    if (face == TFace::None)
        return;
    QPalette p = widget->palette();
    const QPalette standard = QApplication::palette(widget);
    if (face == TFace::Edit) {
        p.setColor(QPalette::Base, focused ? kFocusColour : standard.color(QPalette::Base));
    } else {
        widget->setAutoFillBackground(true);
        p.setColor(QPalette::Window, focused ? kFocusColour : standard.color(QPalette::Button));
    }
    widget->setPalette(p);
}

QWidget* TSettingsForm::Window() const
{
    return Ctl.EdtType->window();
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
    TFillingScope filling(Filling);
    ReleaseAllUnshown();
    tempEndEdited_ = false;
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
    loadedTexts_.clear();
    SetStatusText(QString());
}

void TSettingsForm::SetCommitTarget(TCommitTarget* target)
{
    target_ = target != nullptr ? target : &linkTarget_;
}

// A field whose rule refuses its value keeps its mark (the range's order),
// and so does a read-only identity field that is empty.
bool TSettingsForm::CommitMarked()
{
    for (const TField& f : fields_)
        if (f.Mark != nullptr && !f.Mark->isHidden() && f.KeyPress != nullptr)
            (this->*f.KeyPress)();
    return !AnyMarked();
}

bool TSettingsForm::AnyMarked() const
{
    const auto marks = Ctl.ChangeMarks();
    return std::any_of(marks.begin(), marks.end(), [](const QLabel* m) { return !m->isHidden(); });
}

QString TSettingsForm::StatusText() const
{
    return Ctl.StatusBar->currentMessage();
}

void TSettingsForm::SetStatus(TText text)
{
    status_ = std::move(text);
    RetranslateStatus();
}

void TSettingsForm::SetStatusText(const QString& text)
{
    SetStatus(text.isEmpty() ? TText() : TText([text] { return text; }));
}

void TSettingsForm::RetranslateStatus()
{
    const QString text = status_ ? status_() : QString();
    if (text.isEmpty())
        Ctl.StatusBar->clearMessage();
    else
        Ctl.StatusBar->showMessage(text);
}

} // namespace lk58
