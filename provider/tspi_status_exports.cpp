// The status entry point of velkorsp.tsp: the address status with the
// device-specific blocks, handed to the service provider under the entry
// lock.

#include <mutex>

#include "provider/exports.h"
#include "tspi.h"

using velkor::provider::ServiceProvider;
using velkor::provider::exports::entryLock;
using velkor::provider::exports::provider;

extern "C" {

LONG TSPI_lineGetAddressStatus(HDRVLINE hdLine, DWORD dwAddressID,
                               LPLINEADDRESSSTATUS lpAddressStatus) {
    std::lock_guard lock(entryLock());
    ServiceProvider* p = provider();
    if (!p) return LINEERR_INVALLINEHANDLE;
    return p->addressStatus(hdLine, dwAddressID, lpAddressStatus);
}

}  // extern "C"
