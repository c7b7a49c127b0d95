#include "provider/core/phone_caps.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/text/utf16.h"
#include "provider/core/line_caps.h"
#include "provider/link/encodings.h"

namespace velkor::core {

namespace {

// The variable part after the 180-byte fixed part:
//   180  provider info, 60 bytes (the text, NUL, NUL padding)
//   240  phone info, 28 bytes
//   268  phone name, at most 64 bytes up to the needed size
constexpr std::u16string_view kProviderInfo = u"VELKOR Service Provider";
constexpr std::u16string_view kPhoneInfo = u"Phone Devices";
constexpr std::string_view kPhoneNamePrefix = "PHONE ";
constexpr DWORD kProviderInfoOffset = kPhoneCapsFixedSize;
constexpr DWORD kProviderInfoBytes = 60;
constexpr DWORD kPhoneInfoOffset = kProviderInfoOffset + kProviderInfoBytes;
constexpr DWORD kPhoneInfoBytes = 28;
constexpr DWORD kPhoneNameOffset = kPhoneInfoOffset + kPhoneInfoBytes;
constexpr DWORD kMaxPhoneNameBytes = kPhoneCapsNeededSize - kPhoneNameOffset;
// The queries TSPI_phoneGetData answers, as the provider has always counted them.
constexpr DWORD kNumGetData = 16;

static_assert(kPhoneNameOffset == 268);
static_assert((kProviderInfo.size() + 1) * 2 <= kProviderInfoBytes);
static_assert((kPhoneInfo.size() + 1) * 2 == kPhoneInfoBytes);

constexpr std::string_view kPhoneClass = "tapi/phone";

constexpr DWORD kLowestVersion = TAPI_VERSION1_4;
constexpr DWORD kHighestVersion = TAPI_VERSION2_1;

DWORD wideBytes(std::u16string_view text) { return static_cast<DWORD>((text.size() + 1) * 2); }

// UTF-16LE with its NUL into `fieldBytes` bytes at `offset`, NUL-padded.
void putWide(std::uint8_t* block, DWORD offset, std::u16string_view text, DWORD fieldBytes) {
    std::uint8_t* at = block + offset;
    std::memset(at, 0, fieldBytes);
    for (const char16_t unit : text) {
        *at++ = static_cast<std::uint8_t>(unit & 0xFF);
        *at++ = static_cast<std::uint8_t>(unit >> 8);
    }
}

// "PHONE 201 (DKT)", cut to the room up to the needed size.
std::u16string phoneName(const StationRecord& station) {
    std::string name(kPhoneNamePrefix);
    name += link::trimNumber(station.number).substr(0, 4);
    name += stationTypeLabel(station.type);
    std::u16string wide = platform::utf8ToUtf16(name);
    wide.resize(std::min<std::size_t>(wide.size(), kMaxPhoneNameBytes / 2 - 1));
    return wide;
}

}  // namespace

LONG fillPhoneExtensionId(DWORD deviceId, PHONEEXTENSIONID* id) {
    if (!id) return PHONEERR_INVALPOINTER;
    if (deviceId != kNoDevice) *id = kPhoneExtensionId;
    return 0;
}

LONG selectPhoneExtVersion(DWORD extVersion) {
    if (extVersion < kLowestVersion || extVersion > kHighestVersion) {
        return PHONEERR_INCOMPATIBLEEXTVERSION;
    }
    return 0;
}

LONG fillPhoneDevCaps(const StationRecord* station, DWORD permanentProviderId, PHONECAPS* caps) {
    if (!caps) return PHONEERR_INVALPOINTER;
    const DWORD total = caps->dwTotalSize;
    if (total < kPhoneCapsFixedSize) return PHONEERR_STRUCTURETOOSMALL;
    if (!station) return PHONEERR_OPERATIONFAILED;

    auto* block = reinterpret_cast<std::uint8_t*>(caps);
    std::memset(block + sizeof(DWORD), 0, kPhoneCapsFixedSize - sizeof(DWORD));
    caps->dwNeededSize = kPhoneCapsNeededSize;
    caps->dwUsedSize = kPhoneCapsFixedSize;
    caps->dwStringFormat = STRINGFORMAT_ASCII;
    caps->dwPermanentPhoneID = station->index + (permanentProviderId & 0xFF) * 0x10000;
    if (total < kPhoneCapsNeededSize) return 0;

    const std::u16string name = phoneName(*station);
    const DWORD nameBytes = wideBytes(name);
    putWide(block, kProviderInfoOffset, kProviderInfo, kProviderInfoBytes);
    putWide(block, kPhoneInfoOffset, kPhoneInfo, kPhoneInfoBytes);
    putWide(block, kPhoneNameOffset, name, nameBytes);
    caps->dwProviderInfoSize = kProviderInfoBytes;
    caps->dwProviderInfoOffset = kProviderInfoOffset;
    caps->dwPhoneInfoSize = kPhoneInfoBytes;
    caps->dwPhoneInfoOffset = kPhoneInfoOffset;
    caps->dwPhoneNameSize = nameBytes;
    caps->dwPhoneNameOffset = kPhoneNameOffset;
    caps->dwNumGetData = kNumGetData;
    caps->dwUsedSize = kPhoneNameOffset + nameBytes;
    return 0;
}

LONG fillPhoneId(DWORD phoneDeviceId, std::string_view deviceClass, VARSTRING* id) {
    if (!id) return PHONEERR_INVALPOINTER;
    if (!sameDeviceClass(deviceClass, kPhoneClass)) return PHONEERR_INVALDEVICECLASS;
    return fillDeviceIdString(phoneDeviceId, id, PHONEERR_STRUCTURETOOSMALL);
}

}  // namespace velkor::core
