#pragma once

#include <string_view>

#include "provider/core/station_table.h"
#include "tapi.h"

namespace velkor::core {

// Version negotiation of the line device. TAPI offers its highest version;
// the provider speaks 2.1, 2.0 and 1.4 and answers with the best of these
// that the offer allows. The same rule serves the TSPI version and the
// extension version. An offer below 1.4 still gets 1.4: the caller compares
// the answer with the low end of TAPI's range.
DWORD negotiateTspiVersion(DWORD offeredHigh);

// TSPI_lineSelectExtVersion: the extension versions the provider negotiates,
// 1.4 to 2.1. 0 or LINEERR_INCOMPATIBLEEXTVERSION.
LONG selectExtVersion(DWORD extVersion);

// The provider's device-specific extension, the one that the client's
// device-specific commands assume.
inline constexpr LINEEXTENSIONID kExtensionId{0x0CCB18C0, 0x10202109, 0x80002F8D, 0xF354241E};

// TSPI_lineGetExtensionID: the extension ID for a real device; device -1
// (no device) gets nothing and its block is left as it is.
// LINEERR_INVALPOINTER for a null block, otherwise 0.
LONG fillExtensionId(DWORD deviceId, LINEEXTENSIONID* id);

// What TSPI_lineGetDevCaps knows of the device it is asked about.
struct LineCapsInput {
    // The station of the line; nullptr when the device is -1 or unknown.
    const StationRecord* station = nullptr;
    // Device ID 0xFFFFFFFF: TAPI asks only for the fixed fields.
    bool noDevice = false;
    // Model name of the PBX as 8-bit (UTF-8) text; empty reports "UNKNOWN".
    std::string_view systemName;
    // The provider ID TAPI assigned; its low byte makes the permanent line
    // IDs of this provider unique among the providers of the machine.
    DWORD permanentProviderId = 0;
};

// Bytes TSPI_lineGetDevCaps needs for a system name of `wideUnits` UTF-16
// units: the fixed part, the reserved room of provider info, terminal caps
// and line name, and the switch info with its NUL.
constexpr DWORD lineDevCapsNeededSize(DWORD wideUnits) { return 452 + 2 * wideUnits + 2; }

// TSPI_lineGetDevCaps into the caller's block, whose dwTotalSize TAPI set.
//   - null block: LINEERR_INVALPOINTER; dwTotalSize below the 252-byte fixed
//     part: LINEERR_STRUCTURETOOSMALL (nothing written), as lineGetDevCaps
//     answers an application that passes either;
//   - no station and not device -1: LINEERR_OPERATIONFAILED (the caller has
//     already tried to bind the ID to a station);
//   - device -1: the fixed fields, needed = used = 252;
//   - a block smaller than the needed size: the fixed fields, dwNeededSize,
//     dwUsedSize 252 and no text, result 0 (TAPI reallocates and asks again);
//   - otherwise the fixed fields and the variable part.
// Nothing is ever written at or beyond dwTotalSize.
LONG fillLineDevCaps(const LineCapsInput& in, LINEDEVCAPS* caps);

// TSPI_lineGetAddressCaps for the only address (0) of a station's line: the
// fixed fields, and the station number as wide text at offset 228 when the
// block holds it (needed = 228 + text bytes; a smaller block gets needed,
// used 228 and no text, result 0). LINEERR_INVALPOINTER for a null block,
// LINEERR_INVALADDRESSID for an address other than 0,
// LINEERR_STRUCTURETOOSMALL below the 228-byte fixed part.
LONG fillAddressCaps(const StationRecord& station, DWORD deviceId, DWORD addressId,
                     LINEADDRESSCAPS* caps);

// TSPI_lineGetID: only the line itself (select LINECALLSELECT_LINE) for the
// device class "tapi/line" in any case; anything else is LINEERR_NODEVICE.
// The answer is the 4-byte line device ID in binary form straight after the
// VARSTRING header, 28 bytes in all; a smaller block gets needed 28 and used
// 12 (only the three size fields), result 0. LINEERR_INVALPOINTER for a null
// block, LINEERR_STRUCTURETOOSMALL when not even the 24-byte header fits.
// The device ID of a line or phone as TAPI's lineGetID/phoneGetID hand it
// out: 4 bytes in binary form after the VARSTRING header, 28 bytes in all.
// A block for the header only learns needed 28 and used 12; below the
// header `tooSmall` is returned and nothing written.
LONG fillDeviceIdString(DWORD deviceId, VARSTRING* id, LONG tooSmall);
// Device classes compare ignoring the case of ASCII letters.
bool sameDeviceClass(std::string_view text, std::string_view lowerClass);

LONG fillLineId(DWORD lineDeviceId, DWORD select, std::string_view deviceClass, VARSTRING* id);

}  // namespace velkor::core
