#pragma once

#include <QMainWindow>

namespace velkor::client {

class CCaldraDoc;
class CCaldraView;
class CMessageMap;

// The client's single top-level window: menu, toolbars and the main view.
// Closing it ends the program; it first takes its size into the settings.
class CMainFrame : public QMainWindow {
public:
    explicit CMainFrame(CCaldraDoc* document, QWidget* parent = nullptr);

    CCaldraView* view() const { return m_view; }
    CMessageMap* messageMap() const { return m_messages; }

    // "<document title> - Caldra"
    void updateTitle();

    // Runs a menu, toolbar or key command by its resource number; false
    // when the frame has no handler for it.
    bool onCommand(int id);

    // The size the window is created with: the stored one, or the default
    // when the stored one is too small to use.
    static QSize initialSize();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CCaldraDoc* m_document;
    CCaldraView* m_view;
    CMessageMap* m_messages;
};

}  // namespace velkor::client
