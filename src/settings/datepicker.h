#pragma once

#include <QDate>
#include <QDateEdit>
#include <string>

namespace lk58 {

struct TypedDate;

// The settings panel's date picker. A date typed as one run of keys lands
// exactly as typed: with the separators ".", "/" or "-", without any
// (06082007) or with one-digit parts (6.8.2007), whichever part of the
// date the click or the Tab that brought the focus left the cursor in (see
// ReadTypedDate). The picker shows each step at once, so what it shows is
// what a commit writes. The arrow keys still choose a single part to type
// over, and Tab and Shift+Tab leave the picker as they leave any field.
class TDatePicker : public QDateEdit {
    Q_OBJECT

public:
    explicit TDatePicker(QWidget* parent = nullptr);

    // Ends the run of typed keys: the next key starts a new date.
    void EndTyping();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Type(char key);
    QDate TypedDateOn(const QDate& base, const TypedDate& typed) const;

    std::string keys_;  // the run so far
    int first_ = 0;     // the part the run began in
    int expected_ = -1; // the part the run left the cursor in; -1: no run
    QDate base_;        // the date shown when the run began
    bool typing_ = false;
};

} // namespace lk58
