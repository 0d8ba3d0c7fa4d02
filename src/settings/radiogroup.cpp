#include "settings/radiogroup.h"

#include <QApplication>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <algorithm>

namespace lk58 {

TRadioGroup::TRadioGroup(QWidget* parent)
    : QGroupBox(parent), group_(new QButtonGroup(this))
{
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, &TRadioGroup::SetItemIndex);
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this, &TRadioGroup::FocusChanged);
}

// Closing a window moves the focus; the base destructor may close this
// group's window, when this group is no longer a TRadioGroup.
TRadioGroup::~TRadioGroup()
{
    disconnect(focusWatch_);
}

QStringList TRadioGroup::Items() const
{
    QStringList items;
    for (const QRadioButton* b : buttons_)
        items << b->text();
    return items;
}

void TRadioGroup::SetItems(const QStringList& items)
{
    ShowIndex(-1);
    // Existing buttons are reused, so that they keep their place in the
    // window's tab order; a language switch changes only their texts.
    while (Count() > items.size()) {
        QRadioButton* b = buttons_.back();
        buttons_.pop_back();
        group_->removeButton(b);
        delete b;
    }
    for (int i = 0; i < Count(); ++i)
        buttons_[i]->setText(items[i]);
    for (int i = Count(); i < items.size(); ++i)
        AddButton(items[i]);
    ArrangeButtons();
    UpdateTabStop();
}

void TRadioGroup::AddButton(const QString& text)
{
    auto* b = new QRadioButton(text, this);
    b->setObjectName(objectName() + QString::number(Count()));
    b->installEventFilter(this);
    group_->addButton(b, Count());
    if (!buttons_.empty())
        QWidget::setTabOrder(buttons_.back(), b);
    buttons_.push_back(b);
    b->show();
}

QRadioButton* TRadioGroup::Button(int index) const
{
    return index >= 0 && index < Count() ? buttons_[index] : nullptr;
}

void TRadioGroup::SetItemIndex(int index)
{
    index = std::clamp(index, -1, Count() - 1);
    if (index == index_)
        return;
    ShowIndex(index);
    if (index >= 0)
        emit ItemSelected(index);
}

void TRadioGroup::ShowIndex(int index)
{
    if (index < 0) {
        // An exclusive group keeps one button checked; lift that for a moment.
        group_->setExclusive(false);
        for (QRadioButton* b : buttons_)
            b->setChecked(false);
        group_->setExclusive(true);
    } else {
        buttons_[index]->setChecked(true);
    }
    index_ = index;
    UpdateTabStop();
}

void TRadioGroup::UpdateTabStop()
{
    const int stop = index_ >= 0 ? index_ : 0;
    for (int i = 0; i < Count(); ++i)
        buttons_[i]->setFocusPolicy(i == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void TRadioGroup::SelectByUser(int index)
{
    buttons_[index]->setFocus(Qt::OtherFocusReason);
    SetItemIndex(index);
}

bool TRadioGroup::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QGroupBox::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    int step = 0;
    if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Right)
        step = 1;
    else if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Left)
        step = -1;
    const auto at = std::find(buttons_.begin(), buttons_.end(), watched);
    if (step == 0 || at == buttons_.end() || key->modifiers() != Qt::NoModifier)
        return QGroupBox::eventFilter(watched, event);
    const int from = static_cast<int>(at - buttons_.begin());
    SelectByUser((from + step + Count()) % Count());
    return true;
}

void TRadioGroup::resizeEvent(QResizeEvent* event)
{
    QGroupBox::resizeEvent(event);
    ArrangeButtons();
}

void TRadioGroup::changeEvent(QEvent* event)
{
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        ArrangeButtons();
}

// The buttons share the height inside the frame in equal rows, the
// remainder split above and below them.
void TRadioGroup::ArrangeButtons()
{
    if (buttons_.empty())
        return;
    QStyleOptionGroupBox opt;
    initStyleOption(&opt);
    const QRect inside =
        style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxContents, this);
    const int n = Count();
    const int room = std::max(0, inside.height());
    const int row = room / n;
    const int top = inside.top() + (room % n) / 2;
    for (int i = 0; i < n; ++i)
        buttons_[i]->setGeometry(6, top + i * row, std::max(0, width() - 8), row);
}

bool TRadioGroup::Holds(const QWidget* w) const
{
    return w != nullptr && (w == this || isAncestorOf(w));
}

// Focus moving to or from another window (a dialog, another program) is
// not entering or leaving the group.
void TRadioGroup::FocusChanged(QWidget* old, QWidget* now)
{
    const bool was = Holds(old);
    const bool is = Holds(now);
    if (was && !is && now != nullptr && now->window() == window())
        emit Exited();
    else if (is && !was && old != nullptr && old->window() == window())
        emit Entered();
}

} // namespace lk58
