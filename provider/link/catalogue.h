#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace velkor::link {

// Every message code of the link, in one table.
//
//   REQ(code, Name, text)              CTI request; the PBX replies with the same code
//                                      or rejects with code + 0x50
//   EVT(code, Name, text)              CTI event from the PBX (code < 0x50)
//   ATD(code, width, dir, Name, text)  ATD message; width = bytes of the code on the
//                                      wire, dir = ToPbx, FromPbx or Both
#define VELKOR_LINK_MESSAGES(REQ, EVT, ATD)                                              \
    REQ(0x50, SessionControl, "session / monitoring control")                          \
    REQ(0x51, Query, "query")                                                           \
    REQ(0x55, CallStation, "call a station")                                            \
    REQ(0x56, CallViaCoGroup, "call via a CO group")                                    \
    REQ(0x57, CallViaCoLine, "call via a CO line / network")                            \
    REQ(0x58, AnswerStation, "answer a station call")                                   \
    REQ(0x59, AnswerCo, "answer a CO call")                                             \
    REQ(0x5A, Release, "release")                                                       \
    REQ(0x5B, Hold, "hold")                                                             \
    REQ(0x5C, RetrieveCo, "retrieve held CO call")                                      \
    REQ(0x5D, RetrieveStation, "retrieve held station call / reconnect")                \
    REQ(0x5E, Park, "park")                                                             \
    REQ(0x5F, Unpark, "unpark")                                                         \
    REQ(0x60, DirectedPickup, "directed pickup")                                        \
    REQ(0x61, GroupPickup, "group pickup")                                              \
    REQ(0x62, Forward, "forwarding")                                                    \
    REQ(0x63, DndOn, "do-not-disturb on")                                               \
    REQ(0x64, DndOff, "do-not-disturb off")                                             \
    REQ(0x65, CampOn, "camp-on")                                                        \
    REQ(0x66, CallbackRequest, "callback request")                                      \
    REQ(0x68, MessageWaiting, "leave message waiting")                                  \
    REQ(0x69, Intrude, "intrude")                                                       \
    REQ(0x6A, SwapToHeld, "swap to held call")                                          \
    REQ(0x6F, TransferSetup, "transfer set-up")                                         \
    REQ(0x70, TransferComplete, "complete transfer")                                    \
    REQ(0x71, Conference, "conference set-up / complete")                               \
    REQ(0x72, PrepareConferenceAdd, "prepare add to conference")                        \
    REQ(0x73, ConferenceAdd, "add to conference")                                       \
    REQ(0x74, ConferenceRemoveCo, "remove a CO line from the conference")               \
    REQ(0x75, ConferenceRemoveStation, "remove a station from the conference")          \
    REQ(0x77, DialDigits, "dial more digits")                                           \
    REQ(0x79, VoiceUnit, "voice-unit function")                                         \
    REQ(0x7A, Paging, "paging")                                                         \
    REQ(0x7C, ServiceRequest, "service request")                                        \
    REQ(0x7D, Phone7D, "phone-device request 7D")                                       \
    REQ(0x7E, Phone7E, "phone-device request 7E")                                       \
    REQ(0x7F, Phone7F, "phone-device request 7F")                                       \
    REQ(0x80, Phone80, "phone-device request 80")                                       \
    REQ(0x81, Phone81, "phone-device request 81")                                       \
    REQ(0x82, Phone82, "phone-device request 82")                                       \
    REQ(0x83, Phone83, "phone-device request 83")                                       \
    REQ(0x84, Phone84, "phone-device request 84")                                       \
    REQ(0x85, Phone85, "phone-device request 85")                                       \
    REQ(0x86, Phone86, "phone-device request 86")                                       \
    REQ(0x87, Phone87, "phone-device request 87")                                       \
    REQ(0x88, Phone88, "phone-device request 88")                                       \
    REQ(0x89, Phone89, "phone-device request 89")                                       \
    REQ(0x8A, Phone8A, "phone-device request 8A")                                       \
    REQ(0x8B, KeepAlive, "keep-alive / resynchronise")                                  \
    REQ(0x8E, Redirect, "redirect an offering call")                                    \
    REQ(0x8F, KeyPress, "key presses / answer a callback")                              \
    REQ(0x90, SwapHold, "swap hold")                                                    \
    REQ(0x92, SendDtmf, "send DTMF digits")                                             \
    REQ(0x96, ProgrammableButton, "programmable button")                                \
    REQ(0x98, ShortMessage, "short message")                                            \
    EVT(0x20, IncomingCall, "incoming call notice")                                     \
    EVT(0x21, Released, "release")                                                      \
    EVT(0x22, Answered, "answered")                                                     \
    EVT(0x23, CallbackOffer, "callback offer")                                          \
    EVT(0x24, HeldCallAppears, "held call appears")                                     \
    EVT(0x25, Event25, "event 25")                                                      \
    EVT(0x26, TransferredConnected, "transferred party connected")                      \
    EVT(0x27, PickedUp, "picked up")                                                    \
    EVT(0x28, Event28, "event 28")                                                      \
    EVT(0x29, HeldCallReleased, "held call released")                                   \
    EVT(0x2A, ReleasedWithDrop, "released with drop")                                   \
    EVT(0x2B, TransferTarget, "call marked as transfer target")                         \
    EVT(0x2C, ConferencePartyReleased, "conference party released")                     \
    EVT(0x2D, IncomingCoCall, "incoming CO call")                                       \
    EVT(0x2E, DisconnectedWithCause, "disconnected with cause")                         \
    EVT(0x33, CoCallConnected, "CO call connected")                                     \
    EVT(0x35, StationCallProgress, "outgoing station call progress")                    \
    EVT(0x36, PagingProgress, "paging and answer progress")                             \
    EVT(0x37, CoCallProgress, "outgoing CO call progress")                              \
    EVT(0x38, PutOnHold, "put on hold")                                                 \
    EVT(0x39, HoldProgress, "hold / consultation progress")                             \
    EVT(0x3A, Ringback, "ringback")                                                     \
    EVT(0x3B, StationAdded, "station added")                                            \
    EVT(0x3C, FeatureStatus, "station feature status")                                  \
    EVT(0x3F, CallRecordText, "call record text")                                       \
    EVT(0x40, SystemNotice, "system notice")                                            \
    EVT(0x41, ParkSlotStatus, "park slot status")                                       \
    EVT(0x42, CallInfoUpdate, "call information update")                                \
    EVT(0x44, TwoStateIndicator, "two-state indicator")                                 \
    EVT(0x45, OutgoingCallResult, "outgoing call result")                               \
    EVT(0x46, OutgoingCoCallResult, "outgoing CO call result")                          \
    EVT(0x47, HeldCallReconnected, "held call reconnected")                             \
    EVT(0x48, OtherSystemData, "other system data")                                     \
    EVT(0x4A, ShortMessageReceived, "short message received")                           \
    EVT(0x4B, ConferenceFormed, "conference formed")                                    \
    EVT(0x4C, ConferenceSplit, "conference split")                                      \
    ATD(0x000B, 2, ToPbx, OpenSession, "open ATD session")                              \
    ATD(0x0001, 2, FromPbx, SessionAccepted, "ATD session accepted")                    \
    ATD(0x0002, 2, FromPbx, SessionRefused, "ATD session refused")                      \
    ATD(0x0008, 2, Both, SystemValue, "system value")                                   \
    ATD(0x0108, 2, Both, Version, "version text")                                       \
    ATD(0x0105, 2, Both, OwnStationIndex, "attendant station index")                    \
    ATD(0x0101, 2, Both, StationDirectorySize, "station directory size")                \
    ATD(0x0102, 2, Both, CoDirectorySize, "CO line directory size")                     \
    ATD(0x0309, 2, Both, DirectoryEntry, "directory entry")                             \
    ATD(0x0201, 2, ToPbx, StartStatus, "start status reporting")                        \
    ATD(0x0202, 2, ToPbx, StatusOptions, "status reporting options")                    \
    ATD(0x0304, 2, Both, StationDetails, "station details / station name")              \
    ATD(0x0301, 2, Both, StationAttributes, "station attributes")                       \
    ATD(0x0401, 2, Both, CoDetails, "CO details / CO attributes")                       \
    ATD(0x0403, 2, Both, CoName, "CO name")                                             \
    ATD(0x0405, 2, Both, CoNameReference, "CO name-table reference")                    \
    ATD(0x0404, 2, Both, NameTableEntry, "name-table entry")                            \
    ATD(0x0003, 2, Both, Close, "close ATD session")                                    \
    ATD(0x0004, 2, FromPbx, CloseAcknowledged, "close acknowledged")                    \
    ATD(0x0005, 2, Both, Poll, "poll")                                                  \
    ATD(0x0006, 2, Both, Alive, "alive")                                                \
    ATD(0x0007, 2, Both, SessionEnded, "ATD session ended")                             \
    ATD(0x0009, 2, FromPbx, Check09, "PBX check 09")                                    \
    ATD(0x000A, 2, ToPbx, CheckAnswer0A, "check answer 0A")                             \
    ATD(0x000E, 2, FromPbx, Check0E, "PBX check 0E")                                    \
    ATD(0x000F, 2, ToPbx, CheckAnswer0F, "check answer 0F")                             \
    ATD(0x0C, 1, FromPbx, Ignored0C, "ignored 0C")                                      \
    ATD(0x82, 1, FromPbx, Ignored82, "ignored 82")                                      \
    ATD(0x83, 1, FromPbx, StationStatus, "station status changes")                      \
    ATD(0x84, 1, FromPbx, CoStatus, "CO status changes")                                \
    ATD(0x85, 1, FromPbx, AttendantStatus, "attendant station status")

