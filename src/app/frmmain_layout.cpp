// The main window's controls: kinds, names, positions, sizes, fonts, input
// limits and tab order. Positions are pixels in the parent's client area.
#include "app/appearance.h"
#include "app/frmmain.h"
#include "app/langtables.h"
#include "app/pushbutton.h"
#include "settings/datepicker.h"
#include "settings/radiogroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QToolButton>

namespace lk58 {
namespace {

constexpr int kClientWidth = 530;
constexpr int kClientHeight = 463;
// Read-only fields are grey, as a scroll bar's track.
const QColor kReadOnlyColour(200, 200, 200);

template <class W>
W* Place(W* w, const char* name, int left, int top, int width, int height)
{
    w->setObjectName(QLatin1String(name));
    w->setGeometry(left, top, width, height);
    return w;
}

QLabel* ChangeMark(QWidget* parent, const char* name, int left, int top)
{
    auto* l = Place(new QLabel(QStringLiteral("x"), parent), name, left, top, 12, 24);
    l->setFont(MarkFont());
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Qt::red);
    l->setPalette(p);
    return l;
}

QLineEdit* Edit(QWidget* parent, const char* name, int left, int top, int width, int maxLength)
{
    auto* e = Place(new QLineEdit(parent), name, left, top, width, 24);
    e->setFont(FieldFont());
    e->setMaxLength(maxLength);
    return e;
}

QLineEdit* ReadOnlyEdit(QWidget* parent, const char* name, int left, int top, int width)
{
    QLineEdit* e = Edit(parent, name, left, top, width, 8);
    e->setReadOnly(true);
    QPalette p = e->palette();
    p.setColor(QPalette::Base, kReadOnlyColour);
    e->setPalette(p);
    return e;
}

// "#" takes a sign or a digit, "0" an optional digit; ";0" shows "0" in
// every position not typed, so an empty field shows its bare mask.
QLineEdit* MaskedEdit(QWidget* parent, const char* name, int left, int top, int width,
                      const char* mask)
{
    auto* e = Place(new QLineEdit(parent), name, left, top, width, 24);
    e->setFont(FieldFont());
    e->setInputMask(QLatin1String(mask));
    return e;
}

// The locale's short date with a four-digit year: a two-digit one would read
// a typed 99 as 2099.
QString FourDigitYearFormat()
{
    // The C locale's short date spells the month out; fall back on the
    // numeric form of the converter's home market.
    if (QLocale().language() == QLocale::C)
        return QStringLiteral("dd.MM.yyyy");
    QString f = QLocale().dateFormat(QLocale::ShortFormat);
    if (!f.contains(QLatin1String("yyyy")))
        f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return f;
}

} // namespace

// A label sized to its text; FitTexts refits it after every change of text.
// A label that stands before a field keeps clear of it.
QLabel* TFrmMain::AutoLabel(QWidget* parent, const char* name, int left, int top, QWidget* field)
{
    auto* l = Place(new QLabel(parent), name, left, top, 0, 13);
    l->setBuddy(field);
    autoLabels_.push_back({l, left, field});
    return l;
}

// A check box at least as wide as the layout makes it, wider where its text
// needs (see FitTexts).
QCheckBox* TFrmMain::CheckBox(QWidget* parent, const char* name, int left, int top, int width)
{
    auto* b = Place(new QCheckBox(parent), name, left, top, width, 17);
    checkBoxes_.push_back({b, width});
    return b;
}

namespace {

TRadioGroup* RadioGroup(QWidget* parent, const char* name, int left, int top, int width,
                        int height, const QStringList& items = {})
{
    auto* g = Place(new TRadioGroup(parent), name, left, top, width, height);
    if (!items.isEmpty())
        g->SetItems(items);
    return g;
}

// Enter and Space press the button that has the focus.
QPushButton* Button(QWidget* parent, const char* name, int left, int top)
{
    return Place(new TPushButton(parent), name, left, top, 97, 25);
}

QFrame* Panel(QWidget* parent, const char* name)
{
    auto* p = Place(new QFrame(parent), name, 0, 0, kClientWidth, kClientHeight);
    p->setFrameStyle(QFrame::Panel | QFrame::Raised);
    p->setLineWidth(1);
    p->setAutoFillBackground(true);
    return p;
}

// The Connect glyph: one image while enabled, a second one while disabled.
QIcon ConnectGlyph()
{
    QIcon icon;
    icon.addPixmap(QPixmap(QStringLiteral(":/lk58/icons/connect-on.png")), QIcon::Normal);
    icon.addPixmap(QPixmap(QStringLiteral(":/lk58/icons/connect-off.png")), QIcon::Disabled);
    return icon;
}

} // namespace

