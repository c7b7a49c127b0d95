#pragma once

#include <system_error>

namespace velkor::platform {

// Failures the datagram layer finds itself. Failures of the operating system
// come as std::system_category codes carrying errno.
enum class NetError {
    NotOpen = 1,
    AlreadyOpen,
};

const std::error_category& netErrorCategory();

std::error_code make_error_code(NetError error);

}  // namespace velkor::platform

template <>
struct std::is_error_code_enum<velkor::platform::NetError> : std::true_type {};
