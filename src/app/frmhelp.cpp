#include "app/frmhelp.h"

#include "app/appearance.h"
#include "app/helptext.h"
#include "app/pushbutton.h"
#include "core/apperror.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

namespace lk58 {

TFrmHelp::TFrmHelp(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("FrmHelp"));
    setWindowTitle(QStringLiteral("Nápověda pro LK52"));
    setFixedSize(409, 472);

    MemoHlp = new QPlainTextEdit(this);
    MemoHlp->setObjectName(QStringLiteral("MemoHlp"));
    MemoHlp->setGeometry(0, 0, 409, 433);
    MemoHlp->setFont(HelpFont());
    MemoHlp->setReadOnly(true);
    MemoHlp->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MemoHlp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoHlp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QStringList lines;
    for (const char* line : kHelpLines)
        lines << QString::fromUtf8(line);
    MemoHlp->setPlainText(lines.join(QLatin1Char('\n')));

    BtnHlpClose = new TPushButton(QStringLiteral("OK"), this);
    BtnHlpClose->setObjectName(QStringLiteral("BtnHlpClose"));
    BtnHlpClose->setGeometry(176, 440, 75, 25);
    // Not the window's default button: Enter closes the window only while
    // OK has the focus, never from the text.
    connect(BtnHlpClose, &QPushButton::clicked, this, &TFrmHelp::BtnHlpCloseClick);

    setTabOrder(MemoHlp, BtnHlpClose);
}

void TFrmHelp::BtnHlpCloseClick()
{
    Guarded([this] { reject(); });
}

void TFrmHelp::keyPressEvent(QKeyEvent* event)
{
    // Esc is not a way out of this window: only OK is.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFrmHelp::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    MemoHlp->setFocus(Qt::OtherFocusReason);
}

} // namespace lk58
