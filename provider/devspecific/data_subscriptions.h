#pragma once

#include <cstdint>

namespace velkor::devspecific {

// The two kinds of PBX data a station can subscribe to with the device-specific
// commands: call records (SMDR) and other system data.
enum class DataKind { CallRecords, OtherData };

// Who receives the PBX's call records and other data. The PBX has taken the
// subscription when these are called: the store decides what that means for
// the PBX's output and for its own data timer.
class DataSubscriptions {
public:
    virtual ~DataSubscriptions() = default;
    // The first call-record subscriber sends 0x51 '#' '1' and starts the data timer.
    virtual void join(DataKind kind, std::uint16_t station) = 0;
    // The last call-record subscriber leaving sends 0x51 '#' '0'; the data
    // timer stops when neither kind has a subscriber left.
    virtual void leave(DataKind kind, std::uint16_t station) = 0;
};

}  // namespace velkor::devspecific
