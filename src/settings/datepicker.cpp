#include "settings/datepicker.h"

#include "settings/datecodec.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace lk58 {
namespace {

bool IsModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return true;
    default:
        return false;
    }
}

// A digit or a date separator, typed without Ctrl, Alt or Meta (digits
// take Shift on a Czech keyboard); 0 for any other key.
char TypedKey(const QKeyEvent& event)
{
    const auto others = event.modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (others != Qt::NoModifier || event.text().size() != 1)
        return 0;
    const char16_t c = event.text().at(0).unicode();
    if ((c >= u'0' && c <= u'9') || c == u'.' || c == u'/' || c == u'-')
        return char(c);
    return 0;
}

} // namespace

TDatePicker::TDatePicker(QWidget* parent) : QDateEdit(parent)
{
    // A click into the text begins a new date, wherever it lands.
    lineEdit()->installEventFilter(this);
    connect(this, &QDateEdit::dateChanged, this, [this] {
        if (!typing_)
            EndTyping();
    });
}

void TDatePicker::EndTyping()
{
    keys_.clear();
    expected_ = -1;
}

// Tab leaves the picker for the next field, as in every other field, rather
// than moving to the date's next part.
bool TDatePicker::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0;
        if (plain && key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier))
            return QAbstractSpinBox::focusNextPrevChild(true);
        if (plain && (key->key() == Qt::Key_Backtab || key->key() == Qt::Key_Tab))
            return QAbstractSpinBox::focusNextPrevChild(false);
    }
    return QDateEdit::event(event);
}

void TDatePicker::keyPressEvent(QKeyEvent* event)
{
    if (const char key = TypedKey(*event); key != 0 && sectionCount() == 3) {
        event->accept();
        Type(key);
        return;
    }
    if (!IsModifierKey(event->key()))
        EndTyping();
    QDateEdit::keyPressEvent(event);
}

void TDatePicker::focusInEvent(QFocusEvent* event)
{
    QDateEdit::focusInEvent(event);
    EndTyping();
}

bool TDatePicker::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonPress)
        EndTyping();
    return QDateEdit::eventFilter(watched, event);
}

// A run begins where the cursor is; anything that moved the cursor since
// the last key (a click, an arrow key, the program) begins a new one.
void TDatePicker::Type(char key)
{
    if (expected_ < 0 || currentSectionIndex() != expected_) {
        keys_.clear();
        first_ = std::max(0, currentSectionIndex());
        base_ = date();
    }
    keys_ += key;
    std::array<std::size_t, 3> widths{};
    for (int i = 0; i < 3; ++i)
        widths[std::size_t(i)] = sectionAt(i) == YearSection ? 4 : 2;
    const TypedDate typed = ReadTypedDate(keys_, first_, widths);

    const QDate shown = TypedDateOn(base_, typed);
    if (shown.isValid() && shown >= minimumDate() && shown <= maximumDate()) {
        typing_ = true;
        setDate(shown);
        typing_ = false;
    }
    setCurrentSectionIndex(typed.next);
    setSelectedSection(sectionAt(typed.next));
    expected_ = typed.next;
}

// The parts typed so far over the date the run began with. A year of one or
// two digits reads as the converter's two-digit years do (97 is 1997, 07 is
// 2007); one of three digits is not a year yet. An invalid result (a day
// the month lacks, so far) is not shown.
QDate TDatePicker::TypedDateOn(const QDate& base, const TypedDate& typed) const
{
    int day = base.day(), month = base.month(), year = base.year();
    for (int i = 0; i < 3; ++i) {
        const std::string& digits = typed.parts[std::size_t(i)];
        if (digits.empty())
            continue;
        const int value = std::stoi(digits);
        switch (sectionAt(i)) {
        case DaySection:
            day = value;
            break;
        case MonthSection:
            month = value;
            break;
        case YearSection:
            if (digits.size() == 3)
                return {};
            year = digits.size() <= 2 ? FullYear(value) : value;
            break;
        default:
            return {};
        }
    }
    return QDate(year, month, day);
}

} // namespace lk58
