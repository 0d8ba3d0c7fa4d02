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

    // What follows MsgInvalidPort when a port does not open: no permission
    // (%1 the device's group, %2 the command that adds the user to it),
    // held by another program, no such path (%1), not a serial device (%1).
    QString MsgPortDenied;
    QString MsgPortBusy;
    // No permission, where no group for devices would let the user in
    // (%1 the device, %2 its group, %3 its permission bits in octal).
    QString MsgPortDeniedByMode;
    // Held through a lock file (%1 the process id, %2 ": " and the
    // program's name or nothing, %3 the lock file).
    QString MsgPortLocked;
    QString MsgPortMissing;
    QString MsgPortNotSerial;
    // On Windows, no such COM port (%1), with where the ports are listed.
    QString MsgComMissing;
    // The port (%1) opened but refused a setting of the converter's line (%2).
    QString MsgPortRefused;

    // The status text after a load that found a number its field cannot
    // show (%1: each such field's name and the converter's value), and the
    // number fields' names in it.
    QString MsgValueNotShown;
    QString NameTempBegin;
    QString NameTempEnd;
    QString NameSetTemp;
    QString NameResComp;
};

} // namespace lk58
