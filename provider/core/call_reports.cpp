#include "provider/core/call_reports.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform/text/utf16.h"

namespace velkor::core {

namespace {

// ---------------------------------------------------------------------------
// Call status

struct Features {
    DWORD features = 0;
    DWORD features2 = 0;
};

constexpr DWORD kOfferingFeatures = LINECALLFEATURE_ANSWER | LINECALLFEATURE_REDIRECT;
static_assert(kOfferingFeatures == 0x20004);
constexpr DWORD kDialToneFeatures = LINECALLFEATURE_DIAL | LINECALLFEATURE_DROP;
static_assert(kDialToneFeatures == 0xC0);
// A station that rings or is busy can be asked for a callback, camped on or
// left a message; a CO line only released.
constexpr DWORD kStationCallingFeatures = LINECALLFEATURE_DROP | LINECALLFEATURE_COMPLETECALL;
static_assert(kStationCallingFeatures == 0x90);
constexpr DWORD kBusyCompletions = LINECALLFEATURE2_COMPLCAMPON | LINECALLFEATURE2_COMPLCALLBACK;
static_assert(kBusyCompletions == 12);

constexpr DWORD kCompletingTransferFeatures = LINECALLFEATURE_COMPLETETRANSF | LINECALLFEATURE_DROP;
static_assert(kCompletingTransferFeatures == 0xA0);
constexpr DWORD kTransferModes = LINECALLFEATURE2_TRANSFERNORM | LINECALLFEATURE2_TRANSFERCONF;
static_assert(kTransferModes == 0xC0);
constexpr DWORD kControllerFeatures = LINECALLFEATURE_ADDTOCONF | LINECALLFEATURE_DROP |
                                      LINECALLFEATURE_PREPAREADDCONF |
                                      LINECALLFEATURE_REMOVEFROMCONF;
static_assert(kControllerFeatures == 0x50082);
// The consultation call of a conference being set up joins it.
constexpr DWORD kConsultationFeatures =
    LINECALLFEATURE_ADDTOCONF | LINECALLFEATURE_DROP | LINECALLFEATURE_SETUPTRANSFER;
static_assert(kConsultationFeatures == 0x2000082);
constexpr DWORD kConnectedFeatures = LINECALLFEATURE_BLINDTRANSFER | LINECALLFEATURE_DROP |
                                     LINECALLFEATURE_SETUPCONF | LINECALLFEATURE_SETUPTRANSFER;
static_assert(kConnectedFeatures == 0x3000088);
// A CO line takes more digits and can be parked.
constexpr DWORD kCoConnectedFeatures = LINECALLFEATURE_PARK | LINECALLFEATURE_DIAL;
static_assert(kCoConnectedFeatures == 0x8040);
constexpr DWORD kCoConnectedFeatures2 =
    kTransferModes | LINECALLFEATURE2_PARKDIRECT | LINECALLFEATURE2_PARKNONDIRECT;
static_assert(kCoConnectedFeatures2 == 0x3C0);

bool isCo(const CallContext& call) { return call.partyKind != PartyKind::Station; }

// A transfer is pending while the PBX completes one (request 0x70).
bool transferPending(const LineContext& line) { return line.pendingTransfer != 0; }

bool otherCallIn(const LineContext& line, const CallContext& call, DWORD states) {
    for (const auto& c : line.calls) {
        if (c.get() != &call && (c->state & states) != 0) return true;
    }
    return false;
}

Features withTransfer(const LineContext& line, Features f) {
    if (transferPending(line)) f.features |= LINECALLFEATURE_COMPLETETRANSF;
    return f;
}

Features ringback(const LineContext& line, const CallContext& call) {
    if (isCo(call)) return withTransfer(line, {LINECALLFEATURE_DROP, 0});
    return withTransfer(line, {kStationCallingFeatures, LINECALLFEATURE2_COMPLMESSAGE});
}

Features busy(const LineContext& line, const CallContext& call) {
    if (isCo(call)) return withTransfer(line, {LINECALLFEATURE_DROP, 0});
    // A station that refuses calls (do-not-disturb) takes only a message.
    const DWORD completions =
        call.mode == kBusyModeRefused ? LINECALLFEATURE2_COMPLMESSAGE : kBusyCompletions;
    return withTransfer(line, {kStationCallingFeatures, completions});
}

Features connected(const LineContext& line, const CallContext& call) {
    if (transferPending(line)) return {kCompletingTransferFeatures, kTransferModes};
    if (call.role == kRoleConferenceController) return {kControllerFeatures, 0};
    Features f{call.role == kRoleConferenceMember ? kConsultationFeatures : kConnectedFeatures, 0};
    // The call the PBX put on hold itself (event 0x24) is swapped back, not held.
    f.features |= line.campedOnCall == &call ? LINECALLFEATURE_SWAPHOLD : LINECALLFEATURE_HOLD;
    if (isCo(call)) {
        f.features |= kCoConnectedFeatures;
        f.features2 = kCoConnectedFeatures2;
    }
    return f;
}

// A held call is retrieved, or transferred to the line's ringing or
// connected call; with a connected call it can also be swapped with it.
Features held(const LineContext& line, const CallContext& call, bool swapsWithConnected) {
    if (otherCallIn(line, call, LINECALLSTATE_CONNECTED)) {
        const DWORD swap = swapsWithConnected ? LINECALLFEATURE_SWAPHOLD : 0;
        return {LINECALLFEATURE_UNHOLD | swap | LINECALLFEATURE_COMPLETETRANSF, kTransferModes};
    }
    if (otherCallIn(line, call, LINECALLSTATE_RINGBACK)) {
        return {LINECALLFEATURE_UNHOLD | LINECALLFEATURE_COMPLETETRANSF,
                LINECALLFEATURE2_TRANSFERNORM};
    }
    return {LINECALLFEATURE_UNHOLD, 0};
}

using FeatureRule = Features (*)(const LineContext&, const CallContext&);

struct StatusRow {
    DWORD states;
    FeatureRule rule;
};

// Call features by call state. A state not listed (a new call before the
// PBX's first progress report) offers nothing.
constexpr StatusRow kStatusRows[] = {
    {LINECALLSTATE_OFFERING,
     [](const LineContext&, const CallContext&) {
         return Features{kOfferingFeatures, 0};
     }},
    {LINECALLSTATE_DIALTONE,
     [](const LineContext&, const CallContext&) {
         return Features{kDialToneFeatures, 0};
     }},
    {LINECALLSTATE_RINGBACK, ringback},
    {LINECALLSTATE_BUSY | LINECALLSTATE_SPECIALINFO, busy},
    {LINECALLSTATE_IDLE | LINECALLSTATE_DIALING | LINECALLSTATE_DISCONNECTED,
     [](const LineContext&, const CallContext&) {
         return Features{LINECALLFEATURE_DROP, 0};
     }},
    {LINECALLSTATE_CONNECTED, connected},
    {LINECALLSTATE_ONHOLD,
     [](const LineContext& l, const CallContext& c) { return held(l, c, true); }},
    {LINECALLSTATE_CONFERENCED,
     [](const LineContext&, const CallContext&) {
         return Features{LINECALLFEATURE_REMOVEFROMCONF, 0};
     }},
    {LINECALLSTATE_ONHOLDPENDCONF,
     [](const LineContext&, const CallContext&) {
         return Features{LINECALLFEATURE_UNHOLD | LINECALLFEATURE_ADDTOCONF, 0};
     }},
    {LINECALLSTATE_ONHOLDPENDTRANSFER,
     [](const LineContext& l, const CallContext& c) { return held(l, c, false); }},
};

Features callFeatures(const LineContext& line, const CallContext& call) {
    for (const StatusRow& row : kStatusRows) {
        if ((row.states & call.state) != 0) return row.rule(line, call);
    }
    return {};
}

constexpr DWORD kCallStatusSize = sizeof(LINECALLSTATUS);
static_assert(kCallStatusSize == 56);

// ---------------------------------------------------------------------------
// Call information

constexpr DWORD kCallInfoFixedSize = sizeof(LINECALLINFO);
static_assert(kCallInfoFixedSize == 324);

// The states a call of this provider reports in LINECALLINFO.
constexpr DWORD kCallInfoStates = LINECALLSTATE_IDLE | LINECALLSTATE_DIALTONE |
                                  LINECALLSTATE_CONNECTED | LINECALLSTATE_DISCONNECTED |
                                  LINECALLSTATE_UNKNOWN;
static_assert(kCallInfoStates == 0xC109);
constexpr DWORD kNoTrunk = 0xFFFFFFFF;

using SizeField = DWORD LINECALLINFO::*;

struct TextField {
    SizeField size;
    SizeField offset;
    const std::string& (*text)(const CallContext&);
};

// The wide texts of the variable part, in the order they are placed.
constexpr TextField kTextFields[] = {
    {&LINECALLINFO::dwConnectedIDSize, &LINECALLINFO::dwConnectedIDOffset,
     [](const CallContext& c) -> const std::string& { return c.connected.number; }},
    {&LINECALLINFO::dwCallerIDSize, &LINECALLINFO::dwCallerIDOffset,
     [](const CallContext& c) -> const std::string& { return c.caller.number; }},
    {&LINECALLINFO::dwCalledIDSize, &LINECALLINFO::dwCalledIDOffset,
     [](const CallContext& c) -> const std::string& { return c.called.number; }},
    {&LINECALLINFO::dwConnectedIDNameSize, &LINECALLINFO::dwConnectedIDNameOffset,
     [](const CallContext& c) -> const std::string& { return c.connected.name; }},
    {&LINECALLINFO::dwCallerIDNameSize, &LINECALLINFO::dwCallerIDNameOffset,
     [](const CallContext& c) -> const std::string& { return c.caller.name; }},
    {&LINECALLINFO::dwCalledIDNameSize, &LINECALLINFO::dwCalledIDNameOffset,
     [](const CallContext& c) -> const std::string& { return c.called.name; }},
    {&LINECALLINFO::dwRedirectingIDSize, &LINECALLINFO::dwRedirectingIDOffset,
     [](const CallContext& c) -> const std::string& { return c.redirecting.number; }},
    {&LINECALLINFO::dwRedirectingIDNameSize, &LINECALLINFO::dwRedirectingIDNameOffset,
     [](const CallContext& c) -> const std::string& { return c.redirecting.name; }},
    {&LINECALLINFO::dwRedirectionIDSize, &LINECALLINFO::dwRedirectionIDOffset,
     [](const CallContext& c) -> const std::string& { return c.redirection.number; }},
    {&LINECALLINFO::dwRedirectionIDNameSize, &LINECALLINFO::dwRedirectionIDNameOffset,
     [](const CallContext& c) -> const std::string& { return c.redirection.name; }},
    {&LINECALLINFO::dwChargingInfoSize, &LINECALLINFO::dwChargingInfoOffset,
     [](const CallContext& c) -> const std::string& { return c.charging; }},
};

struct PartyField {
    SizeField flags;
    PartyId CallContext::*party;
};

constexpr PartyField kPartyFields[] = {
    {&LINECALLINFO::dwCallerIDFlags, &CallContext::caller},
    {&LINECALLINFO::dwCalledIDFlags, &CallContext::called},
    {&LINECALLINFO::dwConnectedIDFlags, &CallContext::connected},
    {&LINECALLINFO::dwRedirectingIDFlags, &CallContext::redirecting},
    {&LINECALLINFO::dwRedirectionIDFlags, &CallContext::redirection},
};

DWORD partyFlags(const PartyId& party) {
    DWORD flags = 0;
    if (!party.number.empty()) flags |= LINECALLPARTYID_ADDRESS;
    if (!party.name.empty()) flags |= LINECALLPARTYID_NAME;
    return flags != 0 ? flags : LINECALLPARTYID_UNKNOWN;
}

// One piece of the variable part and the Size/Offset pair that points at it.
struct Part {
    SizeField size;
    SizeField offset;
    std::vector<std::uint8_t> bytes;
    bool wide;
};

// `text` as UTF-16LE with its NUL; nothing for an empty text.
std::vector<std::uint8_t> wideBytes(const std::string& text) {
    std::vector<std::uint8_t> out;
    if (text.empty()) return out;
    const std::u16string wide = platform::utf8ToUtf16(text);
    out.reserve((wide.size() + 1) * sizeof(char16_t));
    for (const char16_t unit : wide) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::vector<Part> variableParts(const CallContext& call) {
    std::vector<Part> parts;
    if (!call.userUserInfo.empty()) {
        parts.push_back({&LINECALLINFO::dwUserUserInfoSize, &LINECALLINFO::dwUserUserInfoOffset,
                         call.userUserInfo.front(), false});
    }
    parts.push_back(
        {&LINECALLINFO::dwCallDataSize, &LINECALLINFO::dwCallDataOffset, call.callData, false});
    for (const TextField& field : kTextFields) {
        parts.push_back({field.size, field.offset, wideBytes(field.text(call)), true});
    }
    return parts;
}

// Clears everything of a fixed part but dwTotalSize.
void clearFixedPart(void* block, std::size_t fixedSize) {
    std::memset(static_cast<std::uint8_t*>(block) + sizeof(DWORD), 0, fixedSize - sizeof(DWORD));
}

// ---------------------------------------------------------------------------
// Line status

constexpr DWORD kLineDevStatusSize = sizeof(LINEDEVSTATUS);
static_assert(kLineDevStatusSize == 88);

constexpr DWORD kLineFeatures = LINEFEATURE_DEVSPECIFIC | LINEFEATURE_FORWARD |
                                LINEFEATURE_MAKECALL | LINEFEATURE_FORWARDFWD |
                                LINEFEATURE_FORWARDDND;
static_assert(kLineFeatures == 0x18D);
constexpr DWORD kDevStatusFlags = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;
static_assert(kDevStatusFlags == 5);
constexpr DWORD kHeldPending = LINECALLSTATE_ONHOLDPENDCONF | LINECALLSTATE_ONHOLDPENDTRANSFER;

}  // namespace

LONG fillCallStatus(const LineContext& line, const CallContext& call, LINECALLSTATUS* status) {
    if (!status) return LINEERR_INVALPOINTER;
    if (status->dwTotalSize < kCallStatusSize) return LINEERR_STRUCTURETOOSMALL;
    clearFixedPart(status, kCallStatusSize);
    status->dwNeededSize = kCallStatusSize;
    status->dwUsedSize = kCallStatusSize;
    status->dwCallState = call.state;
    status->dwCallStateMode =
        call.state == LINECALLSTATE_DIALTONE ? LINEDIALTONEMODE_UNAVAIL : call.mode;
    const Features f = callFeatures(line, call);
    status->dwCallFeatures = f.features;
    status->dwCallFeatures2 = f.features2;
    return 0;
}

LONG fillCallInfo(const LineContext& line, const CallContext& call, DWORD lineDeviceId,
                  LINECALLINFO* info) {
    if (!info) return LINEERR_INVALPOINTER;
    const DWORD total = info->dwTotalSize;
    if (total < kCallInfoFixedSize) return LINEERR_STRUCTURETOOSMALL;

    std::vector<Part> parts = variableParts(call);
    std::size_t needed = kCallInfoFixedSize + kCallInfoSlack;
    for (const Part& p : parts) needed += p.bytes.size();
    if (total < needed) {
        info->dwNeededSize = static_cast<DWORD>(needed);
        info->dwUsedSize = kCallInfoFixedSize;
        return 0;
    }

    clearFixedPart(info, kCallInfoFixedSize);
    info->dwNeededSize = static_cast<DWORD>(needed);
    info->dwLineDeviceID = lineDeviceId;
    info->dwBearerMode = LINEBEARERMODE_VOICE;
    info->dwMediaMode = line.mediaMode;
    info->dwCallStates = kCallInfoStates;
    info->dwOrigin = call.origin;
    info->dwReason = call.reason;
    info->dwCompletionID = call.related ? call.related->reference : 0;
    info->dwTrunk = isCo(call) ? call.trunk : kNoTrunk;
    for (const PartyField& field : kPartyFields) {
        info->*field.flags = partyFlags(call.*field.party);
    }

    auto* block = reinterpret_cast<std::uint8_t*>(info);
    std::size_t at = kCallInfoFixedSize;
    for (const Part& p : parts) {
        if (p.bytes.empty()) continue;
        // Wide text starts on an even offset; the slack of the needed size
        // pays for the one byte this may cost after odd binary parts.
        if (p.wide && at % 2 != 0) ++at;
        if (at + p.bytes.size() > total) break;
        std::memcpy(block + at, p.bytes.data(), p.bytes.size());
        info->*p.size = static_cast<DWORD>(p.bytes.size());
        info->*p.offset = static_cast<DWORD>(at);
        at += p.bytes.size();
    }
    info->dwUsedSize = static_cast<DWORD>(at);
    return 0;
}

LONG fillLineDevStatus(const LineContext& line, LINEDEVSTATUS* status) {
    if (!status) return LINEERR_INVALPOINTER;
    if (status->dwTotalSize < kLineDevStatusSize) return LINEERR_STRUCTURETOOSMALL;
    clearFixedPart(status, kLineDevStatusSize);
    status->dwNeededSize = kLineDevStatusSize;
    status->dwUsedSize = kLineDevStatusSize;
    status->dwNumOpens = 1;
    status->dwOpenMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
    for (const auto& c : line.calls) {
        if (c->state == LINECALLSTATE_ONHOLD) {
            ++status->dwNumOnHoldCalls;
        } else if ((c->state & kHeldPending) != 0) {
            ++status->dwNumOnHoldPendCalls;
        } else if (c->state != LINECALLSTATE_IDLE) {
            ++status->dwNumActiveCalls;
        }
    }
    status->dwLineFeatures = kLineFeatures;
    status->dwDevStatusFlags = kDevStatusFlags;
    status->dwAvailableMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
    return 0;
}

}  // namespace velkor::core
