#include "platform/serial/serial_error.h"

namespace velkor::platform {

namespace {

class SerialErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "serial"; }

    std::string message(int value) const override {
        switch (static_cast<SerialError>(value)) {
            case SerialError::UnsupportedBaudRate:
                return "baud rate not supported (1200, 2400, 4800, 9600, 19200, 38400 or 57600)";
            case SerialError::InvalidSettings:
                return "invalid serial port settings";
            case SerialError::UnknownPortName:
                return "unknown serial port name";
            case SerialError::NotOpen:
                return "serial port not open";
            case SerialError::AlreadyOpen:
                return "serial port already open";
            case SerialError::PortBusy:
                return "serial port in use by another program";
            case SerialError::NotATerminal:
                return "device is not a serial port";
            case SerialError::WriteTimedOut:
                return "serial write timed out";
            case SerialError::HungUp:
                return "serial device hung up";
        }
        return "unknown serial error " + std::to_string(value);
    }
};

}  // namespace

const std::error_category& serialErrorCategory() {
    static const SerialErrorCategory category;
    return category;
}

std::error_code make_error_code(SerialError error) {
    return {static_cast<int>(error), serialErrorCategory()};
}

}  // namespace velkor::platform
