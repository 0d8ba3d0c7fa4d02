#pragma once

// The Czech and English texts of the window's field work: a settings file
// open without a converter, the demo converter and the search for a
// converter on every port.

#include <QString>

namespace lk58 {

struct TFieldTexts {
    QString MFileOpen;      // "Open settings file…"
    QString MFileSaveOpen;  // "Save": the open file
    QString MFileCloseOpen; // "Close file"
    QString MFileToPort;    // from the open file to the port panel
    QString OpenedStatus;   // %1: the file
    QString SavedStatus;    // %1: the file
    QString AskSave;        // %1: the file
    QString BtnSave;
    QString BtnDiscard;
    QString BtnCancel;
    QString NotReadable;    // %1: the file; the problems follow
    QString NoValue;        // %1: the keys whose field holds no value a file can keep

    QString MDemo;          // "Demo converter"
    QString DemoStatus;
    QString DemoCaption;    // %1: the window's caption
    QString DemoFailed;     // %1: why

    QString BtnFind;        // beside Connect
    QString Finding;        // the progress dialog's text; %1: how many ports
    QString FindTitle;
    QString NoneAnswered;   // %1: the ports tried, one a line
    QString NoPorts;        // the list holds no port to try
    QString NotOpened;      // a port that would not open, the system giving no reason
};

TFieldTexts FieldTexts(int lang);

} // namespace lk58
