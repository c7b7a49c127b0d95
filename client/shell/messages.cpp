#include "client/shell/messages.h"

#include <QCoreApplication>

namespace velkor::client {

CMessageEvent::CMessageEvent(UINT message, WPARAM wParam, LPARAM lParam, Discard discard)
    : QEvent(eventType()),
      m_message(message),
      m_wParam(wParam),
      m_lParam(lParam),
      m_discard(std::move(discard)) {}

CMessageEvent::~CMessageEvent() {
    if (!m_handled && m_discard) m_discard(m_wParam, m_lParam);
}

QEvent::Type CMessageEvent::eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

CMessageMap::CMessageMap(QObject* window) : QObject(window) {
    window->installEventFilter(this);
}

void CMessageMap::on(UINT message, Handler handler) {
    m_handlers[message] = std::move(handler);
}

bool CMessageMap::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != CMessageEvent::eventType()) return QObject::eventFilter(watched, event);
    auto* message = static_cast<CMessageEvent*>(event);
    const auto it = m_handlers.find(message->message());
    if (it == m_handlers.end()) return false;
    message->setResult(it->second(message->wParam(), message->lParam()));
    return true;
}

LRESULT sendMessage(QObject* window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr) return 0;
    CMessageEvent event(message, wParam, lParam);
    QCoreApplication::sendEvent(window, &event);
    return event.result();
}

bool postMessage(QObject* window, UINT message, WPARAM wParam, LPARAM lParam,
                 CMessageEvent::Discard discard) {
    if (window == nullptr) {
        if (discard) discard(wParam, lParam);
        return false;
    }
    QCoreApplication::postEvent(window, new CMessageEvent(message, wParam, lParam, std::move(discard)));
    return true;
}

}  // namespace velkor::client
