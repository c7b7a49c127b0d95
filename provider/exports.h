#pragma once

#include <mutex>
#include <string>

#include "provider/service_provider.h"
#include "tapi.h"

// Shared by the files of TSPI entry points.
namespace velkor::provider::exports {

// Held by every entry point that reaches the service provider: TAPI is told
// the provider is not reentrant.
std::recursive_mutex& entryLock();
// The provider between enumeration and shutdown; nullptr outside.
ServiceProvider* provider();

// Wide text from TAPI as 8-bit (UTF-8) text; empty for a null pointer.
inline constexpr std::size_t kMaxText = 512;
std::string text(LPCWSTR wide);

// Runs `operation` on the line operations under the entry lock; `absent`
// when the provider is not running.
template <typename Operation>
LONG onLines(Operation operation, LONG absent = LINEERR_OPERATIONFAILED) {
    std::lock_guard lock(entryLock());
    ServiceProvider* p = provider();
    return p ? operation(p->lines()) : absent;
}

}  // namespace velkor::provider::exports
