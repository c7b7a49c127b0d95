#include "provider/core/line_caps.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/text/utf16.h"
#include "provider/link/encodings.h"

namespace velkor::core {

namespace {

// ---------------------------------------------------------------------------
// Versions

constexpr DWORD kLowestVersion = TAPI_VERSION1_4;
constexpr DWORD kHighestVersion = TAPI_VERSION2_1;

// ---------------------------------------------------------------------------
// Line device capabilities

constexpr std::u16string_view kProviderInfo = u"VELKOR Service Provider";
constexpr std::string_view kUnknownSystem = "UNKNOWN";
constexpr std::string_view kLineNamePrefix = "STATION ";

// The PBX numbers its stations with at most 4 characters, and " (UNPLUGGED)"
// is the longest type label.
constexpr std::size_t kNumberChars = 4;
constexpr std::size_t kLongestTypeLabel = 12;
// UTF-16 units of the longest line name, without its NUL.
constexpr std::size_t kMaxLineNameUnits = kLineNamePrefix.size() + kNumberChars + kLongestTypeLabel;

// The variable part after the 252-byte fixed part:
//   252  provider info, 60 bytes (the text, NUL, NUL padding)
//   312  one LINETERMCAPS, 12 bytes
//   324  line name, at most 25 units = 50 bytes
//   ...  switch info right after the line name, 2 x length + 2 bytes
// The first three need at most 122 bytes of the 200 that the needed size
// grants beyond the fixed part, so the switch info, for which the needed size
// counts its own 2 x length + 2, always ends inside the needed size.
constexpr DWORD kDevCapsFixedSize = sizeof(LINEDEVCAPS);
constexpr DWORD kProviderInfoOffset = kDevCapsFixedSize;
constexpr DWORD kProviderInfoBytes = 60;
constexpr DWORD kTermCapsOffset = kProviderInfoOffset + kProviderInfoBytes;
constexpr DWORD kLineNameOffset = kTermCapsOffset + sizeof(LINETERMCAPS);
constexpr DWORD kMaxLineNameBytes = (kMaxLineNameUnits + 1) * sizeof(char16_t);

static_assert(kProviderInfoOffset == 252);
static_assert((kProviderInfo.size() + 1) * sizeof(char16_t) <= kProviderInfoBytes);
static_assert(kTermCapsOffset % alignof(LINETERMCAPS) == 0);
static_assert(kLineNameOffset + kMaxLineNameBytes <= lineDevCapsNeededSize(0) - sizeof(char16_t),
              "provider info, terminal caps and the longest line name must leave the switch "
              "info its 2 x length + 2 bytes inside the needed size");

constexpr DWORD kDevCapFlags = LINEDEVCAPFLAGS_CLOSEDROP | LINEDEVCAPFLAGS_DIALBILLING |
                               LINEDEVCAPFLAGS_DIALQUIET | LINEDEVCAPFLAGS_DIALDIALTONE;
static_assert(kDevCapFlags == 0x1E0);
constexpr DWORD kLineFeatures = LINEFEATURE_DEVSPECIFIC | LINEFEATURE_FORWARD |
                                LINEFEATURE_MAKECALL | LINEFEATURE_FORWARDFWD |
                                LINEFEATURE_FORWARDDND;
static_assert(kLineFeatures == 0x18D);
// The telephone set of the station: keys, ringer and hook switch.
constexpr LINETERMCAPS kTerminal{
    LINETERMDEV_PHONE,
    LINETERMMODE_BUTTONS | LINETERMMODE_RINGER | LINETERMMODE_HOOKSWITCH,
    LINETERMSHARING_PRIVATE,
};
// The PBX relays user-user information of up to this many bytes.
constexpr DWORD kMaxUserUserInfo = 100000;

// ---------------------------------------------------------------------------
// Address capabilities

constexpr DWORD kAddressCapsFixedSize = sizeof(LINEADDRESSCAPS);
static_assert(kAddressCapsFixedSize == 228);

constexpr DWORD kCallInfoStates =
    LINECALLINFOSTATE_OTHER | LINECALLINFOSTATE_BEARERMODE | LINECALLINFOSTATE_MEDIAMODE |
    LINECALLINFOSTATE_APPSPECIFIC | LINECALLINFOSTATE_CALLID | LINECALLINFOSTATE_ORIGIN |
    LINECALLINFOSTATE_REASON | LINECALLINFOSTATE_COMPLETIONID | LINECALLINFOSTATE_TRUNK |
    LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID | LINECALLINFOSTATE_CONNECTEDID;
static_assert(kCallInfoStates == 0x3C775);
constexpr DWORD kCallStates =
    LINECALLSTATE_IDLE | LINECALLSTATE_OFFERING | LINECALLSTATE_DIALTONE | LINECALLSTATE_RINGBACK |
    LINECALLSTATE_BUSY | LINECALLSTATE_SPECIALINFO | LINECALLSTATE_CONNECTED |
    LINECALLSTATE_ONHOLD | LINECALLSTATE_CONFERENCED | LINECALLSTATE_ONHOLDPENDCONF |
    LINECALLSTATE_ONHOLDPENDTRANSFER | LINECALLSTATE_DISCONNECTED | LINECALLSTATE_UNKNOWN;
static_assert(kCallStates == 0xFDEB);
constexpr DWORD kDisconnectModes = LINEDISCONNECTMODE_NORMAL | LINEDISCONNECTMODE_BUSY |
                                   LINEDISCONNECTMODE_NOANSWER | LINEDISCONNECTMODE_NODIALTONE;
static_assert(kDisconnectModes == 0x1061);
constexpr DWORD kAddrCapFlags = LINEADDRCAPFLAGS_DIALED | LINEADDRCAPFLAGS_ORIGOFFHOOK |
                                LINEADDRCAPFLAGS_COMPLETIONID | LINEADDRCAPFLAGS_TRANSFERMAKE |
                                LINEADDRCAPFLAGS_CONFERENCEMAKE | LINEADDRCAPFLAGS_FWDSTATUSVALID |
                                LINEADDRCAPFLAGS_CONFDROP;
static_assert(kAddrCapFlags == 0x22A860);
constexpr DWORD kCallFeatures =
    LINECALLFEATURE_ADDTOCONF | LINECALLFEATURE_ANSWER | LINECALLFEATURE_BLINDTRANSFER |
    LINECALLFEATURE_COMPLETECALL | LINECALLFEATURE_COMPLETETRANSF | LINECALLFEATURE_DIAL |
    LINECALLFEATURE_DROP | LINECALLFEATURE_HOLD | LINECALLFEATURE_PARK |
    LINECALLFEATURE_PREPAREADDCONF | LINECALLFEATURE_REDIRECT | LINECALLFEATURE_REMOVEFROMCONF |
    LINECALLFEATURE_SENDUSERUSER | LINECALLFEATURE_SETUPCONF | LINECALLFEATURE_SETUPTRANSFER |
    LINECALLFEATURE_SWAPHOLD | LINECALLFEATURE_UNHOLD | LINECALLFEATURE_RELEASEUSERUSERINFO |
    LINECALLFEATURE_SETCALLDATA;
static_assert(kCallFeatures == 0x9F1788FE);
constexpr DWORD kCallFeatures2 = LINECALLFEATURE2_COMPLCAMPON | LINECALLFEATURE2_COMPLCALLBACK |
                                 LINECALLFEATURE2_COMPLMESSAGE | LINECALLFEATURE2_TRANSFERNORM |
                                 LINECALLFEATURE2_TRANSFERCONF | LINECALLFEATURE2_PARKDIRECT |
                                 LINECALLFEATURE2_PARKNONDIRECT;
static_assert(kCallFeatures2 == 0x3EC);
constexpr DWORD kForwardModes = LINEFORWARDMODE_UNCOND | LINEFORWARDMODE_UNCONDEXTERNAL |
                                LINEFORWARDMODE_BUSY | LINEFORWARDMODE_NOANSW |
                                LINEFORWARDMODE_BUSYNA;
static_assert(kForwardModes == 0x1115);
constexpr DWORD kCallCompletionModes =
    LINECALLCOMPLMODE_CAMPON | LINECALLCOMPLMODE_CALLBACK | LINECALLCOMPLMODE_MESSAGE;
static_assert(kCallCompletionModes == 11);
constexpr DWORD kAddressFeatures = LINEADDRFEATURE_FORWARD | LINEADDRFEATURE_MAKECALL |
                                   LINEADDRFEATURE_PICKUP | LINEADDRFEATURE_SETUPCONF |
                                   LINEADDRFEATURE_UNCOMPLETECALL | LINEADDRFEATURE_UNPARK |
                                   LINEADDRFEATURE_FORWARDFWD | LINEADDRFEATURE_FORWARDDND;
static_assert(kAddressFeatures == 0x30E7);

// ---------------------------------------------------------------------------
// Device ID

constexpr std::string_view kLineClass = "tapi/line";
constexpr DWORD kLineIdSize = sizeof(VARSTRING) + sizeof(DWORD);
static_assert(kLineIdSize == 28);
// A too-small block learns only the three size fields.
constexpr DWORD kLineIdHeaderUsed = 3 * sizeof(DWORD);

// ---------------------------------------------------------------------------
// Helpers

// Bytes of `text` as a NUL-terminated wide field.
DWORD wideBytes(std::u16string_view text) {
    return static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
}

// Writes `text` as UTF-16LE with its NUL into the `fieldBytes` bytes at
// `offset` of a block of `total` bytes, NUL-padding the rest of the field.
// Writes nothing and returns false when the field would pass the end.
bool putWide(std::uint8_t* block, DWORD total, DWORD offset, std::u16string_view text,
             DWORD fieldBytes) {
    if (fieldBytes < wideBytes(text) || offset > total || fieldBytes > total - offset) {
        return false;
    }
    std::uint8_t* at = block + offset;
    std::memset(at, 0, fieldBytes);
    for (const char16_t unit : text) {
        *at++ = static_cast<std::uint8_t>(unit & 0xFF);
        *at++ = static_cast<std::uint8_t>(unit >> 8);
    }
    return true;
}

// Clears everything of a fixed part but dwTotalSize, so that fields the
// provider does not report read as 0 whatever the caller's block held.
void clearFixedPart(void* block, std::size_t fixedSize) {
    std::memset(static_cast<std::uint8_t*>(block) + sizeof(DWORD), 0, fixedSize - sizeof(DWORD));
}

// The station number without the PBX's padding blanks.
std::string displayNumber(const StationRecord& station) {
    std::string number = link::trimNumber(station.number);
    if (number.size() > kNumberChars) number.resize(kNumberChars);
    return number;
}

// "STATION 201 (DKT)": cut to the room reserved for it, should a longer type
// label ever appear.
std::u16string lineName(const StationRecord& station) {
    std::string name(kLineNamePrefix);
    name += displayNumber(station);
    name += stationTypeLabel(station.type);
    std::u16string wide = platform::utf8ToUtf16(name);
    if (wide.size() > kMaxLineNameUnits) {
        wide.resize(kMaxLineNameUnits);
        // Never leave half of a surrogate pair behind.
        if (wide.back() >= 0xD800 && wide.back() <= 0xDBFF) wide.pop_back();
    }
    return wide;
}

void setFixedDevCaps(LINEDEVCAPS& caps) {
    caps.dwStringFormat = STRINGFORMAT_ASCII;
    caps.dwAddressModes = LINEADDRESSMODE_ADDRESSID | LINEADDRESSMODE_DIALABLEADDR;
    caps.dwNumAddresses = 1;
    caps.dwBearerModes = LINEBEARERMODE_VOICE | LINEBEARERMODE_PASSTHROUGH;
    caps.dwMaxRate = 19200;
    caps.dwMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
    caps.dwGenerateDigitModes = LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF;
    caps.dwDevCapFlags = kDevCapFlags;
    caps.dwMaxNumActiveCalls = 10;
    caps.dwRingModes = 1;
    caps.dwLineStates = LINEDEVSTATE_INSERVICE;
    caps.dwUUIAnswerSize = kMaxUserUserInfo;
    caps.dwUUIDropSize = kMaxUserUserInfo;
    caps.dwUUISendUserUserInfoSize = kMaxUserUserInfo;
    caps.dwUUICallInfoSize = kMaxUserUserInfo;
    caps.dwLineFeatures = kLineFeatures;
}

}  // namespace

DWORD negotiateTspiVersion(DWORD offeredHigh) {
    if (offeredHigh >= TAPI_VERSION2_1) return TAPI_VERSION2_1;
    if (offeredHigh == TAPI_VERSION2_0) return TAPI_VERSION2_0;
    return TAPI_VERSION1_4;
}

LONG selectExtVersion(DWORD extVersion) {
    if (extVersion < kLowestVersion || extVersion > kHighestVersion) {
        return LINEERR_INCOMPATIBLEEXTVERSION;
    }
    return 0;
}

LONG fillExtensionId(DWORD deviceId, LINEEXTENSIONID* id) {
    if (!id) return LINEERR_INVALPOINTER;
    if (deviceId != kNoDevice) *id = kExtensionId;
    return 0;
}

LONG fillLineDevCaps(const LineCapsInput& in, LINEDEVCAPS* caps) {
    if (!caps) return LINEERR_INVALPOINTER;
    const DWORD total = caps->dwTotalSize;
    if (total < kDevCapsFixedSize) return LINEERR_STRUCTURETOOSMALL;
    if (!in.noDevice && !in.station) return LINEERR_OPERATIONFAILED;

    clearFixedPart(caps, kDevCapsFixedSize);
    setFixedDevCaps(*caps);
    caps->dwUsedSize = kDevCapsFixedSize;
    if (in.noDevice) {
        caps->dwNeededSize = kDevCapsFixedSize;
        return 0;
    }

    const StationRecord& station = *in.station;
    caps->dwPermanentLineID = station.index + (in.permanentProviderId & 0xFF) * 0x10000;
    const std::u16string switchInfo =
        platform::utf8ToUtf16(in.systemName.empty() ? kUnknownSystem : in.systemName);
    const DWORD needed = lineDevCapsNeededSize(static_cast<DWORD>(switchInfo.size()));
    caps->dwNeededSize = needed;
    if (total < needed) return 0;

    auto* block = reinterpret_cast<std::uint8_t*>(caps);
    const std::u16string name = lineName(station);
    const DWORD nameBytes = wideBytes(name);
    const DWORD switchOffset = kLineNameOffset + nameBytes;
    const DWORD switchBytes = wideBytes(switchInfo);
    // Each part checks its own end against dwTotalSize as well; by the layout
    // above none can fail once the needed size fits.
    if (!putWide(block, total, kProviderInfoOffset, kProviderInfo, kProviderInfoBytes) ||
        !putWide(block, total, kLineNameOffset, name, nameBytes) ||
        !putWide(block, total, switchOffset, switchInfo, switchBytes)) {
        return 0;
    }
    std::memcpy(block + kTermCapsOffset, &kTerminal, sizeof kTerminal);

    caps->dwProviderInfoSize = kProviderInfoBytes;
    caps->dwProviderInfoOffset = kProviderInfoOffset;
    caps->dwNumTerminals = 1;
    caps->dwTerminalCapsSize = sizeof kTerminal;
    caps->dwTerminalCapsOffset = kTermCapsOffset;
    caps->dwLineNameSize = nameBytes;
    caps->dwLineNameOffset = kLineNameOffset;
    caps->dwSwitchInfoSize = switchBytes;
    caps->dwSwitchInfoOffset = switchOffset;
    caps->dwUsedSize = switchOffset + switchBytes;
    return 0;
}

LONG fillAddressCaps(const StationRecord& station, DWORD deviceId, DWORD addressId,
                     LINEADDRESSCAPS* caps) {
    if (!caps) return LINEERR_INVALPOINTER;
    if (addressId != 0) return LINEERR_INVALADDRESSID;
    const DWORD total = caps->dwTotalSize;
    if (total < kAddressCapsFixedSize) return LINEERR_STRUCTURETOOSMALL;

    clearFixedPart(caps, kAddressCapsFixedSize);
    caps->dwLineDeviceID = deviceId;
    caps->dwAddressSharing = LINEADDRESSSHARING_PRIVATE;
    caps->dwAddressStates = LINEADDRESSSTATE_FORWARD;
    caps->dwCallInfoStates = kCallInfoStates;
    caps->dwCallerIDFlags = LINECALLPARTYID_ADDRESS;
    caps->dwCalledIDFlags = LINECALLPARTYID_ADDRESS;
    caps->dwConnectedIDFlags = LINECALLPARTYID_ADDRESS;
    caps->dwRedirectionIDFlags = LINECALLPARTYID_ADDRESS;
    caps->dwRedirectingIDFlags = LINECALLPARTYID_ADDRESS;
    caps->dwCallStates = kCallStates;
    caps->dwDialToneModes = LINEDIALTONEMODE_UNAVAIL;
    caps->dwBusyModes = LINEBUSYMODE_STATION | LINEBUSYMODE_TRUNK;
    caps->dwSpecialInfo = LINESPECIALINFO_UNAVAIL;
    caps->dwDisconnectModes = kDisconnectModes;
    caps->dwMaxNumActiveCalls = 1;
    caps->dwMaxNumConference = 7;
    caps->dwAddrCapFlags = kAddrCapFlags;
    caps->dwCallFeatures = kCallFeatures;
    caps->dwRemoveFromConfCaps = LINEREMOVEFROMCONF_ANY;
    caps->dwRemoveFromConfState = LINECALLSTATE_IDLE;
    caps->dwTransferModes = LINETRANSFERMODE_TRANSFER | LINETRANSFERMODE_CONFERENCE;
    caps->dwParkModes = LINEPARKMODE_DIRECTED;
    caps->dwForwardModes = kForwardModes;
    caps->dwMaxForwardEntries = 1;
    caps->dwMaxCallCompletions = 10;
    caps->dwCallCompletionConds = LINECALLCOMPLCOND_BUSY | LINECALLCOMPLCOND_NOANSWER;
    caps->dwCallCompletionModes = kCallCompletionModes;
    caps->dwAddressFeatures = kAddressFeatures;
    caps->dwCallFeatures2 = kCallFeatures2;

    const std::u16string address = platform::utf8ToUtf16(displayNumber(station));
    const DWORD addressBytes = wideBytes(address);
    const DWORD needed = kAddressCapsFixedSize + addressBytes;
    caps->dwNeededSize = needed;
    caps->dwUsedSize = kAddressCapsFixedSize;
    if (total < needed) return 0;
    if (!putWide(reinterpret_cast<std::uint8_t*>(caps), total, kAddressCapsFixedSize, address,
                 addressBytes)) {
        return 0;
    }
    caps->dwAddressSize = addressBytes;
    caps->dwAddressOffset = kAddressCapsFixedSize;
    caps->dwUsedSize = needed;
    return 0;
}

bool sameDeviceClass(std::string_view text, std::string_view lowerClass) {
    return text.size() == lowerClass.size() &&
           std::equal(text.begin(), text.end(), lowerClass.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
           });
}

LONG fillDeviceIdString(DWORD deviceId, VARSTRING* id, LONG tooSmall) {
    const DWORD total = id->dwTotalSize;
    if (total < sizeof(VARSTRING)) return tooSmall;
    id->dwNeededSize = kLineIdSize;
    if (total < kLineIdSize) {
        id->dwUsedSize = kLineIdHeaderUsed;
        return 0;
    }
    id->dwUsedSize = kLineIdSize;
    id->dwStringFormat = STRINGFORMAT_BINARY;
    id->dwStringSize = sizeof(DWORD);
    id->dwStringOffset = sizeof(VARSTRING);
    std::memcpy(reinterpret_cast<std::uint8_t*>(id) + sizeof(VARSTRING), &deviceId, sizeof deviceId);
    return 0;
}

LONG fillLineId(DWORD lineDeviceId, DWORD select, std::string_view deviceClass, VARSTRING* id) {
    if (!id) return LINEERR_INVALPOINTER;
    if (select != LINECALLSELECT_LINE || !sameDeviceClass(deviceClass, kLineClass)) {
        return LINEERR_NODEVICE;
    }
    return fillDeviceIdString(lineDeviceId, id, LINEERR_STRUCTURETOOSMALL);
}

}  // namespace velkor::core
