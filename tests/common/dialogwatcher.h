#pragma once

// Closes modal dialogs as they come up and records what they showed, so that
// a test can drive a handler that opens one and then assert its texts.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace lk58::test {

struct TSeenDialog {
    QString Title;
    QString Text;                  // a message box's text; empty otherwise
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QStringList Buttons;           // the message box's button texts
    QString ObjectName;            // the dialog's object name
};

class TDialogWatcher {
public:
    // Decides what to do with a dialog that is not a message box; the
    // default closes it with reject().
    using TOther = std::function<void(QDialog&)>;

    TDialogWatcher()
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }

    void SetOther(TOther other) { other_ = std::move(other); }
    // Runs while a dialog is up, before it is closed (to look at the state
    // the program is in while it waits for the user).
    void SetWhileShown(TOther whileShown) { whileShown_ = std::move(whileShown); }

    const QList<TSeenDialog>& Seen() const { return seen_; }
    QStringList Texts() const
    {
        QStringList texts;
        for (const TSeenDialog& d : seen_)
            texts << d.Text;
        return texts;
    }
    void Clear() { seen_.clear(); }

private:
    void Poll()
    {
        if (handled_ && !handled_->isVisible())
            handled_ = nullptr;   // closed: the same window may come up again
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible() || handled_ == dialog)
            return;
        handled_ = dialog;
        TSeenDialog seen;
        seen.Title = dialog->windowTitle();
        seen.ObjectName = dialog->objectName();
        if (whileShown_)
            whileShown_(*dialog);
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            seen.Text = box->text();
            seen.Icon = box->icon();
            for (QAbstractButton* b : box->buttons())
                seen.Buttons << b->text().remove(QLatin1Char('&'));
            seen_ << seen;
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
            return;
        }
        seen_ << seen;
        if (other_)
            other_(*dialog);
        else
            dialog->reject();
    }

    QTimer timer_;
    QList<TSeenDialog> seen_;
    QPointer<QDialog> handled_;
    TOther other_;
    TOther whileShown_;
};

} // namespace lk58::test
