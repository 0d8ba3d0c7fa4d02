#pragma once

#include "core/bytes.h"
#include "settings/committarget.h"
#include "settings/datepicker.h"
#include "settings/messages.h"

#include <QColor>
#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace lk58 {

class TDeviceLink;
struct DateDecode;
struct LoadedSettings;
struct SettingInfo;
class SettingsBlock;
class TRadioGroup;

// The controls of the settings panel, by their names. The main window
// creates and lays them out; the settings logic works on them through this.
struct TSettingsControls {
    QLineEdit* EdtType = nullptr;
    QLineEdit* EdtSerial = nullptr;
    QLineEdit* EdtName = nullptr;
    TDatePicker* DtTmPckr = nullptr;
    QLineEdit* EdtPerson = nullptr;
    TRadioGroup* RdGrpInput = nullptr;
    QCheckBox* ChckBxColdComp = nullptr;
    QLineEdit* MskEdtSetTemp = nullptr;
    QLineEdit* MskEdtResComp = nullptr;
    TRadioGroup* RdGrpOutput = nullptr;
    QGroupBox* GrpBxOutTempRange = nullptr;
    QLineEdit* MskEdtTempBegin = nullptr;
    QLineEdit* MskEdtTempEnd = nullptr;
    QCheckBox* ChckBxOutLimit = nullptr;
    TRadioGroup* RdGrpWire = nullptr;
    TRadioGroup* RdGrpInErr = nullptr;
    QPushButton* BtnLoadData = nullptr;
    QPushButton* BtnCleanForm = nullptr;
    QPushButton* BtnHelp = nullptr;

    QLabel* LabelType = nullptr;
    QLabel* LabelSerial = nullptr;
    QLabel* LabelName = nullptr;
    QLabel* LabelDate = nullptr;
    QLabel* LabelPerson = nullptr;
    QLabel* LabelSetTemp = nullptr;
    QLabel* LabelResComp = nullptr;
    QLabel* LabelTempBegin = nullptr;
    QLabel* LabelTempEnd = nullptr;

    // The change marks: a red "x" beside a field edited but not yet written.
    QLabel* LblTypeCh = nullptr;
    QLabel* LblSerialCh = nullptr;
    QLabel* LblNameCh = nullptr;
    QLabel* LblDateCh = nullptr;
    QLabel* LblPersonCh = nullptr;
    QLabel* LblSetTempCh = nullptr;
    QLabel* LblResCompCh = nullptr;
    QLabel* LblTempBeginCh = nullptr;
    QLabel* LblTempEndCh = nullptr;

    // The legend: "Notice:", the sample mark (always shown), its meaning.
    QLabel* LblNotice = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* LblChangeWoutSave = nullptr;

    QStatusBar* StatusBar = nullptr;

    // The nine change marks, in the order of their fields.
    std::array<QLabel*, 9> ChangeMarks() const;
};

// The settings panel's logic over controls that the window laid out:
// loading the converter's settings into the fields, writing each field
// back, the change marks, the highlight of the focused field and the
// checks between fields.
//
// A text, date or number field is written when Enter is pressed in it, a
// radio group or check box the moment its state changes. Every exchange
// waits for its reply without taking user input (see TDeviceLink), so no
// second load or write can start while one is under way.
class TSettingsForm : public QObject {
    Q_OBJECT

public:
    // The controls, the message texts (read when a message is shown) and
    // the device link must outlive the form.
    TSettingsForm(const TSettingsControls& controls, const TMessages& messages,
                  TDeviceLink& link, QObject* parent = nullptr);

    const TSettingsControls Ctl;
    const TMessages& Msg;
    TDeviceLink& Link;

    // The window's reaction to a failed exchange: the connection-lost
    // dialog, the port closed, the port panel shown.
    void SetShowConnPanel(std::function<void()> showConnPanel);
    void ShowConnPanel();

    // Set while the program itself fills or clears the fields: their change
    // handlers then show no mark and the choice fields write nothing.
    bool Filling = false;

    // Where Enter and the choices write: the converter (nullptr, the
    // default) or another target, such as a settings file in memory. Loading
    // always reads the converter.
    void SetCommitTarget(TCommitTarget* target);
    bool WritesToConverter() const { return target_ == &linkTarget_; }
    // Hears every write to the converter (nullptr: none); see TWriteJournal.
    void SetWriteJournal(TWriteJournal* journal) { linkTarget_.SetJournal(journal); }

    // Fills the fields from `block` without writing anything, as a load
    // does; only the settings that `shown` accepts (all when it is empty),
    // the others keep what they show.
    using TShown = std::function<bool(const SettingInfo&)>;
    void ShowBlock(const SettingsBlock& block, const TShown& shown = {});

    // Blanks every field, sets the date to today and hides the nine change
    // marks, without any exchange with the converter. The enabled state of
    // the fields is kept.
    void ClearForm();

