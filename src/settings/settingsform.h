#pragma once

#include "settings/messages.h"

#include <QObject>
#include <array>
#include <functional>

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace lk58 {

class TDeviceLink;
class TRadioGroup;

// The controls of the settings panel, by their names. The main window
// creates and lays them out; the settings logic works on them through this.
struct TSettingsControls {
    QLineEdit* EdtType = nullptr;
    QLineEdit* EdtSerial = nullptr;
    QLineEdit* EdtName = nullptr;
    QDateEdit* DtTmPckr = nullptr;
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

// The settings panel's logic over controls that the window laid out.
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

    // Blanks every field, sets the date to today and hides the nine change
    // marks, without any exchange with the converter. The enabled state of
    // the fields is kept.
    void ClearForm();

    QString StatusText() const;
    void SetStatusText(const QString& text);

public slots:
    void BtnCleanFormClick();

private:
    std::function<void()> showConnPanel_;
};

} // namespace lk58
