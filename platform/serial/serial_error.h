#pragma once

#include <string>
#include <system_error>

namespace velkor::platform {

// Failures the serial layer finds itself. Failures of the operating system
// come as std::system_category codes carrying errno.
enum class SerialError {
    UnsupportedBaudRate = 1,
    InvalidSettings,
    UnknownPortName,
    NotOpen,
    AlreadyOpen,
    PortBusy,
    NotATerminal,
    WriteTimedOut,
    HungUp,
};

const std::error_category& serialErrorCategory();

std::error_code make_error_code(SerialError error);

}  // namespace velkor::platform

template <>
struct std::is_error_code_enum<velkor::platform::SerialError> : std::true_type {};
