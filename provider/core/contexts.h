#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tapi.h"
#include "tspi.h"

namespace velkor::core {

// What the call's key refers to.
enum class PartyKind : std::uint8_t {
    Station = 0,
    Co = 1,
    CoWithName = 5,
};

// Roles a call plays in transfers and conferences (bits as the provider keeps them).
inline constexpr std::uint32_t kRoleOrdinary = 0x00;
inline constexpr std::uint32_t kRoleConferenceMember = 0x01;
inline constexpr std::uint32_t kRoleConferenceController = 0x02;
inline constexpr std::uint32_t kRoleTransferTarget = 0x04;
inline constexpr std::uint32_t kRoleBeingTransferred = 0x08;
inline constexpr std::uint32_t kRoleTransferConference = 0x20;
inline constexpr std::uint32_t kRoleBlindTransfer = 0x40;

// Completion modes of a call (camp-on, callback, intrude, message).
inline constexpr std::uint32_t kCompletionCampOn = 1;
inline constexpr std::uint32_t kCompletionCallback = 2;
inline constexpr std::uint32_t kCompletionIntrude = 4;
inline constexpr std::uint32_t kCompletionMessage = 8;

// Busy mode the PBX reports for a called station that is in do-not-disturb
// or otherwise refuses; TAPI has no value for it.
inline constexpr DWORD kBusyModeRefused = 0x10000;

// One party identification of LINECALLINFO: number without leading blanks,
// name "STA" + number or "CO" + the 3-digit CO number, or a caller's name.
struct PartyId {
    std::string number;
    std::string name;
    bool operator==(const PartyId&) const = default;
};

struct LineContext;

struct CallContext {
    // Empty until TAPI accepts LINE_NEWCALL for calls the provider creates.
    HTAPICALL htCall = nullptr;
    std::uint32_t role = kRoleOrdinary;
    PartyKind partyKind = PartyKind::Station;
    bool requestPending = false;
    // 0 until the first progress event of a call made by TSPI_lineMakeCall.
    DWORD state = 0;
    DWORD mode = 0;
    DWORD origin = 0;
    DWORD reason = 0;
    std::uint32_t completionMode = 0;
    CallContext* related = nullptr;
    // An offered callback (event 0x23): answered with 0x8F 'N'.
    bool callback = false;
    // 4-character station number or 3-character CO number, exactly as on the
    // wire; events find their call by it.
    std::string key;
    PartyId caller;
    PartyId called;
    PartyId connected;
    PartyId redirecting;
    PartyId redirection;
    DWORD trunk = 0;
    std::string charging;
    // User-user information, at most kMaxUserUserInfo entries.
    std::vector<std::vector<std::uint8_t>> userUserInfo;
    std::vector<std::uint8_t> callData;
    std::string parkNumber;
    // Number the PBX reported as dialled (event 0x45 '!' '6').
    std::string dialled;
    // The provider's own 32-bit reference, which the PBX hands back in the
    // service requests about this call.
    std::uint32_t reference = 0;

    static constexpr std::size_t kMaxUserUserInfo = 7;

    HDRVCALL handle() { return reinterpret_cast<HDRVCALL>(this); }
};

// Programmable-button operation in progress.
enum class ButtonOperation : std::uint8_t {
    None = 0,
    Read = 0x21,
    Write = 0x22,
    Press = 0x23,
};

struct LineContext {
    HTAPILINE htLine = nullptr;
    LINEEVENT eventProc = nullptr;
    std::uint16_t station = 0;

    std::vector<std::unique_ptr<CallContext>> calls;
    std::size_t callCount() const { return calls.size(); }

    // Pending asynchronous request IDs (0 = none).
    DRV_REQUESTID pendingGeneral = 0;
    DRV_REQUESTID pendingHold = 0;
    DRV_REQUESTID pendingTransfer = 0;
    DRV_REQUESTID pendingBlindTransfer = 0;
    DRV_REQUESTID pendingAllStationStatus = 0;
    DRV_REQUESTID pendingAllCoStatus = 0;
    DRV_REQUESTID pendingStationStatus = 0;
    DRV_REQUESTID pendingCoStatus = 0;
    DRV_REQUESTID pendingAllStationNumbers = 0;
    DRV_REQUESTID pendingKeyPress = 0;

    // Feature state.
    bool doNotDisturb = false;
    bool messageWaiting = false;
    std::uint8_t forwardSelector = 0;
    DWORD forwardMode = 0;
    bool forwardActive = false;
    std::string forwardDestination;  // up to kMaxForwardDestination
    std::uint8_t coHoldSetting = '$';
    // Media mode TAPI detects and reports on the line's calls.
    DWORD mediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
    bool inUse = false;
    bool releasedByConference = false;
    bool pagingActive = false;
    bool dropRequested = false;
    static constexpr std::size_t kMaxForwardDestination = 31;

    // The call of event 0x24 (camped on / held by the PBX).
    CallContext* campedOnCall = nullptr;

    // Outstanding call-completion requests (first and second list) and the
    // callback requests the PBX has not offered back yet, as 4-character numbers.
    std::vector<std::string> completionList1;
    std::vector<std::string> completionList2;
    std::vector<std::string> pendingCallbacks;
    // Call-completion numbers reported by event 0x3C '(' while the line
    // collects them, replayed by TSPI_lineSetStatusMessages.
    bool collectsCompletionNumbers = false;
    std::vector<DWORD> completionNumbers;
    // Message count of event 0x3C ',' while the line tracks it.
    bool tracksMessageCount = false;
    bool messageCountPending = false;
    DWORD messageCount = 0;

    // Status-block subscriptions (device-specific services).
    bool wantsAllStationStatus = false;
    bool subscribedStationStatus = false;
    bool wantsAllCoStatus = false;
    bool subscribedCoStatus = false;
    bool wantsStationInfo = false;
    std::uint16_t stationInfoIndex = 0;
    bool wantsCoInfo = false;
    std::uint16_t coInfoIndex = 0;
    bool wantsStationNumbers = false;
    bool wantsParkNumbers = false;
    bool wantsStationTypes = false;
    bool displayTextPresent = false;

    // Received short message: 4-character sender number followed by the text.
    std::string shortMessage;
    bool shortMessageReady = false;
    static constexpr std::size_t kMaxShortMessage = 58;

    ButtonOperation buttonOperation = ButtonOperation::None;
    std::uint32_t buttonNumber = 0;

    DWORD lastDigitsEndToEndId = 0;

    HDRVLINE handle() { return reinterpret_cast<HDRVLINE>(this); }
};

}  // namespace velkor::core