    // Enter in every field whose change mark shows, in the order of the
    // fields: the edits typed but not yet written go to the commit target.
    // False when a mark is left: its field's rule refused the value and
    // said so (an unreadable number escapes as an error, as Enter's does).
    bool CommitMarked();
    // Some field shows its change mark.
    bool AnyMarked() const;

    // The status text is kept as the way to make it, so that it can speak
    // the language in force: RetranslateStatus makes it again after the
    // window's change of language.
    using TText = std::function<QString()>;
    QString StatusText() const;
    TText Status() const { return status_; }
    void SetStatus(TText text);
    // A text that reads the same in every language.
    void SetStatusText(const QString& text);
    void RetranslateStatus();

    // The focus highlight and the colours fields get back when they lose it.
    static const QColor kFocusColour;

public slots:
    void BtnLoadDataClick();
    void BtnCleanFormClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // How a field shows the focus: an edit's background (base), a radio
    // group's or check box's face, or not at all (the read-only fields).
    enum class TFace { None, Edit, Choice };
    using THandler = void (TSettingsForm::*)();
    struct TField {
        QWidget* Widget;
        TFace Face;
        THandler KeyPress; // Enter in the field; nullptr: none
        THandler Exit;     // run after the focus has left; nullptr: none
        QLabel* Mark;      // its change mark; nullptr: none
    };

    void ConnectFields();
    void ConnectChoices();
    const TField* FieldOf(const QObject* widget) const;
    void FieldFocus(const TField& field, const QEvent& event);

    // Loading (settingsload.cpp).
    void LoadData();
    void FillTexts(const LoadedSettings& s, const SettingsBlock& block, const TShown& shown);
    void FillDate(const DateDecode& date);
    void FillChoices(const LoadedSettings& s, const TShown& shown);
    void FillNumbers(const LoadedSettings& s, const TShown& shown);
    void SetNumberField(QLineEdit* edit, QLabel* mark, const SettingInfo& setting,
                        std::int32_t value, const std::string& text);
    void ReleaseUnshown(QLineEdit* edit);
    void ReleaseAllUnshown();

    // Content, focus enter and focus exit of any field.
    void FieldChange(QLabel* mark);
    void FieldEnter(const TField& field);
    void FieldExit(const TField& field);
    void FocusMoved(QWidget* old, QWidget* now);
    void RunExitCheck(THandler exit);
    void SetFace(QWidget* widget, TFace face, bool focused);

    // Enter in a field: its commit (settingscommit.cpp).
    void EdtTypeKeyPress();
    void EdtSerialKeyPress();
    void EdtNameKeyPress();
    void DtTmPckrKeyPress();
    void EdtPersonKeyPress();
    void MskEdtSetTempKeyPress();
    void MskEdtResCompKeyPress();
    void MskEdtTempBeginKeyPress();
    void MskEdtTempEndKeyPress();

    // Radio groups and check boxes.
    void RdGrpInputClick(int item);
    void ChckBxOutLimitClick(bool checked);
    void RdGrpInErrClick(int item);
    void ChckBxColdCompClick(bool checked);
    void RdGrpOutputClick(int item);
    void RdGrpWireClick(int item);
    void ApplyInputType(int item);

    // The checks when the focus leaves a field.
    void MskEdtTempEndExit();
    void RdGrpInErrExit();

    std::int32_t NumberValue(const QLineEdit* edit, const SettingInfo& setting) const;
    bool RangeInOrder() const;
    void ShowRangeOrder();
    void CommitText(QLineEdit* edit, const SettingInfo& setting, QLabel* mark);
    void CommitNumber(QLineEdit* edit, const SettingInfo& setting, QLabel* mark);
    void WriteChoice(const SettingInfo& setting, std::int32_t value);
    void Written(bool acknowledged, QLabel* mark);
    QWidget* Window() const;

    // What the last load put into each text field, and the bytes of the
    // words behind it. Enter in a field that still shows that text writes
    // these bytes back: a byte the code page has no character for shows as
    // "?" and must not come back as one.
    struct TLoadedText {
        QString Text;
        Bytes Words;
    };
    std::map<const QLineEdit*, TLoadedText> loadedTexts_;

    // A converter value that its number field's mask cannot show: the field
    // shows "?" in every position instead of passing for a zero, and the
    // range check takes the converter's value, until the user types into
    // the field or the form is cleared. Enter writes nothing meanwhile.
    std::map<const QLineEdit*, std::int32_t> unshown_;
    // The user typed into the range end since it was last filled or written:
    // only then does leaving it check the range's order.
    bool tempEndEdited_ = false;

    std::vector<TField> fields_;
    std::optional<TField> highlighted_;
    std::function<void()> showConnPanel_;
    TText status_;
    TLinkTarget linkTarget_;
    TCommitTarget* target_ = &linkTarget_;
    bool exitCheckRunning_ = false;
};

} // namespace lk58
