#pragma once

#include <cstdint>
#include <span>

#include "provider/core/contexts.h"

namespace velkor::core {

// The procedures TAPI hands the provider, as the model raises them. The
// production implementation (TspiEvents) calls the LINEEVENT procedures;
// tests record.
class TapiEvents {
public:
    virtual ~TapiEvents() = default;
    // A message of an open line, for a call or (call null) the line itself.
    virtual void lineEvent(const LineContext& line, const CallContext* call, DWORD message,
                           DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3) = 0;
    // LINE_NEWCALL; returns TAPI's handle, or null when TAPI refused the call.
    virtual HTAPICALL newCall(const LineContext& line, CallContext& call) = 0;
    // LINE_CREATE / LINE_REMOVE through the provider-level procedure.
    virtual void providerEvent(DWORD message, DWORD_PTR param1, DWORD_PTR param2) = 0;
    // Completes an asynchronous request.
    virtual void complete(DRV_REQUESTID request, LONG result) = 0;
    // PHONE_DEVSPECIFIC to every open phone (system notices).
    virtual void phoneDevSpecificAll(DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3) = 0;
};

// Sending on the link, as the model needs it.
class CtiSender {
public:
    virtual ~CtiSender() = default;
    virtual bool sendCti(std::uint16_t station, std::uint8_t code,
                         std::span<const std::uint8_t> data) = 0;
};

class AtdSender {
public:
    virtual ~AtdSender() = default;
    virtual bool sendAtd(std::uint16_t code, std::span<const std::uint8_t> data) = 0;
};

// Where call records (0x3F) and other system data (0x48) go (status reports).
class RecordSink {
public:
    virtual ~RecordSink() = default;
    virtual void onCallRecord(std::span<const std::uint8_t> record) = 0;
    virtual void onOtherData(std::span<const std::uint8_t> data) = 0;
};

}  // namespace velkor::core
