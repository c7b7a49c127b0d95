#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/time/clock.h"
#include "provider/core/dial_string.h"
#include "provider/core/model.h"
#include "provider/link/handlers.h"

namespace velkor::core {

// The call-control entry points of a line: what each checks, the request it
// sends, what it answers TAPI at once, and how the PBX's reply or rejection
// completes it later. Asynchronous operations keep TAPI's request ID in a
// pending slot of the line and return it; the reply completes it with 0, a
// rejection with the result its cause maps to. Destinations arrive as 8-bit
// (UTF-8) text.
class LineOperations final : public link::ReplyHandler,
                             public link::RejectionHandler,
                             public link::ServiceAnswerHandler {
public:
    static constexpr platform::Duration kBlindTransferWait = std::chrono::milliseconds(3000);
    // Service request types of the calls.
    static constexpr std::uint8_t kServiceUserUserInfo = 3;
    static constexpr std::uint8_t kServiceCallData = 5;
    static constexpr std::uint8_t kServiceDeferredRelease = 6;
    // The PBX relays user-user information of up to this many bytes.
    static constexpr DWORD kMaxUserUserInfo = 100000;

    using Locations = std::function<LocationPrefixes()>;

    LineOperations(StationModel& model, platform::Clock& clock, Locations locations);

    // Call control. The TAPI parameters the provider ignores are left out.
    LONG makeCall(DRV_REQUESTID id, HDRVLINE hdLine, HTAPICALL htCall, HDRVCALL* hdCall,
                  std::string_view destination, const LINECALLPARAMS* params);
    LONG answer(DRV_REQUESTID id, HDRVCALL hdCall, std::span<const std::uint8_t> userUserInfo);
    LONG drop(DRV_REQUESTID id, HDRVCALL hdCall);
    LONG hold(DRV_REQUESTID id, HDRVCALL hdCall);
    LONG unhold(DRV_REQUESTID id, HDRVCALL hdCall);
    LONG swapHold(DRV_REQUESTID id, HDRVCALL active, HDRVCALL held);
    LONG setupTransfer(DRV_REQUESTID id, HDRVCALL hdCall, HTAPICALL htConsult, HDRVCALL* hdConsult);
    LONG completeTransfer(DRV_REQUESTID id, HDRVCALL hdCall, HDRVCALL hdConsult,
                          HTAPICALL htConference, HDRVCALL* hdConference, DWORD mode);
    LONG blindTransfer(DRV_REQUESTID id, HDRVCALL hdCall, std::string_view destination);
    LONG setupConference(DRV_REQUESTID id, HDRVCALL hdCall, HDRVLINE hdLine, HTAPICALL htConference,
                         HDRVCALL* hdConference, HTAPICALL htConsult, HDRVCALL* hdConsult);
    LONG prepareAddToConference(DRV_REQUESTID id, HDRVCALL hdConference, HTAPICALL htConsult,
                                HDRVCALL* hdConsult);
    LONG addToConference(DRV_REQUESTID id, HDRVCALL hdConference, HDRVCALL hdConsult);
    LONG removeFromConference(DRV_REQUESTID id, HDRVCALL hdCall);
    LONG park(DRV_REQUESTID id, HDRVCALL hdCall, DWORD mode, std::string_view destination,
              VARSTRING* nonDirectedAddress);
    LONG unpark(DRV_REQUESTID id, HDRVLINE hdLine, HTAPICALL htCall, HDRVCALL* hdCall,
                std::string_view destination);
    LONG pickup(DRV_REQUESTID id, HDRVLINE hdLine, HTAPICALL htCall, HDRVCALL* hdCall,
                std::string_view destination);
    LONG completeCall(DRV_REQUESTID id, HDRVCALL hdCall, DWORD* completionId, DWORD mode);
    LONG uncompleteCall(DRV_REQUESTID id, HDRVLINE hdLine, DWORD completionId);
    LONG redirect(DRV_REQUESTID id, HDRVCALL hdCall, std::string_view destination);
    LONG dial(DRV_REQUESTID id, HDRVCALL hdCall, std::string_view destination);
    LONG forward(DRV_REQUESTID id, HDRVLINE hdLine, DWORD addressId, const LINEFORWARDLIST* list);
    LONG generateDigits(HDRVCALL hdCall, DWORD endToEndId, std::string_view digits);
    LONG sendUserUserInfo(DRV_REQUESTID id, HDRVCALL hdCall, std::span<const std::uint8_t> info);
    LONG releaseUserUserInfo(DRV_REQUESTID id, HDRVCALL hdCall);
    LONG setCallData(DRV_REQUESTID id, HDRVCALL hdCall, std::span<const std::uint8_t> data);
    LONG closeCall(HDRVCALL hdCall);

    // What the application reads of a call and a line.
    LONG callStatus(HDRVCALL hdCall, LINECALLSTATUS* status);
    LONG callInfo(HDRVCALL hdCall, LINECALLINFO* info);
    LONG lineDevStatus(HDRVLINE hdLine, LINEDEVSTATUS* status);

    // Media modes.
    LONG setDefaultMediaDetection(HDRVLINE hdLine, DWORD mediaModes);
    LONG setMediaMode(HDRVCALL hdCall, DWORD mediaMode);
    LONG conditionalMediaDetection(HDRVLINE hdLine, DWORD mediaModes);

    // link handlers: replies and rejections of the call requests, and the
    // service requests of the calls (user-user relay, call data, release).
    void onReply(const link::CtiMessage& message) override;
    void onRejection(const link::Rejection& rejection) override;
    void onServiceAnswer(const link::ServiceAnswer& answer) override;

    // Result a rejection of `request` with `cause` completes with.
    static LONG rejectionResult(std::uint8_t request, std::uint8_t cause);

private:
    // What the common checks found.
    struct Target {
        StationRecord* station = nullptr;
        LineContext* line = nullptr;
        CallContext* call = nullptr;
    };
    LONG lineTarget(HDRVLINE hdLine, Target& t);
    LONG callTarget(HDRVCALL hdCall, Target& t);
    static bool lineFree(const LineContext& line);

    // Stores `id` in the slot, marks `call` as waiting, sends; the request
    // ID, or LINEERR_OPERATIONFAILED (slot and mark undone) when the link
    // did not take it.
    LONG request(const Target& t, DRV_REQUESTID id, DRV_REQUESTID LineContext::*slot,
                 std::uint8_t code, std::span<const std::uint8_t> data, CallContext* call);
    LONG request(const Target& t, DRV_REQUESTID id, std::uint8_t code,
                 std::span<const std::uint8_t> data, CallContext* call) {
        return request(t, id, &LineContext::pendingGeneral, code, data, call);
    }
    // Sends the call request of `destination` for `call` (make call, dial on
    // a dial-tone call, blind transfer).
    LONG dialOut(const Target& t, DRV_REQUESTID id, CallContext& call, std::string_view destination,
                 bool makeCallForms, bool blindTransfer);
    CallContext* newCall(LineContext& line, HTAPICALL htCall, DWORD origin);
    // A request that makes `call` for TAPI: the call is handed out in
    // `hdCall` once `send` sent it, and freed when it did not go out.
    template <typename Send>
    LONG handOut(LineContext& line, CallContext* call, HDRVCALL* hdCall, Send send) {
        const LONG result = send();
        if (result < 0) {
            m_model.releaseCall(line, call);
            return result;
        }
        *hdCall = call->handle();
        return result;
    }
    // The line's pending request the answer to `code` completes.
    static DRV_REQUESTID LineContext::*slotFor(const LineContext& line, std::uint8_t code);
    void completeSlot(LineContext& line, DRV_REQUESTID LineContext::*slot, LONG result);
    // A service request about the station's line, completing `id` when the
    // PBX takes it; the request ID, or LINEERR_OPERATIONFAILED.
    LONG serviceRequest(const Target& t, DRV_REQUESTID id, std::uint8_t type, std::uint8_t subtype,
                        std::span<const std::uint8_t> extra);
    // The call's key as the requests about it carry it (num4 or co3).
    static std::span<const std::uint8_t> keyBytes(const CallContext& call) {
        return {reinterpret_cast<const std::uint8_t*>(call.key.data()), call.key.size()};
    }
    // The call's reference, big-endian, as the service requests carry it.
    static std::vector<std::uint8_t> referenceBytes(const CallContext& call) {
        std::vector<std::uint8_t> out;
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.push_back(static_cast<std::uint8_t>(call.reference >> shift));
        }
        return out;
    }
    CallContext* otherPartyCall(const LineContext& line, const CallContext& call);
    link::Dialect dialect() const { return m_model.dialect(); }

    StationModel& m_model;
    platform::Clock& m_clock;
    Locations m_locations;

    // Blind transfers waiting for the PBX to set up the consultation.
    std::mutex m_waitMutex;
    std::condition_variable m_waitChanged;
    std::set<std::uint16_t> m_consultationsReady;
};

}  // namespace velkor::core
