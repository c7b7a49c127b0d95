// Names of TAPI codes, for logs and for tapicmd's event output: error codes,
// message numbers, call states and call-information bits. Every table comes
// from the same X-macro rows of tapi.h that define the constants, so a code
// added there is named here.
//
// Each lookup returns the published name ("LINEERR_OPERATIONFAILED") or
// nullptr for a value that is not one code of the table: a request ID, a
// combination of bits, a value from a newer version.
#pragma once

#include <cstring>

#include "tapi.h"

// C linkage, the same whether or not the includer wraps this header in extern "C".
extern "C" {

struct TapiCodeName {
    DWORD value;  // LONG codes are stored as their 32-bit pattern
    const char* name;
};

#define TAPI_NAME_ENTRY(name, value) {static_cast<DWORD>(static_cast<LONG>(value)), #name},
#define TAPI_NAME_CASE(name, value) \
    case name:                      \
        return #name;

inline constexpr TapiCodeName kLineErrorNames[] = {TAPI_LINEERR_MAP(TAPI_NAME_ENTRY)};
inline constexpr TapiCodeName kPhoneErrorNames[] = {TAPI_PHONEERR_MAP(TAPI_NAME_ENTRY)};
inline constexpr TapiCodeName kTapiErrorNames[] = {TAPI_TAPIERR_MAP(TAPI_NAME_ENTRY)};
inline constexpr TapiCodeName kTapiMessageNames[] = {TAPI_MESSAGE_MAP(TAPI_NAME_ENTRY)};
inline constexpr TapiCodeName kLineCallStateNames[] = {TAPI_LINECALLSTATE_MAP(TAPI_NAME_ENTRY)};
inline constexpr TapiCodeName kLineCallInfoStateNames[] = {
    TAPI_LINECALLINFOSTATE_MAP(TAPI_NAME_ENTRY)};

// Flag and mode families of the line structures and messages (origins,
// reasons, features, modes …), looked up with tapiCodeName below. A field
// that holds a mask is printed with the name of each of its bits.
#define TAPI_NAMED_FAMILIES(X)                               \
    X(kLineAddrCapFlagNames, TAPI_LINEADDRCAPFLAGS_MAP)      \
    X(kLineAddressSharingNames, TAPI_LINEADDRESSSHARING_MAP) \
    X(kLineAddressStateNames, TAPI_LINEADDRESSSTATE_MAP)     \
    X(kLineAddrFeatureNames, TAPI_LINEADDRFEATURE_MAP)       \
    X(kLineBearerModeNames, TAPI_LINEBEARERMODE_MAP)         \
    X(kLineBusyModeNames, TAPI_LINEBUSYMODE_MAP)             \
    X(kLineCallComplModeNames, TAPI_LINECALLCOMPLMODE_MAP)   \
    X(kLineCallFeatureNames, TAPI_LINECALLFEATURE_MAP)       \
    X(kLineCallFeature2Names, TAPI_LINECALLFEATURE2_MAP)     \
    X(kLineCallOriginNames, TAPI_LINECALLORIGIN_MAP)         \
    X(kLineCallParamFlagNames, TAPI_LINECALLPARAMFLAGS_MAP)  \
    X(kLineCallPartyIdNames, TAPI_LINECALLPARTYID_MAP)       \
    X(kLineCallPrivilegeNames, TAPI_LINECALLPRIVILEGE_MAP)   \
    X(kLineCallReasonNames, TAPI_LINECALLREASON_MAP)         \
    X(kLineCallSelectNames, TAPI_LINECALLSELECT_MAP)         \
    X(kLineConnectedModeNames, TAPI_LINECONNECTEDMODE_MAP)   \
    X(kLineDevStateNames, TAPI_LINEDEVSTATE_MAP)             \
    X(kLineDevStatusFlagNames, TAPI_LINEDEVSTATUSFLAGS_MAP)  \
    X(kLineDialToneModeNames, TAPI_LINEDIALTONEMODE_MAP)     \
    X(kLineDigitModeNames, TAPI_LINEDIGITMODE_MAP)           \
    X(kLineDisconnectModeNames, TAPI_LINEDISCONNECTMODE_MAP) \
    X(kLineFeatureNames, TAPI_LINEFEATURE_MAP)               \
    X(kLineForwardModeNames, TAPI_LINEFORWARDMODE_MAP)       \
    X(kLineMediaModeNames, TAPI_LINEMEDIAMODE_MAP)           \
    X(kLineOfferingModeNames, TAPI_LINEOFFERINGMODE_MAP)     \
    X(kLineParkModeNames, TAPI_LINEPARKMODE_MAP)             \
    X(kLineRemoveFromConfNames, TAPI_LINEREMOVEFROMCONF_MAP) \
    X(kLineSpecialInfoNames, TAPI_LINESPECIALINFO_MAP)       \
    X(kLineTransferModeNames, TAPI_LINETRANSFERMODE_MAP)     \
    X(kStringFormatNames, TAPI_STRINGFORMAT_MAP)

#define TAPI_NAME_TABLE(table, map) inline constexpr TapiCodeName table[] = {map(TAPI_NAME_ENTRY)};
TAPI_NAMED_FAMILIES(TAPI_NAME_TABLE)
#undef TAPI_NAME_TABLE

// The lookups are switches: a value listed twice in one table does not compile.

constexpr const char* lineErrorName(LONG code) {
    switch (code) { TAPI_LINEERR_MAP(TAPI_NAME_CASE) }
    return nullptr;
}

constexpr const char* phoneErrorName(LONG code) {
    switch (code) { TAPI_PHONEERR_MAP(TAPI_NAME_CASE) }
    return nullptr;
}

constexpr const char* tapiErrorName(LONG code) {
    switch (code) { TAPI_TAPIERR_MAP(TAPI_NAME_CASE) }
    return nullptr;
}

// LINE_* and PHONE_* messages share one number space.
constexpr const char* tapiMessageName(DWORD message) {
    switch (message) { TAPI_MESSAGE_MAP(TAPI_NAME_CASE) }
    return nullptr;
}

// One call state (dwParam1 of LINE_CALLSTATE), not a mask of states.
constexpr const char* lineCallStateName(DWORD state) {
    switch (state) { TAPI_LINECALLSTATE_MAP(TAPI_NAME_CASE) }
    return nullptr;
}

// One call-information bit; LINE_CALLINFO may carry several, name each bit.
constexpr const char* lineCallInfoStateName(DWORD bit) {
    switch (bit) { TAPI_LINECALLINFOSTATE_MAP(TAPI_NAME_CASE) }
    return nullptr;
}

// A result of any line or phone function: the error's name, or nullptr for
// success and request IDs (zero and positive values).
constexpr const char* tapiResultName(LONG result) {
    if (const char* name = lineErrorName(result)) return name;
    return phoneErrorName(result);
}

// The name of one value of a table (one mode, one bit of a mask), or nullptr
// when the table has no row for it:
// tapiCodeName(kLineCallOriginNames, std::size(kLineCallOriginNames), origin).
constexpr const char* tapiCodeName(const TapiCodeName* table, size_t count, DWORD value) {
    for (size_t i = 0; i < count; ++i) {
        if (table[i].value == value) return table[i].name;
    }
    return nullptr;
}

// Reverse lookup for names given on a command line or in a script: the code
// whose name equals `name` exactly, or false when the table has no such name
// (and *value is left alone). Call it with a table and its length, e.g.
// tapiCodeFromName(kLineErrorNames, std::size(kLineErrorNames), "LINEERR_NOMEM", &code).
inline bool tapiCodeFromName(const TapiCodeName* table, size_t count, const char* name,
                             DWORD* value) {
    for (size_t i = 0; i < count; ++i) {
        if (std::strcmp(table[i].name, name) == 0) {
            *value = table[i].value;
            return true;
        }
    }
    return false;
}

}  // extern "C"

#undef TAPI_NAME_ENTRY
#undef TAPI_NAME_CASE
