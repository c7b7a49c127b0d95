#pragma once

namespace velkor::tapi {

// Delivers the callback messages of applications initialised with
// LINEINITIALIZEEXOPTION_USEHIDDENWINDOW on the thread of the Qt
// application object, through its event loop. Call once, after the
// QCoreApplication (or QApplication) exists and before lineInitializeEx.
void installQtCallbackPoster();

}  // namespace velkor::tapi
