#pragma once

#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace lk58 {

// A captioned group of radio buttons in one column, spread evenly over the
// group's height, with "no item selected" as a reachable state (ItemIndex -1).
// The group is one tab stop: only the selected button (or the first, while
// none is selected) takes the focus from Tab; the arrow keys move the
// selection as a click would.
class TRadioGroup : public QGroupBox {
    Q_OBJECT

public:
    explicit TRadioGroup(QWidget* parent = nullptr);
    ~TRadioGroup() override;

    QStringList Items() const;
    // Replaces the item texts; afterwards no item is selected (no signal).
    void SetItems(const QStringList& items);

    // The selected item, or -1 when none is.
    int ItemIndex() const { return index_; }
    // Selects an item. Below -1 is taken as -1 and at or past the item count
    // as the last item. Emits ItemSelected when an item becomes selected;
    // selecting the selected item again, or -1, emits nothing.
    void SetItemIndex(int index);

    int Count() const { return static_cast<int>(buttons_.size()); }
    QRadioButton* Button(int index) const;

signals:
    // An item became selected, by the user or by SetItemIndex.
    void ItemSelected(int index);
    // The keyboard focus moved into / out of the group, within its window.
    void Entered();
    void Exited();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void AddButton(const QString& text);
    void ArrangeButtons();
    void UpdateTabStop();
    void ShowIndex(int index);
    void SelectByUser(int index);
    void FocusChanged(QWidget* old, QWidget* now);
    bool Holds(const QWidget* w) const;

    QButtonGroup* group_;
    std::vector<QRadioButton*> buttons_;
    int index_ = -1;
    QMetaObject::Connection focusWatch_;
};

} // namespace lk58
