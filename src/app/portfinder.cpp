#include "app/portfinder.h"

#include "app/fieldtexts.h"
#include "app/frmmain.h"
#include "app/porterror.h"
#include "core/apperror.h"
#include "link/portprobe.h"
#include "settings/dialogs.h"

#include <QComboBox>
#include <QFrame>
#include <QProgressDialog>
#include <QToolButton>

#include <memory>
#include <vector>

namespace lk58 {

TPortFinder::TPortFinder(TFrmMain& frm) : QObject(&frm), frm_(frm)
{
    BtnFind = new QToolButton(frm_.PanelConnect);
    BtnFind->setObjectName(QStringLiteral("BtnFind"));
    // A speed button like Connect, beside it.
    BtnFind->setGeometry(377, 208, 81, 22);
    BtnFind->setFocusPolicy(Qt::NoFocus);
    connect(BtnFind, &QToolButton::clicked, this, &TPortFinder::BtnFindClick);
}

void TPortFinder::SetLang(int lang)
{
    lang_ = lang;
    BtnFind->setText(FieldTexts(lang).BtnFind);
}

void TPortFinder::BtnFindClick()
{
    Guarded([this] {
        if (frm_.ComPort.Active() || frm_.Link.Busy())
            return;
        QStringList ports;
        for (int i = 0; i < frm_.CmbBxComPorts->count(); ++i)
            ports << frm_.CmbBxComPorts->itemText(i);
        const TFieldTexts t = FieldTexts(lang_);
        if (ports.isEmpty()) {
            ShowWarningDialog(&frm_, t.NoPorts);
            return;
        }
        const QString found = Search(ports);
        if (found.isEmpty())
            return;
        frm_.CmbBxComPorts->setCurrentIndex(frm_.CmbBxComPorts->findText(found));
        frm_.CmbBxComPorts->setEditText(found);
        frm_.BtnConnectClick();
    });
}

// The results come from the probes' threads as queued calls to `context`,
// which goes before they could arrive late.
QString TPortFinder::Search(const QStringList& ports)
{
    const TFieldTexts t = FieldTexts(lang_);
    QProgressDialog progress(t.Finding.arg(ports.size()), t.BtnCancel, 0, int(ports.size()), &frm_);
    progress.setObjectName(QStringLiteral("FindProgress"));
    progress.setWindowTitle(t.FindTitle);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    progress.setValue(0);

    TComPort line;
    TFrmMain::SetConverterLine(line);
    std::vector<std::string> names;
    for (const QString& p : ports)
        names.push_back(p.toStdString());
    std::vector<TProbeResult> results(names.size());
    int answered = -1;
    int done = 0;
    auto context = std::make_unique<QObject>();
    QObject* target = context.get();
    std::unique_ptr<TPortSearch> search;
    auto onResult = [&, target](std::size_t i, TProbeResult result) {
        QMetaObject::invokeMethod(target, [&, i, result] {
            results[i] = result;
            if (result.outcome == TProbeOutcome::Answered && answered < 0) {
                answered = int(i);
                search->Cancel();
            }
            ++done;
            if (answered >= 0 || done == int(names.size()))
                progress.hide();
            else
                progress.setValue(done);
        }, Qt::QueuedConnection);
    };
    search = std::make_unique<TPortSearch>(
        names, [&line](TDcb& dcb) { line.FillDeviceControlBlock(dcb); }, onResult);
    connect(&progress, &QProgressDialog::canceled, target, [&search] { search->Cancel(); });
    progress.exec();
    search.reset();
    context.reset();
    if (answered >= 0)
        return ports[answered];
    // Closed before every port had answered: cancelled by the user.
    if (done < int(names.size()))
        return {};

    // One port a line; one that would not open says why, with the cure.
    QStringList tried;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const TProbeResult& r = results[i];
        if (r.outcome != TProbeOutcome::Busy && r.outcome != TProbeOutcome::NotOpened) {
            tried << ports[int(i)];
            continue;
        }
        QString reason = PortOpenReason(frm_.Msg, r.error, names[i]);
        if (reason.isEmpty())
            reason = t.NotOpened;
        tried << ports[int(i)] + QStringLiteral(": ") + reason;
    }
    ShowWarningDialog(&frm_, t.NoneAnswered.arg(tried.join(QLatin1Char('\n'))));
    return {};
}

} // namespace lk58
