// Notices of providers: shown by the application's hook, or written to
// standard error when the application has none.

#include <atomic>
#include <iostream>

#include "tapi_host.h"

namespace {
std::atomic<TAPINOTICEHOOK> g_noticeHook{nullptr};
}

extern "C" {

void tapiSetNoticeHook(TAPINOTICEHOOK hook) { g_noticeHook = hook; }

void tapiShowNotice(const char* text) {
    if (!text) return;
    if (TAPINOTICEHOOK hook = g_noticeHook.load()) {
        hook(text);
    } else {
        std::cerr << "notice: " << text << std::endl;
    }
}

}  // extern "C"
