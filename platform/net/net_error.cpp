#include "platform/net/net_error.h"

#include <string>

namespace velkor::platform {

namespace {

class NetErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "net"; }

    std::string message(int value) const override {
        switch (static_cast<NetError>(value)) {
            case NetError::NotOpen:
                return "socket not open";
            case NetError::AlreadyOpen:
                return "socket already open";
        }
        return "unknown net error " + std::to_string(value);
    }
};

}  // namespace

const std::error_category& netErrorCategory() {
    static const NetErrorCategory category;
    return category;
}

std::error_code make_error_code(NetError error) {
    return {static_cast<int>(error), netErrorCategory()};
}

}  // namespace velkor::platform
