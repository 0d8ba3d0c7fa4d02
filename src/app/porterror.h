#pragma once

#include "settings/messages.h"

#include <QString>
#include <string>

namespace lk58 {

class EComError;

// The box shown when the chosen port does not open: the invalid-port
// message, then what went wrong and what to do about it, in the language of
// `msg`. `device` is the port's name as it was opened.
QString PortOpenErrorText(const TMessages& msg, const EComError& error, const std::string& device);

// Why a port would not open, as one entry of a list of ports: the cause
// and cure that `code` stands for, else the system's text for it; empty
// for code 0, when the system said nothing.
QString PortOpenReason(const TMessages& msg, int code, const std::string& device);

// The platform's part of that text: the cause and cure that the system's
// error `code` stands for, or an empty text when the system's own message
// says all there is (one file per platform).
QString PortOpenCause(const TMessages& msg, int code, const std::string& device);

} // namespace lk58
