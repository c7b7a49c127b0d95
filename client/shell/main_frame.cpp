#include "client/shell/main_frame.h"

#include <QCloseEvent>

#include "client/resources/images.h"
#include "client/resources/resource.h"
#include "client/shell/caldra_app.h"
#include "client/shell/caldra_doc.h"
#include "client/shell/caldra_view.h"
#include "client/shell/messages.h"
#include "client/shell/settings.h"

namespace velkor::client {

namespace {

// A stored size below this (a damaged value reads as 0) would give a window
// the user cannot find or use; the default size is taken instead.
constexpr int kMinimumWidth = 200;
constexpr int kMinimumHeight = 150;

}  // namespace

CMainFrame::CMainFrame(CCaldraDoc* document, QWidget* parent)
    : QMainWindow(parent),
      m_document(document),
      m_view(new CCaldraView(document, this)),
      m_messages(new CMessageMap(this)) {
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowIcon(loadIcon(IDI_MAINFRAME));
    setCentralWidget(m_view);
    resize(initialSize());
    updateTitle();
    connect(m_document, &CCaldraDoc::titleChanged, this, [this] { updateTitle(); });
}

QSize CMainFrame::initialSize() {
    if (g_rectMainWnd.nWidth < kMinimumWidth || g_rectMainWnd.nHeight < kMinimumHeight)
        return {kDefaultMainWidth, kDefaultMainHeight};
    return {g_rectMainWnd.nWidth, g_rectMainWnd.nHeight};
}

void CMainFrame::updateTitle() {
    setWindowTitle(m_document->title() + QStringLiteral(" - ") + QString::fromUtf8(kAppTitle));
}

bool CMainFrame::onCommand(int id) {
    switch (id) {
    case ID_APP_ABOUT:
        CCaldraApp::onAppAbout(this);
        return true;
    case ID_APP_EXIT:
        close();
        return true;
    default:
        return false;
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // A minimised window has no size worth keeping; the next start opens
    // at the default size.
    if (isMinimized()) {
        g_rectMainWnd = {kDefaultMainWidth, kDefaultMainHeight};
    } else {
        // The size is restored with resize(), so the same measure is kept.
        g_rectMainWnd = {width(), height()};
    }
    hide();
    event->accept();
}

}  // namespace velkor::client
