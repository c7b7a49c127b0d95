#include "client/shell/caldra_app.h"

#include <cstdio>

#include "client/resources/resource.h"
#include "client/shell/about_dlg.h"
#include "client/shell/alert_dlg.h"
#include "client/shell/caldra_doc.h"
#include "client/shell/main_frame.h"
#include "client/shell/settings.h"
#include "client/shell/text_catalogue.h"

namespace velkor::client {

CCaldraApp::CCaldraApp(platform::Registry registry)
    : m_registry(std::move(registry)), m_instance(kAppTitle) {}

CCaldraApp::~CCaldraApp() {
    m_frame.reset();
    m_document.reset();
}

bool CCaldraApp::initInstance(const QStringList& arguments) {
    // 1. The splash screen is wanted unless the command line says otherwise.
    m_showSplash = !arguments.contains(QStringLiteral("--no-splash"));

    // 2. Process-wide state of a fresh start.
    g_bIdle = true;
    g_bOutlookConnected = false;
    g_strVersion = kVersionDesignator;

    // 3.-5. The rich-edit library, the socket library and the control
    // containers need no set-up on this platform: the widgets and sockets
    // are ready as soon as the QApplication exists, so these steps always
    // succeed.

    // 6.-7. The profile "Software\Ostrel Pellix click\Caldra" of the
    // current user.
    loadSettings(m_registry);

    // 8. One copy per user session. When the lock cannot be made at all the
    // client still runs rather than refusing to start.
    if (m_instance.acquire() == CSingleInstance::Result::AlreadyRunning) {
        showMessage("#:notify_message_caldra_now_running");
        return false;
    }

    // 9. There are no document files, so no recently-used list.

    // 10.-11. The document, the frame and the view.
    m_document = std::make_unique<CCaldraDoc>();
    m_frame = std::make_unique<CMainFrame>(m_document.get());

    // 12. Show the main window.
    m_frame->show();

    // 13. The station board has asked for nothing yet.
    g_bFullStationStatusRequest = false;

    // 14. The name shown for callers that cannot be identified.
    g_strUnknownName = catalogueText("#:name_unknown");

    m_started = true;
    return true;
}

int CCaldraApp::exitInstance() {
    if (!m_started) return 0;
    m_started = false;
    m_frame.reset();
    m_document.reset();
    if (!saveSettings(m_registry)) {
        std::fprintf(stderr, "brisel: the settings could not be written to %s\n",
                     m_registry.hiveFile(platform::Hive::CurrentUser).c_str());
        return 1;
    }
    return 0;
}

void CCaldraApp::onAppAbout(QWidget* parent) {
    CAboutDlg dialog(parent);
    dialog.doModal();
}

}  // namespace velkor::client
