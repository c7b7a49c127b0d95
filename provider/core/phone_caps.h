#pragma once

#include <string_view>

#include "provider/core/station_table.h"
#include "tapi.h"

namespace velkor::core {

// What the phone device of a station tells TAPI about itself. The phone
// device serves only the station settings (phone_devices.h); it has no
// hookswitch, lamps, ringer, display or buttons.

// The phone device's extension, distinct from the line's.
inline constexpr PHONEEXTENSIONID kPhoneExtensionId{0x7BDC3120, 0x10204A78, 0x8000318D,
                                                    0xF354241E};

// TSPI_phoneGetExtensionID: the extension for a real device; device -1 gets
// nothing. PHONEERR_INVALPOINTER for a null block, otherwise 0.
LONG fillPhoneExtensionId(DWORD deviceId, PHONEEXTENSIONID* id);

// TSPI_phoneSelectExtVersion: 1.4 to 2.1; 0 or PHONEERR_INCOMPATIBLEEXTVERSION.
LONG selectPhoneExtVersion(DWORD extVersion);

// Bytes TSPI_phoneGetDevCaps asks for, and what a smaller block is told it holds.
inline constexpr DWORD kPhoneCapsNeededSize = 332;
inline constexpr DWORD kPhoneCapsFixedSize = sizeof(PHONECAPS);

// TSPI_phoneGetDevCaps for the station's phone device (dwTotalSize set by
// TAPI):
//   - null block: PHONEERR_INVALPOINTER; below the 180-byte fixed part:
//     PHONEERR_STRUCTURETOOSMALL (nothing written); no station:
//     PHONEERR_OPERATIONFAILED;
//   - below the needed 332 bytes: dwNeededSize, dwUsedSize 180, the string
//     format and the permanent phone ID only;
//   - otherwise also provider info, phone info and the phone name
//     ("PHONE 201 (DKT)") as wide text, and dwNumGetData 16.
LONG fillPhoneDevCaps(const StationRecord* station, DWORD permanentProviderId, PHONECAPS* caps);

// TSPI_phoneGetID: device class "tapi/phone" (any case) only, answered with
// the phone device ID in binary form after the VARSTRING header, 28 bytes in
// all; a smaller block gets needed 28 and used 12. PHONEERR_INVALPOINTER for
// a null block, PHONEERR_INVALDEVICECLASS for another class,
// PHONEERR_STRUCTURETOOSMALL when not even the header fits.
LONG fillPhoneId(DWORD phoneDeviceId, std::string_view deviceClass, VARSTRING* id);

}  // namespace velkor::core
