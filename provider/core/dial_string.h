#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"
#include "provider/link/encodings.h"

namespace velkor::core {

// Dial strings as the PBX takes them: a station number, a number through a
// given CO line or CO group, through the outside-line group "099", or a
// network call; plus, for a new call, the speed-dial and redial forms. The
// provider and the client program read dial strings the same way, so this
// depends on nothing but the link's number encodings and the registry.

// ---------------------------------------------------------------------------
// Location prefixes

// The access codes of the Windows telephony location in use. A code that is
// empty (or missing) matches no dial string.
struct LocationPrefixes {
    std::string longDistanceAccess;
    std::string outsideAccess;
    bool operator==(const LocationPrefixes&) const = default;
};

// Where the telephony control panel keeps its locations (HKEY_LOCAL_MACHINE).
inline constexpr std::string_view kLocationsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations";
// The telephony control panel keeps at most this many locations in the old
// list form; the search for the current one stops there.
inline constexpr std::uint32_t kMaxLocationEntries = 50;
// Access codes are read up to this many characters.
inline constexpr std::size_t kMaxAccessCode = 100;

// The access codes of the current location. Lists of version 2 name the key
// after the location ID ("Location" + CurrentID); older lists are searched
// "Location0", "Location1" … (at most NumEntries and 50 keys) for the entry
// whose "ID" is CurrentID, and a missing key or ID ends the search. No
// CurrentID, no location found or no value: empty codes.
LocationPrefixes readLocationPrefixes(const platform::Registry& registry);

// ---------------------------------------------------------------------------
// Classification

// The classes of a dial string, numbered as the provider has always numbered
// them.
enum class DialClass : std::uint8_t {
    Station = 0,        // a station number
    CoLine = 1,         // '@' / 'C' + 3-digit CO line + number
    CoGroup = 2,        // '$' / 'G' + 3-digit CO group + number
    OutsideAccess = 3,  // the location's long-distance or outside access code + number
    Default = 4,        // "default" + number
    Network = 5,        // 'N' + number
    Invalid = 6,
};

// The CO group the PBX seizes for outside calls (classes 3 and 4) and the
// prefix of network calls (class 5).
inline constexpr std::string_view kOutsideGroup = "099";
inline constexpr std::string_view kNetworkPrefix = "NET";

struct Destination {
    DialClass cls = DialClass::Invalid;
    // The 3 characters of the CO line or group as dialled (classes 1 and 2),
    // "099" (classes 3 and 4), "NET" (class 5); empty for the others.
    std::string co;
    // What is left to dial; for class 0 the station number.
    std::string number;
    bool operator==(const Destination&) const = default;
};

// Dial strings are read up to this many characters.
inline constexpr std::size_t kMaxDialString = 128;

// The dial string as it is classified: its first 128 characters with every
// blank removed.
std::string normalizeDialString(std::string_view destination);

// The general classes, shared by make call, dial, redirect, forward, pickup
// and blind transfer. One leading 'P', 'T' or 'W' (pulse, tone, wait) is
// skipped; then, in this order: the location's long-distance access code,
// else its outside access code (class 3); "default" in any case (class 4);
// '$', 'G', 'g' + 3 characters (class 2) and '@', 'C', 'c' + 3 characters
// (class 1), shorter strings being invalid; 'N' or 'n' with at least one
// character after it (class 5); anything else is a station number (class
// 0), taken whole, skipped letter included, when it holds exactly three
// '*' or '.' characters in all. Nothing left to dial for a station is
// invalid.
Destination classify(std::string_view destination, const LocationPrefixes& prefixes);

// ---------------------------------------------------------------------------
// Forms of a new call

enum class MakeCallFormKind : std::uint8_t {
    SpeedDial1,         // "spd" + separator + [CO prefix] + 3-character index
    SpeedDial2,         // "spd" + separator + [CO prefix] + 4-character index
    LastNumberRedial,   // "lnr" [+ separator + CO prefix]
    SavedNumberRedial,  // "snr" [+ separator + CO prefix]
};

struct MakeCallForm {
    MakeCallFormKind kind = MakeCallFormKind::SpeedDial1;
    // The text after the form's name and its separator character.
    std::string text;
    bool operator==(const MakeCallForm&) const = default;
};

// The speed-dial and redial forms that only a new call (TSPI_lineMakeCall)
// understands, told by name (any case) and total length after one leading
// 'P', 'T' or 'W': "spd" of 8 or 11 characters is speed dial kind 1, of 9
// or 12 kind 2; "lnr" and "snr" of 3 or 8 characters. nullopt for any other
// string.
std::optional<MakeCallForm> makeCallForm(std::string_view destination);

// ---------------------------------------------------------------------------
// Call requests

// Marker the PBX reads in place of digits: a speed-dial index follows, or
// 0xD0 (last number) or 0xD1 (saved number).
inline constexpr std::uint8_t kSpeedDialMarker = 0xDE;
inline constexpr std::uint8_t kLastNumberRedial = 0xD0;
inline constexpr std::uint8_t kSavedNumberRedial = 0xD1;

// One CTI call request: 0x55 (a station), 0x56 (through a CO group) or 0x57
// (through a CO line, or a network call), and its data.
struct CallRequest {
    std::uint8_t code = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const CallRequest&) const = default;
};

// The call request of a classified destination.
//   extended dialect: 0x55 + the station number left-justified in 4
//   characters; 0x57 / 0x56 + co3 (" 99" for classes 3 and 4, "NET" for
//   class 5) + the number in ASCII;
//   legacy dialect: 0x55 + the station number right-justified in 4
//   characters; the others as above with the number in packed digits.
// A station number longer than 4 characters is sent whole in either dialect.
// nullopt for class 6, and for a number packed digits cannot carry.
std::optional<CallRequest> callRequest(const Destination& destination, link::Dialect dialect);

// The call request of a speed-dial or redial form. Its text is classified
// like any dial string; the request carries the CO prefix of that class
// (three blanks when there is none) and then 0xDE with the speed-dial index
// (the first 3 characters for kind 1, 4 for kind 2), or 0xDE 0xD0 / 0xDE
// 0xD1 for the redial forms. Speed dial kind 1 and redial go out as 0x57,
// speed dial kind 2 and a redial through a CO group as 0x56. The bytes are
// the same in both dialects. nullopt when the text is invalid.
std::optional<CallRequest> formRequest(const MakeCallForm& form, const LocationPrefixes& prefixes);

// The request that dials `destination`: its speed-dial or redial form when
// `makeCallForms` is set (a new call) and the string is one, else its
// general class. nullopt for an invalid destination.
std::optional<CallRequest> makeCallRequest(std::string_view destination,
                                           const LocationPrefixes& prefixes, link::Dialect dialect,
                                           bool makeCallForms);

}  // namespace velkor::core