#define VELKOR_LINK_IGNORE(...)

// CTI request codes; a reply carries the same code.
namespace code {
#define VELKOR_LINK_REQ_CONST(value, name, text) inline constexpr std::uint8_t name = value;
VELKOR_LINK_MESSAGES(VELKOR_LINK_REQ_CONST, VELKOR_LINK_IGNORE, VELKOR_LINK_IGNORE)
#undef VELKOR_LINK_REQ_CONST
}  // namespace code

// CTI event codes.
namespace event {
#define VELKOR_LINK_EVT_CONST(value, name, text) inline constexpr std::uint8_t name = value;
VELKOR_LINK_MESSAGES(VELKOR_LINK_IGNORE, VELKOR_LINK_EVT_CONST, VELKOR_LINK_IGNORE)
#undef VELKOR_LINK_EVT_CONST
}  // namespace event

// ATD codes (one-byte codes keep their single byte value).
namespace atd {
#define VELKOR_LINK_ATD_CONST(value, width, dir, name, text) \
    inline constexpr std::uint16_t name = value;
VELKOR_LINK_MESSAGES(VELKOR_LINK_IGNORE, VELKOR_LINK_IGNORE, VELKOR_LINK_ATD_CONST)
#undef VELKOR_LINK_ATD_CONST
}  // namespace atd