void TFrmMain::BuildMenu()
{
    MenuFile = menuBar()->addMenu(QString());
    MenuFile->setObjectName(QStringLiteral("MenuFile"));
    MFileExit = MenuFile->addAction(QString());
    MFileExit->setObjectName(QStringLiteral("MFileExit"));

    MenuLang = menuBar()->addMenu(QStringLiteral("&Jazyk / Language"));
    MenuLang->setObjectName(QStringLiteral("MenuLang"));
    // Two plain check items, not an exclusive group: the handlers keep one
    // of them checked.
    MLangCZ = MenuLang->addAction(QStringLiteral("Čestina"));
    MLangCZ->setObjectName(QStringLiteral("MLangCZ"));
    MLangCZ->setCheckable(true);
    MLangCZ->setChecked(true);
    MLangEN = MenuLang->addAction(QStringLiteral("English"));
    MLangEN->setObjectName(QStringLiteral("MLangEN"));
    MLangEN->setCheckable(true);
}

void TFrmMain::BuildPortPanel(QWidget* client)
{
    PanelConnect = Panel(client, "PanelConnect");
    LblAvailPort = AutoLabel(PanelConnect, "LblAvailPort", 176, 184);

    Image1 = Place(new QLabel(PanelConnect), "Image1", 152, 208, 32, 32);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap(QStringLiteral(":/lk58/icons/port.png")));

    // Editable, so that a port missing from the list (a pseudo-terminal)
    // can be typed; its text is what Connect opens.
    CmbBxComPorts = Place(new QComboBox(PanelConnect), "CmbBxComPorts", 176, 208, 97, 21);
    CmbBxComPorts->setEditable(true);
    CmbBxComPorts->setInsertPolicy(QComboBox::NoInsert);

    BtnConnect = Place(new QToolButton(PanelConnect), "BtnConnect", 288, 208, 81, 22);
    BtnConnect->setFocusPolicy(Qt::NoFocus);
    BtnConnect->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    BtnConnect->setIconSize(QSize(16, 16));
    BtnConnect->setIcon(ConnectGlyph());
}

