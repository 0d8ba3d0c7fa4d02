// Time the technician waits in the real window against the simulated
// converter pacing its replies at 4800 baud: from Enter in a field to its
// change mark being hidden, and from the Load click to the "loaded" status.
//
// The converter runs in a child process, so that getrusage(RUSAGE_SELF)
// counts exactly this program. The window runs offscreen unless
// QT_QPA_PLATFORM says otherwise.
//
// Usage: bench_settings [runs]   (30 by default, at least 20)
#include "app/appearance.h"
#include "app/frmmain.h"
#include "settings/radiogroup.h"
#include "sim/simulator.h"

#include "benchcommon.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lk58;
using namespace lk58::bench;
using Clock = std::chrono::steady_clock;

namespace {

struct TCase {
    const char* Name;
    int Frames;       // exchanges per commit or load
    int RequestBytes; // per frame
    int ReplyBytes;   // per frame
    bool Pause;
    std::function<void(int run)> Prepare; // makes the field differ, showing its mark
    std::function<void()> Act;            // the Enter key or the Load click
    std::function<bool()> Done;           // the mark hidden, the status "loaded"
};

void PressEnter(QWidget* w)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(w, &release);
}

void Measure(const TCase& c, int runs)
{
    std::vector<double> wall;
    double wallSum = 0, cpuSum = 0;
    for (int i = 0; i < runs; ++i) {
        c.Prepare(i);
        QCoreApplication::processEvents();
        const double cpu0 = CpuMs();
        const auto t0 = Clock::now();
        c.Act();
        while (!c.Done())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        cpuSum += CpuMs() - cpu0;
        wallSum += ms;
        wall.push_back(ms);
    }
    const double floor = FloorMs(c.Frames, c.RequestBytes, c.ReplyBytes, c.Pause);
    const double median = Median(wall);
    std::printf("%-28s %4d %9.1f %9.1f %6.3f %9.1f %7.2f%%\n", c.Name, runs, median, floor, median / floor,
                median - floor, 100.0 * cpuSum / wallSum);
}

// Connects the window to the converter; false when no converter answers.
bool Connect(TFrmMain& frm, const std::string& path)
{
    frm.CmbBxComPorts->setEditText(QString::fromStdString(path));
    frm.BtnConnect->click();
    return frm.PanelSettings->isVisible();
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(20, std::atoi(argv[1])) : 30;
    PtyPair pty = OpenPtyPair();
    const pid_t converter = StartConverter(pty.master.Get()); // before any thread exists
    pty.master.Reset();

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetUpApplication(app);
    TFrmMain frm;
    frm.show();
    if (!Connect(frm, pty.slavePath)) {
        std::fprintf(stderr, "no converter answers\n");
        return 1;
    }
    const TSettingsControls& c = frm.Form->Ctl;
    c.BtnLoadData->click();
    c.RdGrpInput->SetItemIndex(4); // PT100: the resistance compensation is open

    auto commit = [&](const char* name, QLineEdit* edit, QLabel* mark, int frames, QStringList texts) {
        return TCase{name, frames, 7, 7, true,
                     [=](int run) { edit->setText(texts[run % texts.size()]); },
                     [=] { PressEnter(edit); }, [=] { return mark->isHidden(); }};
    };
    const std::vector<TCase> cases = {
        commit("Enter, 16-bit range begin", c.MskEdtTempBegin, c.LblTempBeginCh, 1, {"0100", "-050"}),
        commit("Enter, 32-bit resistance", c.MskEdtResComp, c.LblResCompCh, 1, {"012,34", "-01,50"}),
        commit("Enter, 15-character person", c.EdtPerson, c.LblPersonCh, 8,
               {"Ing. Jiri Novak", "Calibrated by X"}),
        {"Load click to loaded", 1, 3, 131, false, [&](int) { frm.Form->SetStatusText(QString()); },
         [&] { c.BtnLoadData->click(); }, [&] { return frm.Form->StatusText() == frm.Msg.MsgLoaded; }},
    };
    std::printf("%-28s %4s %9s %9s %6s %9s %8s\n", "what", "runs", "median ms", "floor ms", "ratio",
                "over ms", "CPU");
    for (const TCase& k : cases)
        Measure(k, runs);

    frm.ComPort.SetActive(false);
    kill(converter, SIGKILL);
    waitpid(converter, nullptr, 0);
    return 0;
}
