#pragma once

#include <string>
#include <string_view>

#include "provider/core/contexts.h"

namespace velkor::core {

// A station party X: number X without its padding, name "STA" + X.
PartyId stationParty(std::string_view num4);
// The 3-digit CO number of a co3 field (" 99" -> "099").
std::string coDigits(std::string_view co3);
// A CO party: name "CO" + the CO number; the caller ID, when the PBX sends
// one, is the number, or the name when it starts with 'N' (the kind says which).
PartyId coParty(std::string_view co3, std::string_view callerId, PartyKind* kind);
// The CO number as an integer (dwTrunk); 0 when it holds no digit.
DWORD coTrunk(std::string_view co3);
// Leading and trailing blanks (and NULs) removed.
std::string trimmed(std::string_view text);

}  // namespace velkor::core
