// Version negotiation, device and address capabilities and the line device
// ID, as TSPI_lineGetDevCaps, TSPI_lineGetAddressCaps and TSPI_lineGetID
// hand them to TAPI. Every block is followed by a guard region holding a
// pattern, so that a write past dwTotalSize shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "provider/core/line_caps.h"
#include "tests/provider/core/guarded_block.h"

namespace velkor::core {
namespace {

using testing::Block;
using testing::wideAt;


StationRecord station(std::uint16_t index, std::string number, std::uint8_t type) {
    StationRecord s;
    s.index = index;
    s.number = std::move(number);
    s.type = type;
    return s;
}

// The values every device reports, device -1 included; fields the provider
// does not report read 0 whatever the block held before.
void expectFixedDevCaps(const LINEDEVCAPS& c) {
    EXPECT_EQ(c.dwStringFormat, 1u);
    EXPECT_EQ(c.dwAddressModes, 3u);
    EXPECT_EQ(c.dwNumAddresses, 1u);
    EXPECT_EQ(c.dwBearerModes, 0x41u);
    EXPECT_EQ(c.dwMaxRate, 19200u);
    EXPECT_EQ(c.dwMediaModes, 4u);
    EXPECT_EQ(c.dwGenerateDigitModes, 3u);
    EXPECT_EQ(c.dwDevCapFlags, 0x1E0u);
    EXPECT_EQ(c.dwMaxNumActiveCalls, 10u);
    EXPECT_EQ(c.dwRingModes, 1u);
    EXPECT_EQ(c.dwLineStates, 0x40u);
    EXPECT_EQ(c.dwUUIAnswerSize, 100000u);
    EXPECT_EQ(c.dwUUIDropSize, 100000u);
    EXPECT_EQ(c.dwUUISendUserUserInfoSize, 100000u);
    EXPECT_EQ(c.dwUUICallInfoSize, 100000u);
    EXPECT_EQ(c.dwLineFeatures, 0x18Du);

    EXPECT_EQ(c.dwGenerateToneModes, 0u);
    EXPECT_EQ(c.dwAnswerMode, 0u);
    EXPECT_EQ(c.dwUUIAcceptSize, 0u);
    EXPECT_EQ(c.dwUUIMakeCallSize, 0u);
    EXPECT_EQ(c.DefaultDialParams.dwDialSpeed, 0u);
    EXPECT_EQ(c.dwDevSpecificSize, 0u);
    EXPECT_EQ(c.dwDeviceClassesSize, 0u);
    EXPECT_EQ(c.dwSettableDevStatus, 0u);
}

void expectNoVariablePart(const LINEDEVCAPS& c) {
    EXPECT_EQ(c.dwProviderInfoSize, 0u);
    EXPECT_EQ(c.dwProviderInfoOffset, 0u);
    EXPECT_EQ(c.dwSwitchInfoSize, 0u);
    EXPECT_EQ(c.dwSwitchInfoOffset, 0u);
    EXPECT_EQ(c.dwLineNameSize, 0u);
    EXPECT_EQ(c.dwLineNameOffset, 0u);
    EXPECT_EQ(c.dwNumTerminals, 0u);
    EXPECT_EQ(c.dwTerminalCapsSize, 0u);
    EXPECT_EQ(c.dwTerminalCapsOffset, 0u);
}

// ---------------------------------------------------------------------------
// Versions

TEST(VersionNegotiation, OfferedVersionsAndExtensionSelection) {
    const std::pair<DWORD, DWORD> negotiated[] = {
        {0x00030000, 0x00020001}, {0x00020002, 0x00020001}, {0x00020001, 0x00020001},
        {0x00020000, 0x00020000}, {0x0001FFFF, 0x00010004}, {0x00010004, 0x00010004},
        {0x00010003, 0x00010004}, {0x00000000, 0x00010004},
    };
    for (const auto& [offered, answer] : negotiated) {
        EXPECT_EQ(negotiateTspiVersion(offered), answer) << std::hex << offered;
    }

    const std::pair<DWORD, LONG> selected[] = {
        {0x00000000, LINEERR_INCOMPATIBLEEXTVERSION}, {0x00010003, LINEERR_INCOMPATIBLEEXTVERSION},
        {0x00010004, 0},
        {0x00020000, 0},
        {0x00020001, 0},
        {0x00020002, LINEERR_INCOMPATIBLEEXTVERSION},
    };
    for (const auto& [version, result] : selected) {
        EXPECT_EQ(selectExtVersion(version), result) << std::hex << version;
    }
}

TEST(VersionNegotiation, ExtensionIdForRealDevicesOnly) {
    LINEEXTENSIONID id{};
    EXPECT_EQ(fillExtensionId(3, &id), 0);
    EXPECT_EQ(id.dwExtensionID0, 0x0CCB18C0u);
    EXPECT_EQ(id.dwExtensionID1, 0x10202109u);
    EXPECT_EQ(id.dwExtensionID2, 0x80002F8Du);
    EXPECT_EQ(id.dwExtensionID3, 0xF354241Eu);

    LINEEXTENSIONID untouched{1, 2, 3, 4};
    EXPECT_EQ(fillExtensionId(0xFFFFFFFF, &untouched), 0);
    EXPECT_EQ(untouched.dwExtensionID0, 1u);
    EXPECT_EQ(untouched.dwExtensionID3, 4u);
    EXPECT_EQ(fillExtensionId(3, nullptr), LINEERR_INVALPOINTER);
}

// ---------------------------------------------------------------------------
// Device capabilities

struct DevCapsCase {
    const char* what;
    StationRecord station;
    std::string systemName;
    DWORD providerId;
    std::u16string lineName;
    std::u16string switchInfo;
    DWORD permanentLineId;
};

std::vector<DevCapsCase> devCapsCases() {
    std::vector<DevCapsCase> cases;
    cases.push_back({"DKT, number right-justified", station(7, " 201", kTypeDkt), "VK-816", 5,
                     u"STATION 201 (DKT)", u"VK-816", 0x00050007});
    cases.push_back({"SLT, number left-justified", station(12, "202 ", kTypeSlt), "VK-816",
                     0x1234, u"STATION 202 (SLT)", u"VK-816", 0x0034000C});
    cases.push_back({"WKT, no system name", station(300, "  21", kTypeWkt), "", 0xFF,
                     u"STATION 21 (WKT)", u"UNKNOWN", 0x00FF012C});
    // The longest line name the layout has to hold.
    cases.push_back({"longest line name", station(1000, "2001", kTypeUnplugged), "VK-Ø", 1,
                     u"STATION 2001 (UNPLUGGED)", u"VK-Ø", 0x000103E8});
    cases.push_back({"system name outside the BMP and invalid UTF-8",
                     station(1, "9999", kTypeDkt), "A\xFF\xF0\x9F\x93\x9E", 2,
                     u"STATION 9999 (DKT)", u"A\uFFFD\U0001F4DE", 0x00020001});
    return cases;
}

TEST(LineDevCaps, LargeBufferReportsNamesTerminalAndFixedValues) {
    for (const DevCapsCase& c : devCapsCases()) {
        SCOPED_TRACE(c.what);
        Block block(2048);
        auto* caps = block.as<LINEDEVCAPS>();
        ASSERT_EQ(fillLineDevCaps({&c.station, false, c.systemName, c.providerId}, caps), 0);

        EXPECT_EQ(caps->dwTotalSize, 2048u);
        EXPECT_EQ(caps->dwNeededSize, 452 + 2 * c.switchInfo.size() + 2);
        EXPECT_EQ(caps->dwPermanentLineID, c.permanentLineId);
        expectFixedDevCaps(*caps);

        EXPECT_EQ(caps->dwProviderInfoOffset, 252u);
        EXPECT_EQ(caps->dwProviderInfoSize, 60u);
        EXPECT_EQ(wideAt(block, caps->dwProviderInfoOffset, caps->dwProviderInfoSize),
                  u"VELKOR Service Provider");
        EXPECT_EQ(wideAt(block, caps->dwLineNameOffset, caps->dwLineNameSize), c.lineName);
        EXPECT_EQ(caps->dwLineNameSize, 2 * c.lineName.size() + 2);
        EXPECT_EQ(wideAt(block, caps->dwSwitchInfoOffset, caps->dwSwitchInfoSize), c.switchInfo);
        EXPECT_EQ(caps->dwSwitchInfoSize, 2 * c.switchInfo.size() + 2);

        EXPECT_EQ(caps->dwNumTerminals, 1u);
        ASSERT_EQ(caps->dwTerminalCapsSize, sizeof(LINETERMCAPS));
        LINETERMCAPS term;
        std::memcpy(&term, block.bytes.data() + caps->dwTerminalCapsOffset, sizeof term);
        EXPECT_EQ(term.dwTermDev, 1u);
        EXPECT_EQ(term.dwTermModes, 0x19u);
        EXPECT_EQ(term.dwTermSharing, 1u);

        // The parts lie after the fixed part, apart from each other and
        // inside both the used and the needed size.
        std::vector<std::pair<DWORD, DWORD>> parts = {
            {caps->dwProviderInfoOffset, caps->dwProviderInfoSize},
            {caps->dwTerminalCapsOffset, caps->dwTerminalCapsSize},
            {caps->dwLineNameOffset, caps->dwLineNameSize},
            {caps->dwSwitchInfoOffset, caps->dwSwitchInfoSize},
        };
        std::sort(parts.begin(), parts.end());
        DWORD end = sizeof(LINEDEVCAPS);
        for (const auto& [offset, size] : parts) {
            EXPECT_GE(offset, end);
            end = offset + size;
        }
        EXPECT_LE(end, caps->dwUsedSize);
        EXPECT_LE(caps->dwUsedSize, caps->dwNeededSize);
        EXPECT_TRUE(block.untouched(caps->dwNeededSize));
    }
}

// A block of exactly the needed size gets everything and nothing behind it;
// one byte less, or only the fixed part, gets the needed size, the fixed
// fields and no text, and the bytes behind the fixed part stay as they were.
TEST(LineDevCaps, BufferSizesAroundTheNeededSize) {
    for (const DevCapsCase& c : devCapsCases()) {
        SCOPED_TRACE(c.what);
        const DWORD needed = static_cast<DWORD>(452 + 2 * c.switchInfo.size() + 2);
        for (const DWORD total : {needed, needed - 1, DWORD{252}}) {
            SCOPED_TRACE(total);
            Block block(total);
            auto* caps = block.as<LINEDEVCAPS>();
            ASSERT_EQ(fillLineDevCaps({&c.station, false, c.systemName, c.providerId}, caps), 0);
            EXPECT_EQ(caps->dwTotalSize, total);
            EXPECT_EQ(caps->dwNeededSize, needed);
            EXPECT_EQ(caps->dwPermanentLineID, c.permanentLineId);
            expectFixedDevCaps(*caps);
            if (total == needed) {
                EXPECT_EQ(wideAt(block, caps->dwLineNameOffset, caps->dwLineNameSize), c.lineName);
                EXPECT_EQ(wideAt(block, caps->dwSwitchInfoOffset, caps->dwSwitchInfoSize),
                          c.switchInfo);
                EXPECT_TRUE(block.untouched(total));
            } else {
                EXPECT_EQ(caps->dwUsedSize, 252u);
                expectNoVariablePart(*caps);
                EXPECT_TRUE(block.untouched(sizeof(LINEDEVCAPS)));
            }
        }
    }
}

TEST(LineDevCaps, DeviceMinusOneGetsTheFixedFieldsOnly) {
    Block block(1024);
    auto* caps = block.as<LINEDEVCAPS>();
    ASSERT_EQ(fillLineDevCaps({nullptr, true, "VK-816", 5}, caps), 0);
    EXPECT_EQ(caps->dwNeededSize, 252u);
    EXPECT_EQ(caps->dwUsedSize, 252u);
    EXPECT_EQ(caps->dwPermanentLineID, 0u);
    expectFixedDevCaps(*caps);
    expectNoVariablePart(*caps);
    EXPECT_TRUE(block.untouched(sizeof(LINEDEVCAPS)));
}

TEST(LineDevCaps, RejectedRequestsWriteNothing) {
    const StationRecord s = station(7, " 201", kTypeDkt);
    EXPECT_EQ(fillLineDevCaps({&s, false, "VK-816", 5}, nullptr), LINEERR_INVALPOINTER);

    Block small(251);
    EXPECT_EQ(fillLineDevCaps({&s, false, "VK-816", 5}, small.as<LINEDEVCAPS>()),
              LINEERR_STRUCTURETOOSMALL);
    EXPECT_TRUE(small.untouched(sizeof(DWORD)));

    // An ID that could not be bound to any station.
    Block unbound(1024);
    EXPECT_EQ(fillLineDevCaps({nullptr, false, "VK-816", 5}, unbound.as<LINEDEVCAPS>()),
              LINEERR_OPERATIONFAILED);
    EXPECT_TRUE(unbound.untouched(sizeof(DWORD)));
}

// ---------------------------------------------------------------------------
// Address capabilities

void expectFixedAddressCaps(const LINEADDRESSCAPS& c, DWORD deviceId) {
    EXPECT_EQ(c.dwLineDeviceID, deviceId);
    EXPECT_EQ(c.dwAddressSharing, 1u);
    EXPECT_EQ(c.dwAddressStates, 0x40u);
    EXPECT_EQ(c.dwCallInfoStates, 0x3C775u);
    EXPECT_EQ(c.dwCallerIDFlags, 8u);
    EXPECT_EQ(c.dwCalledIDFlags, 8u);
    EXPECT_EQ(c.dwConnectedIDFlags, 8u);
    EXPECT_EQ(c.dwRedirectionIDFlags, 8u);
    EXPECT_EQ(c.dwRedirectingIDFlags, 8u);
    EXPECT_EQ(c.dwCallStates, 0xFDEBu);
    EXPECT_EQ(c.dwDialToneModes, 0x20u);
    EXPECT_EQ(c.dwBusyModes, 3u);
    EXPECT_EQ(c.dwSpecialInfo, 0x10u);
    EXPECT_EQ(c.dwDisconnectModes, 0x1061u);
    EXPECT_EQ(c.dwMaxNumActiveCalls, 1u);
    EXPECT_EQ(c.dwMaxNumConference, 7u);
    EXPECT_EQ(c.dwAddrCapFlags, 0x22A860u);
    EXPECT_EQ(c.dwCallFeatures, 0x9F1788FEu);
    EXPECT_EQ(c.dwRemoveFromConfCaps, 3u);
    EXPECT_EQ(c.dwRemoveFromConfState, 1u);
    EXPECT_EQ(c.dwTransferModes, 3u);
    EXPECT_EQ(c.dwParkModes, 1u);
    EXPECT_EQ(c.dwForwardModes, 0x1115u);
    EXPECT_EQ(c.dwMaxForwardEntries, 1u);
    EXPECT_EQ(c.dwMaxCallCompletions, 10u);
    EXPECT_EQ(c.dwCallCompletionConds, 3u);
    EXPECT_EQ(c.dwCallCompletionModes, 11u);
    EXPECT_EQ(c.dwAddressFeatures, 0x30E7u);
    EXPECT_EQ(c.dwCallFeatures2, 0x3ECu);

    EXPECT_EQ(c.dwDevSpecificSize, 0u);
    EXPECT_EQ(c.dwMaxNumOnHoldCalls, 0u);
    EXPECT_EQ(c.dwMaxCallDataSize, 0u);
    EXPECT_EQ(c.dwAvailableMediaModes, 0u);
}

TEST(AddressCaps, StationNumberAtOffset228) {
    const std::pair<std::string, std::u16string> numbers[] = {
        {" 201", u"201"},
        {"202 ", u"202"},
        {"  21", u"21"},
        {"2001", u"2001"},
    };
    for (const auto& [padded, text] : numbers) {
        SCOPED_TRACE(padded);
        const StationRecord s = station(4, padded, kTypeDkt);
        const DWORD needed = static_cast<DWORD>(228 + 2 * text.size() + 2);

        for (const DWORD total : {DWORD{1024}, needed}) {
            Block block(total);
            auto* caps = block.as<LINEADDRESSCAPS>();
            ASSERT_EQ(fillAddressCaps(s, 17, 0, caps), 0);
            EXPECT_EQ(caps->dwNeededSize, needed);
            EXPECT_EQ(caps->dwUsedSize, needed);
            EXPECT_EQ(caps->dwAddressOffset, 228u);
            EXPECT_EQ(caps->dwAddressSize, 2 * text.size() + 2);
            EXPECT_EQ(wideAt(block, caps->dwAddressOffset, caps->dwAddressSize), text);
            expectFixedAddressCaps(*caps, 17);
            EXPECT_TRUE(block.untouched(needed));
        }

        for (const DWORD total : {needed - 1, DWORD{228}}) {
            Block block(total);
            auto* caps = block.as<LINEADDRESSCAPS>();
            ASSERT_EQ(fillAddressCaps(s, 17, 0, caps), 0);
            EXPECT_EQ(caps->dwNeededSize, needed);
            EXPECT_EQ(caps->dwUsedSize, 228u);
            EXPECT_EQ(caps->dwAddressSize, 0u);
            EXPECT_EQ(caps->dwAddressOffset, 0u);
            expectFixedAddressCaps(*caps, 17);
            EXPECT_TRUE(block.untouched(sizeof(LINEADDRESSCAPS)));
        }
    }
}

TEST(AddressCaps, RejectedRequestsWriteNothing) {
    const StationRecord s = station(4, " 201", kTypeDkt);
    EXPECT_EQ(fillAddressCaps(s, 17, 0, nullptr), LINEERR_INVALPOINTER);

    Block otherAddress(1024);
    EXPECT_EQ(fillAddressCaps(s, 17, 1, otherAddress.as<LINEADDRESSCAPS>()),
              LINEERR_INVALADDRESSID);
    EXPECT_TRUE(otherAddress.untouched(sizeof(DWORD)));

    Block small(227);
    EXPECT_EQ(fillAddressCaps(s, 17, 0, small.as<LINEADDRESSCAPS>()), LINEERR_STRUCTURETOOSMALL);
    EXPECT_TRUE(small.untouched(sizeof(DWORD)));
}

// ---------------------------------------------------------------------------
// Line device ID

TEST(LineId, OnlyTheLineInClassTapiLine) {
    struct Case {
        DWORD select;
        const char* deviceClass;
        DWORD total;
        LONG result;
        DWORD needed;  // 0: nothing written
        DWORD used;
    };
    const Case cases[] = {
        {LINECALLSELECT_LINE, "tapi/line", 28, 0, 28, 28},
        {LINECALLSELECT_LINE, "TAPI/Line", 64, 0, 28, 28},
        {LINECALLSELECT_LINE, "tapi/line", 27, 0, 28, 12},
        {LINECALLSELECT_LINE, "tapi/line", 24, 0, 28, 12},
        {LINECALLSELECT_LINE, "tapi/line", 23, LINEERR_STRUCTURETOOSMALL, 0, 0},
        {LINECALLSELECT_LINE, "tapi/phone", 28, LINEERR_NODEVICE, 0, 0},
        {LINECALLSELECT_LINE, "tapi/lin", 28, LINEERR_NODEVICE, 0, 0},
        {LINECALLSELECT_LINE, "tapi/line/", 28, LINEERR_NODEVICE, 0, 0},
        {LINECALLSELECT_LINE, "", 28, LINEERR_NODEVICE, 0, 0},
        {LINECALLSELECT_ADDRESS, "tapi/line", 28, LINEERR_NODEVICE, 0, 0},
        {LINECALLSELECT_CALL, "tapi/line", 28, LINEERR_NODEVICE, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.select << " " << c.deviceClass << " " << c.total);
        Block block(c.total);
        auto* id = block.as<VARSTRING>();
        ASSERT_EQ(fillLineId(0x01020304, c.select, c.deviceClass, id), c.result);
        if (c.needed == 0) {
            EXPECT_TRUE(block.untouched(sizeof(DWORD)));
            continue;
        }
        EXPECT_EQ(id->dwNeededSize, c.needed);
        EXPECT_EQ(id->dwUsedSize, c.used);
        if (c.used == 28) {
            EXPECT_EQ(id->dwStringFormat, 4u);
            EXPECT_EQ(id->dwStringSize, 4u);
            EXPECT_EQ(id->dwStringOffset, 24u);
            DWORD device = 0;
            std::memcpy(&device, block.bytes.data() + 24, sizeof device);
            EXPECT_EQ(device, 0x01020304u);
        }
        EXPECT_TRUE(block.untouched(c.used));
    }
    EXPECT_EQ(fillLineId(1, LINECALLSELECT_LINE, "tapi/line", nullptr), LINEERR_INVALPOINTER);
}

}  // namespace
}  // namespace velkor::core
