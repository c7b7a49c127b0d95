#include "provider/link/dispatch.h"

#include "provider/link/catalogue.h"

namespace velkor::link {

Dispatcher::Dispatcher(RequestTracker& tracker, LinkHandlers handlers)
    : m_tracker(tracker), m_handlers(handlers) {}

void Dispatcher::onFrame(const Frame& frame) {
    if (frame.type == FrameType::Atd) {
        if (const auto message = decodeAtd(frame.payload)) dispatchAtd(*message);
        return;
    }
    if (const auto message = decodeCti(frame.payload)) dispatchCti(*message);
}

void Dispatcher::dispatchCti(const CtiMessage& message) {
    const std::uint8_t code = message.code;
    if (code < kFirstReplyCode) {
        if (m_handlers.events) m_handlers.events->onEvent(message);
        return;
    }
    if (message.station == kSystemIndex) {
        if (code == code::ServiceRequest) {
            handleServiceAnswer(ServiceAnswerSource::Echo, message.data);
            return;
        }
        if (code == rejectionCode(code::ServiceRequest)) {
            handleServiceAnswer(ServiceAnswerSource::Rejected, message.data);
            return;
        }
    }
    if (!m_tracker.takeAnswer(message.station, code)) return;
    if (code < kFirstRejectionCode) {
        if (m_handlers.replies) m_handlers.replies->onReply(message);
        return;
    }
    Rejection rejection;
    rejection.station = message.station;
    rejection.code = code;
    rejection.cause = message.data.empty() ? kCauseMissing : message.data[0];
    if (m_handlers.rejections) m_handlers.rejections->onRejection(rejection);
}

void Dispatcher::dispatchAtd(const AtdMessage& message) {
    if (m_handlers.atd) m_handlers.atd->onAtd(message);
}

void Dispatcher::handleRejection(const Rejection& rejection) {
    if (m_handlers.rejections) m_handlers.rejections->onRejection(rejection);
}

void Dispatcher::handleServiceAnswer(ServiceAnswerSource source,
                                     std::span<const std::uint8_t> payload) {
    if (!m_tracker.takeServiceAnswer(payload)) return;
    if (m_handlers.services) m_handlers.services->onServiceAnswer({source, payload});
}

void Dispatcher::acceptTimedOutService(std::span<const std::uint8_t> payload) {
    if (m_handlers.services) {
        m_handlers.services->onServiceAnswer({ServiceAnswerSource::TimedOut, payload});
    }
}

}  // namespace velkor::link
