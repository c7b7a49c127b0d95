// Names printed for TAPI codes in logs and in tapicmd's output.
#include "tapi_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#include "tspi.h"

namespace {

struct Table {
    const char* what;
    const TapiCodeName* begin;
    const TapiCodeName* end;
    const char* (*lookup)(DWORD);
    const char* prefix;
};

template <size_t N>
Table table(const char* what, const TapiCodeName (&entries)[N], const char* (*lookup)(DWORD),
            const char* prefix) {
    return {what, entries, entries + N, lookup, prefix};
}

const Table kTables[] = {
    table(
        "line errors", kLineErrorNames, [](DWORD v) { return lineErrorName(static_cast<LONG>(v)); },
        "LINEERR_"),
    table(
        "phone errors", kPhoneErrorNames,
        [](DWORD v) { return phoneErrorName(static_cast<LONG>(v)); }, "PHONEERR_"),
    table(
        "request errors", kTapiErrorNames,
        [](DWORD v) { return tapiErrorName(static_cast<LONG>(v)); }, "TAPIERR_"),
    table(
        "messages", kTapiMessageNames, [](DWORD v) { return tapiMessageName(v); }, ""),
    table(
        "call states", kLineCallStateNames, [](DWORD v) { return lineCallStateName(v); },
        "LINECALLSTATE_"),
    table(
        "call info states", kLineCallInfoStateNames,
        [](DWORD v) { return lineCallInfoStateName(v); }, "LINECALLINFOSTATE_"),
#define TAPI_FAMILY_TABLE(entries, map)                                                          \
    table(                                                                                       \
        #entries, entries, [](DWORD v) { return tapiCodeName(entries, std::size(entries), v); }, \
        ""),
    TAPI_NAMED_FAMILIES(TAPI_FAMILY_TABLE)
#undef TAPI_FAMILY_TABLE
};

// Every row: lookup by value gives its name, lookup by name gives its value,
// and the name carries the family's prefix.
TEST(TapiNames, EveryEntryRoundTrips) {
    for (const Table& t : kTables) {
        for (const TapiCodeName* e = t.begin; e != t.end; ++e) {
            SCOPED_TRACE(std::string(t.what) + ": " + e->name);
            EXPECT_STREQ(t.lookup(e->value), e->name);
            EXPECT_EQ(std::strncmp(e->name, t.prefix, std::strlen(t.prefix)), 0);
            bool found = false;
            for (const TapiCodeName* other = t.begin; other != t.end; ++other) {
                if (std::strcmp(other->name, e->name) == 0) {
                    EXPECT_FALSE(found) << "name listed twice";
                    EXPECT_EQ(other->value, e->value);
                    found = true;
                }
            }
        }
    }
}

// Published codes against their names as they are printed.
TEST(TapiNames, KnownCodesPrintTheirPublishedNames) {
    struct Case {
        const char* printed;
        const char* expected;
    };
    const Case cases[] = {
        {lineErrorName(static_cast<LONG>(0x80000048)), "LINEERR_OPERATIONFAILED"},
        {lineErrorName(static_cast<LONG>(0x8000004D)), "LINEERR_STRUCTURETOOSMALL"},
        {lineErrorName(static_cast<LONG>(0x80000056)), "LINEERR_NOMULTIPLEINSTANCE"},
        {phoneErrorName(static_cast<LONG>(0x9000001C)), "PHONEERR_OPERATIONFAILED"},
        {phoneErrorName(static_cast<LONG>(0x90000013)), "PHONEERR_INVALPHONEHANDLE"},
        {tapiResultName(static_cast<LONG>(0x8000002B)), "LINEERR_INVALLINEHANDLE"},
        {tapiResultName(static_cast<LONG>(0x9000000D)), "PHONEERR_INVALDEVICECLASS"},
        {tapiMessageName(0), "LINE_ADDRESSSTATE"},
        {tapiMessageName(2), "LINE_CALLSTATE"},
        {tapiMessageName(12), "LINE_REPLY"},
        {tapiMessageName(16), "PHONE_DEVSPECIFIC"},
        {tapiMessageName(19), "LINE_CREATE"},
        {tapiMessageName(23), "LINE_APPNEWCALL"},
        {tspiMessageName(500), "LINE_NEWCALL"},
        {tspiMessageName(4), "LINE_DEVSPECIFIC"},
        {lineCallStateName(0x100), "LINECALLSTATE_CONNECTED"},
        {lineCallStateName(0x2000), "LINECALLSTATE_ONHOLDPENDTRANSFER"},
        {lineCallInfoStateName(0x8000), "LINECALLINFOSTATE_CALLERID"},
        {tapiErrorName(-11), "TAPIERR_DESTBUSY"},
        {tapiCodeName(kLineCallOriginNames, std::size(kLineCallOriginNames), 0x80),
         "LINECALLORIGIN_INBOUND"},
        {tapiCodeName(kLineForwardModeNames, std::size(kLineForwardModeNames), 0x1000),
         "LINEFORWARDMODE_BUSYNA"},
        {tapiCodeName(kLineCallFeatureNames, std::size(kLineCallFeatureNames), 0x80000000),
         "LINECALLFEATURE_SETCALLDATA"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.printed, c.expected);
    }
}

// Values that are not one code: gaps in the published numbering, success,
// request IDs, masks of several bits, provider-only messages on the
// application side.
TEST(TapiNames, OtherValuesHaveNoName) {
    EXPECT_EQ(lineErrorName(static_cast<LONG>(0x80000004)), nullptr);
    EXPECT_EQ(lineErrorName(static_cast<LONG>(0x80000031)), nullptr);
    EXPECT_EQ(phoneErrorName(static_cast<LONG>(0x9000001E)), nullptr);
    EXPECT_EQ(lineErrorName(static_cast<LONG>(0x9000001C)), nullptr);
    EXPECT_EQ(phoneErrorName(static_cast<LONG>(0x80000048)), nullptr);
    EXPECT_EQ(tapiResultName(0), nullptr);
    EXPECT_EQ(tapiResultName(0x10001), nullptr);
    EXPECT_EQ(lineCallStateName(0), nullptr);
    EXPECT_EQ(lineCallStateName(LINECALLSTATE_IDLE | LINECALLSTATE_OFFERING), nullptr);
    EXPECT_EQ(lineCallInfoStateName(LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID),
              nullptr);
    EXPECT_EQ(tapiMessageName(LINE_NEWCALL), nullptr);
    EXPECT_EQ(tspiMessageName(499), nullptr);
}

TEST(TapiNames, NamesFromScriptsGiveTheirCodes) {
    DWORD value = 0;
    ASSERT_TRUE(tapiCodeFromName(kLineErrorNames, std::size(kLineErrorNames),
                                 "LINEERR_INVALCALLSTATE", &value));
    EXPECT_EQ(value, 0x8000001Cu);
    ASSERT_TRUE(tapiCodeFromName(kLineCallStateNames, std::size(kLineCallStateNames),
                                 "LINECALLSTATE_BUSY", &value));
    EXPECT_EQ(value, 0x40u);
    ASSERT_TRUE(
        tapiCodeFromName(kTapiMessageNames, std::size(kTapiMessageNames), "PHONE_REPLY", &value));
    EXPECT_EQ(value, 17u);

    value = 7;
    EXPECT_FALSE(tapiCodeFromName(kLineErrorNames, std::size(kLineErrorNames),
                                  "LINEERR_OPERATIONFAILE", &value));
    EXPECT_FALSE(tapiCodeFromName(kLineErrorNames, std::size(kLineErrorNames),
                                  "lineerr_operationfailed", &value));
    EXPECT_FALSE(
        tapiCodeFromName(kLineErrorNames, std::size(kLineErrorNames), "PHONEERR_NOMEM", &value));
    EXPECT_FALSE(tapiCodeFromName(kLineErrorNames, std::size(kLineErrorNames), "", &value));
    EXPECT_EQ(value, 7u);
}

// The lookups are constexpr, so a log format can be checked at compile time.
static_assert(lineErrorName(LINEERR_NOMEM) != nullptr);
static_assert(tapiMessageName(LINE_REPLY)[5] == 'R');

}  // namespace
