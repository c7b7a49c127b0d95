#pragma once

#include <mutex>

namespace velkor::platform {

// The lock the provider's shared state is guarded with. Like the critical
// sections it replaces, the thread holding it may take it again: a handler
// that changes a call's state under the call-state lock may call another that
// takes the same lock.
using CriticalSection = std::recursive_mutex;
using ScopedLock = std::lock_guard<CriticalSection>;

}  // namespace velkor::platform
