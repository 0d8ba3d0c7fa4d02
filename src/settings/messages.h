#pragma once

#include <QString>

namespace lk58 {

// The texts of the program's messages in the language in force. The main
// window replaces all of them on every language switch; whoever shows a
// message reads its text at that moment.
struct TMessages {
    QString MsgNotFound;
    QString MsgInvalidPort;
    QString MsgConnected;
    QString MsgConnectionLost;
    QString MsgDateCorrupt;
    QString MsgRangeOrder;
    QString MsgVoltageNoIndication;
    QString MsgLoading;
    QString MsgLoaded;
};

} // namespace lk58
