#pragma once

#include <functional>

#include "platform/time/clock.h"
#include "provider/core/tapi_events.h"
#include "provider/link/link.h"

namespace velkor::core {

// TapiEvents over the procedures of the telephony layer.
class TspiEvents final : public TapiEvents {
public:
    void setProviderProcedure(LINEEVENT createProc) { m_createProc = createProc; }
    void setCompletionProcedure(ASYNC_COMPLETION completion) { m_completion = completion; }
    // PHONE_DEVSPECIFIC goes to every open phone through this.
    using PhoneBroadcast = std::function<void(DWORD_PTR, DWORD_PTR, DWORD_PTR)>;
    void setPhoneBroadcast(PhoneBroadcast broadcast) { m_phones = std::move(broadcast); }

    void lineEvent(const LineContext& line, const CallContext* call, DWORD message, DWORD_PTR p1,
                   DWORD_PTR p2, DWORD_PTR p3) override;
    HTAPICALL newCall(const LineContext& line, CallContext& call) override;
    void providerEvent(DWORD message, DWORD_PTR p1, DWORD_PTR p2) override;
    void complete(DRV_REQUESTID request, LONG result) override;
    void phoneDevSpecificAll(DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) override;

private:
    LINEEVENT m_createProc = nullptr;
    ASYNC_COMPLETION m_completion = nullptr;
    PhoneBroadcast m_phones;
};

// The link's senders behind the model's interfaces.
class LinkSender final : public CtiSender, public AtdSender {
public:
    LinkSender(link::Link& link, platform::Clock& clock) : m_link(link), m_clock(clock) {}
    bool sendCti(std::uint16_t station, std::uint8_t code, std::span<const std::uint8_t> data) override {
        return m_link.sendCti(station, code, data, m_clock.now());
    }
    bool sendAtd(std::uint16_t code, std::span<const std::uint8_t> data) override {
        return m_link.sendAtd(code, data);
    }

private:
    link::Link& m_link;
    platform::Clock& m_clock;
};

}  // namespace velkor::core
