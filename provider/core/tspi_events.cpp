#include "provider/core/tspi_events.h"

namespace velkor::core {

void TspiEvents::lineEvent(const LineContext& line, const CallContext* call, DWORD message,
                           DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) {
    if (!line.eventProc) return;
    line.eventProc(line.htLine, call ? call->htCall : nullptr, message, p1, p2, p3);
}

HTAPICALL TspiEvents::newCall(const LineContext& line, CallContext& call) {
    if (!line.eventProc) return nullptr;
    // TAPI writes its own handle through dwParam2; null means it refused the call.
    HTAPICALL htCall = nullptr;
    line.eventProc(line.htLine, nullptr, LINE_NEWCALL, reinterpret_cast<DWORD_PTR>(call.handle()),
                   reinterpret_cast<DWORD_PTR>(&htCall), 0);
    return htCall;
}

void TspiEvents::providerEvent(DWORD message, DWORD_PTR p1, DWORD_PTR p2) {
    if (m_createProc) m_createProc(nullptr, nullptr, message, p1, p2, 0);
}

void TspiEvents::complete(DRV_REQUESTID request, LONG result) {
    if (m_completion) m_completion(request, result);
}

void TspiEvents::phoneDevSpecificAll(DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) {
    if (m_phones) m_phones(p1, p2, p3);
}

}  // namespace velkor::core