TSettingsControls TFrmMain::BuildSettingsPanel(QWidget* client)
{
    PanelSettings = Panel(client, "PanelSettings");
    QWidget* p = PanelSettings;
    TSettingsControls c;

    c.EdtType = ReadOnlyEdit(p, "EdtType", 40, 8, 89);
    c.EdtSerial = ReadOnlyEdit(p, "EdtSerial", 208, 8, 121);
    c.EdtName = Edit(p, "EdtName", 392, 8, 129, 10);
    c.DtTmPckr = Place(new TDatePicker(p), "DtTmPckr", 48, 40, 97, 24);
    c.DtTmPckr->setFont(FieldFont());
    c.DtTmPckr->setCalendarPopup(true);
    c.DtTmPckr->setDisplayFormat(FourDigitYearFormat());
    // Dates whose two-digit year reads back the same.
    c.DtTmPckr->setDateRange(QDate(1997, 1, 1), QDate(2096, 12, 31));
    c.EdtPerson = Edit(p, "EdtPerson", 248, 40, 169, 15);
    c.RdGrpInput = RadioGroup(p, "RdGrpInput", 8, 80, 81, 121,
                              {QStringLiteral("J"), QStringLiteral("K"), QStringLiteral("S"),
                               QStringLiteral("B"), QStringLiteral("PT100")});
    c.ChckBxColdComp = CheckBox(p, "ChckBxColdComp", 152, 80, 169);
    c.MskEdtSetTemp = MaskedEdit(p, "MskEdtSetTemp", 272, 128, 49, "#00,0;0");
    c.MskEdtResComp = MaskedEdit(p, "MskEdtResComp", 272, 152, 57, "#00,00;0");
    c.RdGrpOutput = RadioGroup(p, "RdGrpOutput", 8, 208, 97, 105,
                               {QStringLiteral("0 - 10 VDC"), QStringLiteral("0 - 20 mADC"),
                                QStringLiteral("4 - 20 mADC")});
    c.GrpBxOutTempRange = Place(new QGroupBox(p), "GrpBxOutTempRange", 120, 264, 225, 65);
    QWidget* range = c.GrpBxOutTempRange;
    c.MskEdtTempBegin = MaskedEdit(range, "MskEdtTempBegin", 56, 25, 41, "#000;0");
    c.MskEdtTempEnd = MaskedEdit(range, "MskEdtTempEnd", 168, 25, 41, "#000;0");
    c.ChckBxOutLimit = CheckBox(p, "ChckBxOutLimit", 8, 336, 217);
    c.RdGrpWire = RadioGroup(p, "RdGrpWire", 8, 360, 217, 57, WireItems(kLangCzech));
    c.RdGrpInErr = RadioGroup(p, "RdGrpInErr", 248, 336, 169, 81, InErrItems(kLangCzech));
    c.BtnLoadData = Button(p, "BtnLoadData", 424, 344);
    c.BtnCleanForm = Button(p, "BtnCleanForm", 424, 376);
    c.BtnHelp = Button(p, "BtnHelp", 424, 408);

    c.LabelType = AutoLabel(p, "LabelType", 8, 16, c.EdtType);
    c.LabelSerial = AutoLabel(p, "LabelSerial", 143, 16, c.EdtSerial);
    c.LabelName = AutoLabel(p, "LabelName", 342, 16, c.EdtName);
    c.LabelDate = AutoLabel(p, "LabelDate", 8, 48, c.DtTmPckr);
    c.LabelPerson = AutoLabel(p, "LabelPerson", 192, 48, c.EdtPerson);
    c.LabelSetTemp = AutoLabel(p, "LabelSetTemp", 144, 136, c.MskEdtSetTemp);
    c.LabelResComp = AutoLabel(p, "LabelResComp", 136, 160, c.MskEdtResComp);
    c.LabelTempBegin = AutoLabel(range, "LabelTempBegin", 8, 33, c.MskEdtTempBegin);
    c.LabelTempEnd = AutoLabel(range, "LabelTempEnd", 128, 32, c.MskEdtTempEnd);
    c.LblNotice = AutoLabel(p, "LblNotice", 8, 424);
    c.LblChangeWoutSave = AutoLabel(p, "LblChangeWoutSave", 80, 424);

    c.LblTypeCh = ChangeMark(p, "LblTypeCh", 130, 1);
    c.LblSerialCh = ChangeMark(p, "LblSerialCh", 330, 1);
    c.LblNameCh = ChangeMark(p, "LblNameCh", 521, -1);
    c.LblDateCh = ChangeMark(p, "LblDateCh", 145, 32);
    c.LblPersonCh = ChangeMark(p, "LblPersonCh", 417, 32);
    c.LblSetTempCh = ChangeMark(p, "LblSetTempCh", 321, 120);
    c.LblResCompCh = ChangeMark(p, "LblResCompCh", 329, 144);
    c.LblTempBeginCh = ChangeMark(range, "LblTempBeginCh", 97, 17);
    c.LblTempEndCh = ChangeMark(range, "LblTempEndCh", 209, 17);
    c.Label13 = ChangeMark(p, "Label13", 65, 415);

    c.StatusBar = Place(new QStatusBar(p), "StatusBar", 1, 443, 528, 19);
    c.StatusBar->setSizeGripEnabled(false);

    SetTabOrder(c);
    return c;
}

// Tab runs through the fields in reading order, into the range group between
// the output group and the limit box; a radio group is one stop.
void TFrmMain::SetTabOrder(const TSettingsControls& c)
{
    std::vector<QWidget*> chain = {c.EdtType, c.EdtSerial, c.EdtName, c.DtTmPckr, c.EdtPerson};
    auto addGroup = [&chain](const TRadioGroup* g) {
        for (int i = 0; i < g->Count(); ++i)
            chain.push_back(g->Button(i));
    };
    addGroup(c.RdGrpInput);
    chain.insert(chain.end(), {c.ChckBxColdComp, c.MskEdtSetTemp, c.MskEdtResComp});
    addGroup(c.RdGrpOutput);
    chain.insert(chain.end(), {c.MskEdtTempBegin, c.MskEdtTempEnd, c.ChckBxOutLimit});
    addGroup(c.RdGrpWire);
    addGroup(c.RdGrpInErr);
    chain.insert(chain.end(), {c.BtnLoadData, c.BtnCleanForm, c.BtnHelp});
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

} // namespace lk58
