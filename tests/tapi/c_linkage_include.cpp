// The headers are used from code with C linkage (a provider's export file
// wraps its includes so); they must compile inside extern "C".
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" {
#include "tapi.h"
#include "tapi_names.h"
#include "tspi.h"
}

static_assert(sizeof(LINEDEVCAPS) == 252);
