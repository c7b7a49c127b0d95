#pragma once

#include <memory>

#include <QStringList>

class QWidget;

#include "client/shell/single_instance.h"
#include "platform/registry/registry.h"

namespace velkor::client {

class CCaldraDoc;
class CMainFrame;

// The application: everything that happens before the main window exists
// and after it is gone. It works with the process's QApplication, which
// must exist first.
class CCaldraApp {
public:
    explicit CCaldraApp(platform::Registry registry = platform::Registry::standard());
    ~CCaldraApp();
    CCaldraApp(const CCaldraApp&) = delete;
    CCaldraApp& operator=(const CCaldraApp&) = delete;

    // Start-up: settings, single instance, windows. False ends the process.
    bool initInstance(const QStringList& arguments);
    // Exit: writes every setting back. Returns the process exit code.
    int exitInstance();

    CMainFrame* mainFrame() const { return m_frame.get(); }
    CCaldraDoc* document() const { return m_document.get(); }
    bool showSplash() const { return m_showSplash; }
    const platform::Registry& registry() const { return m_registry; }

    // Help > About (command 57664).
    static void onAppAbout(QWidget* parent);

private:
    platform::Registry m_registry;
    CSingleInstance m_instance;
    std::unique_ptr<CCaldraDoc> m_document;
    std::unique_ptr<CMainFrame> m_frame;
    bool m_showSplash = true;
    bool m_started = false;
};

}  // namespace velkor::client