// Station index of the system as a whole.
inline constexpr std::uint16_t kSystemIndex = 0xFFFF;
// Highest station index of the station table.
inline constexpr std::uint16_t kMaxStationIndex = 1000;

// CTI codes below 0x50 are events, 0x50..0x9F requests and replies, from 0xA0
// on rejections of request code - 0x50.
inline constexpr std::uint8_t kFirstReplyCode = 0x50;
inline constexpr std::uint8_t kFirstRejectionCode = 0xA0;
constexpr std::uint8_t rejectionCode(std::uint8_t request) {
    return static_cast<std::uint8_t>(request + 0x50);
}
constexpr std::uint8_t requestOfRejection(std::uint8_t rejection) {
    return static_cast<std::uint8_t>(rejection - 0x50);
}

enum class MessageKind : std::uint8_t {
    CtiRequest,
    CtiEvent,
    CtiRejection,
    Atd,
};

enum class Direction : std::uint8_t {
    ToPbx,
    FromPbx,
    Both,
};

struct MessageInfo {
    std::uint16_t code;
    MessageKind kind;
    Direction direction;
    // Bytes of the code on the wire.
    std::uint8_t codeWidth;
    std::string_view name;
};

// The whole catalogue: requests, their rejections, events, ATD messages.
std::span<const MessageInfo> messageCatalogue();

const MessageInfo* findCtiMessage(std::uint8_t code);
const MessageInfo* findAtdMessage(std::uint16_t code, std::uint8_t codeWidth);

// Names for logs; "unknown" for a code the catalogue does not hold.
std::string_view ctiMessageName(std::uint8_t code);
std::string_view atdMessageName(std::uint16_t code, std::uint8_t codeWidth);

}  // namespace velkor::link
