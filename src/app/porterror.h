#pragma once

#include "settings/messages.h"

#include <QString>
#include <string>

namespace lk58 {

class EComError;

// The box shown when the chosen port does not open: the invalid-port
// message, then what went wrong and what to do about it, in the language of
// `msg`. `device` is the path that was opened.
QString PortOpenErrorText(const TMessages& msg, const EComError& error, const std::string& device);

// The name of the group that owns a device node; "dialout", the serial
// ports' group on Debian, where the node's group cannot be told.
QString DeviceGroup(const std::string& device);

} // namespace lk58
