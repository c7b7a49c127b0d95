// What the telephony layer offers beyond the line and phone functions: the
// hook through which a provider's notices reach the user, and the poster
// that brings callback messages onto an application's GUI thread.
#pragma once

#include "tapi.h"

extern "C" {

// Shows a provider's notice (a message box on Windows). Without a hook the
// text goes to standard error.
using TAPINOTICEHOOK = void (*)(const char* text);
TAPIAPI void tapiSetNoticeHook(TAPINOTICEHOOK hook);
// Called by providers; they find it with dlsym(RTLD_DEFAULT, "tapiShowNotice").
TAPIAPI void tapiShowNotice(const char* text);
using tapiShowNotice_t = void (*)(const char* text);

// Applications initialised with LINEINITIALIZEEXOPTION_USEHIDDENWINDOW get
// their callback called on the thread this poster runs tasks on: it must
// call task(context) exactly once, later, on that thread. The Qt adapter
// installs one for the application's event loop. Without a poster, each
// application gets a delivery thread of its own.
using TAPITASKPROC = void (*)(void* context);
using TAPIPOSTER = void (*)(TAPITASKPROC task, void* context);
TAPIAPI void tapiSetCallbackPoster(TAPIPOSTER poster);

}  // extern "C"
