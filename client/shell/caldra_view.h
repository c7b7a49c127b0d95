#pragma once

#include <QWidget>

namespace velkor::client {

class CCaldraDoc;
class CMessageMap;

// The main view: the form that holds the call pane, the caller window and
// the tab area, and the owner of the telephony session. Other windows reach
// it with WM_DIAL_REQUEST, WM_VIEW_COMMAND and the call messages.
class CCaldraView : public QWidget {
public:
    CCaldraView(CCaldraDoc* document, QWidget* parent = nullptr);

    CCaldraDoc* document() const { return m_document; }
    CMessageMap* messageMap() const { return m_messages; }

private:
    CCaldraDoc* m_document;
    CMessageMap* m_messages;
};

}  // namespace velkor::client
