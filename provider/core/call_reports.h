#pragma once

#include "provider/core/contexts.h"
#include "tapi.h"

namespace velkor::core {

// The structures an application reads about a line and its calls. Each
// takes the caller's block, whose dwTotalSize TAPI set; LINEERR_INVALPOINTER
// for a null block, LINEERR_STRUCTURETOOSMALL (nothing written) when not
// even the fixed part fits, as TAPI answers an application that passes
// either. Fields the provider does not report read 0, and nothing is ever
// written at or beyond dwTotalSize.

// TSPI_lineGetCallStatus: the 56-byte LINECALLSTATUS. The call features say
// what the PBX lets the station do with the call in its state: which depends
// on the party (a CO line can be parked and takes more digits), on the
// call's role in a conference, on the line's other calls (a held call can be
// swapped with or transferred to the active one), on a transfer being
// completed, and on whether the PBX itself holds the call (event 0x24).
// The mode is the call's (for DIALTONE: dial tone unavailable).
LONG fillCallStatus(const LineContext& line, const CallContext& call, LINECALLSTATUS* status);

// Bytes TSPI_lineGetCallInfo asks for beyond the 324-byte fixed part and the
// variable parts themselves; it leaves room to start the wide texts on an
// even offset after the binary user-user information and call data.
inline constexpr DWORD kCallInfoSlack = 8;

// TSPI_lineGetCallInfo. The variable part follows the 324-byte fixed part:
// the first user-user information entry, the call data, then as wide text
// the connected, caller and called numbers, the connected, caller and called
// names, the redirecting number and name, the redirection number and name,
// and the charging text; an empty text is left out. dwNeededSize is 332 + all
// of these; a block smaller than that gets only dwNeededSize and dwUsedSize
// 324 (TAPI reallocates and asks again), result 0. The completion ID is the
// reference of the related call (the call a completion request was made on),
// dwTrunk the CO number of a CO call, else 0xFFFFFFFF.
LONG fillCallInfo(const LineContext& line, const CallContext& call, DWORD lineDeviceId,
                  LINECALLINFO* info);

// TSPI_lineGetLineDevStatus: the 88-byte LINEDEVSTATUS of an open line,
// connected and in service, for voice calls only. The call counts are those
// of TAPI: active calls are those neither idle nor held.
LONG fillLineDevStatus(const LineContext& line, LINEDEVSTATUS* status);

}  // namespace velkor::core
