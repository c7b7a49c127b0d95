// TSPI_lineDevSpecific of velkorsp.tsp: the text command goes to the
// device-specific commands under the entry lock.

#include <mutex>

#include "provider/exports.h"
#include "tspi.h"

namespace {

using velkor::devspecific::DeviceCommands;

template <typename Operation>
LONG onDevices(Operation operation, LONG absent) {
    std::lock_guard lock(velkor::provider::exports::entryLock());
    velkor::provider::ServiceProvider* p = velkor::provider::exports::provider();
    return p ? operation(p->devices()) : absent;
}

}  // namespace

extern "C" {

// The command acts for the station of the line; the call handle plays no part.
LONG TSPI_lineDevSpecific(DRV_REQUESTID dwRequestID, HDRVLINE hdLine, DWORD dwAddressID, HDRVCALL,
                          LPVOID lpParams, DWORD dwSize) {
    return onDevices(
        [&](DeviceCommands& d) {
            return d.lineDevSpecific(dwRequestID, hdLine, dwAddressID, lpParams, dwSize);
        },
        LINEERR_INVALLINEHANDLE);
}

}  // extern "C"
