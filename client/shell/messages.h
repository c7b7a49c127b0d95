#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include <QEvent>
#include <QObject>

namespace velkor::client {

using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// Messages between the client's windows keep their numbers from WM_USER.
inline constexpr UINT WM_USER = 0x0400;
// To the main view.
inline constexpr UINT WM_DIAL_REQUEST = WM_USER + 10;      // 0x40A
inline constexpr UINT WM_VIEW_COMMAND = WM_USER + 13;      // 0x40D
inline constexpr UINT WM_CALL_ITEM_ACTION = WM_USER + 14;  // 0x40E
inline constexpr UINT WM_CALL_STATE = WM_USER + 15;        // 0x40F
inline constexpr UINT WM_CALL_INFO = WM_USER + 16;         // 0x410
inline constexpr UINT WM_CALL_ACTION = WM_USER + 18;       // 0x412
inline constexpr UINT WM_PHONE_REQUEST = WM_USER + 19;     // 0x413
inline constexpr UINT WM_SET_ENTRY_CHAR = WM_USER + 24;    // 0x418
// To the call log pane: a new call-log entry, owned by the pane.
inline constexpr UINT WM_LOG_ADD_ENTRY = WM_USER + 22;     // 0x416
// To the address book and the station panes: save (0) or delete (1) the
// record of the caller window, owned by the pane.
inline constexpr UINT WM_CALLER_RECORD = WM_USER + 23;     // 0x417
// To the main frame: the notification-area icon was clicked.
inline constexpr UINT WM_TRAY_NOTIFY = WM_USER + 500;      // 0x5F4

// Refresh-texts command code of WM_VIEW_COMMAND: every window reloads its
// captions from the catalogue.
inline constexpr WPARAM kViewCommandRefreshTexts = 1029;

// A window message travelling as a Qt event.
class CMessageEvent : public QEvent {
public:
    // Frees a posted message's record when no window took the message.
    using Discard = std::function<void(WPARAM, LPARAM)>;

    CMessageEvent(UINT message, WPARAM wParam, LPARAM lParam, Discard discard = {});
    ~CMessageEvent() override;

    static QEvent::Type eventType();

    UINT message() const { return m_message; }
    WPARAM wParam() const { return m_wParam; }
    LPARAM lParam() const { return m_lParam; }
    LRESULT result() const { return m_result; }
    bool handled() const { return m_handled; }
    void setResult(LRESULT result) {
        m_result = result;
        m_handled = true;
    }

private:
    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
    Discard m_discard;
    LRESULT m_result = 0;
    bool m_handled = false;
};

// The message map of one window: handlers by message number. It watches
// the window's events, so a window only registers what it handles.
class CMessageMap : public QObject {
public:
    using Handler = std::function<LRESULT(WPARAM, LPARAM)>;

    explicit CMessageMap(QObject* window);

    void on(UINT message, Handler handler);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::map<UINT, Handler> m_handlers;
};

// Delivers the message at once on the calling (GUI) thread and returns the
// handler's result; 0 when the window has no handler or is null.
LRESULT sendMessage(QObject* window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Queues the message for the window's event loop; safe from any thread.
// When the window is gone before the message arrives, or has no handler,
// `discard` (if given) frees what lParam points to, so that records handed
// over by post are never lost or leaked.
bool postMessage(QObject* window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0,
                 CMessageEvent::Discard discard = {});

}  // namespace velkor::client
