// Published values of the constants the provider and the client exchange.
// A wrong value compiles fine and only shows when a peer built elsewhere
// reads the field, so the numbers are written out here as literals.
#include <gtest/gtest.h>

#include <cstring>

#include "tapi.h"
#include "tspi.h"

namespace {

struct Value {
    const char* name;
    uint64_t actual;
    uint64_t expected;
};

#define V(name, expected) \
    { #name, static_cast < uint32_t>(name), expected }

const Value kErrorCodes[] = {
    // Every result the provider returns or completes with.
    V(LINEERR_ALLOCATED, 0x80000001),
    V(LINEERR_BADDEVICEID, 0x80000002),
    V(LINEERR_CALLUNAVAIL, 0x80000005),
    V(LINEERR_INCOMPATIBLEEXTVERSION, 0x8000000D),
    V(LINEERR_INVALADDRESS, 0x80000010),
    V(LINEERR_INVALADDRESSID, 0x80000011),
    V(LINEERR_INVALBEARERMODE, 0x80000016),
    V(LINEERR_INVALCALLCOMPLMODE, 0x80000017),
    V(LINEERR_INVALCALLHANDLE, 0x80000018),
    V(LINEERR_INVALCALLSTATE, 0x8000001C),
    V(LINEERR_INVALLINEHANDLE, 0x8000002B),
    V(LINEERR_INVALMEDIAMODE, 0x8000002F),
    V(LINEERR_INVALPARAM, 0x80000032),
    V(LINEERR_INVALPARKMODE, 0x80000034),
    V(LINEERR_INVALTIMEOUT, 0x8000003B),
    V(LINEERR_NODEVICE, 0x80000042),
    V(LINEERR_NOMEM, 0x80000044),
    V(LINEERR_OPERATIONFAILED, 0x80000048),
    V(LINEERR_OPERATIONUNAVAIL, 0x80000049),
    V(LINEERR_RESOURCEUNAVAIL, 0x8000004B),
    V(LINEERR_STRUCTURETOOSMALL, 0x8000004D),
    V(LINEERR_USERUSERINFOTOOBIG, 0x80000051),
    V(LINEERR_NOMULTIPLEINSTANCE, 0x80000056),
    V(LINEERR_USERCANCELLED, 0x8000005D),
    V(PHONEERR_ALLOCATED, 0x90000001),
    V(PHONEERR_INCOMPATIBLEEXTVERSION, 0x90000004),
    V(PHONEERR_INVALDEVICECLASS, 0x9000000D),
    V(PHONEERR_INVALPHONEHANDLE, 0x90000013),
    V(PHONEERR_NOMEM, 0x9000001A),
    V(PHONEERR_OPERATIONFAILED, 0x9000001C),
    V(PHONEERR_OPERATIONUNAVAIL, 0x9000001D),
    V(PHONEERR_RESOURCEUNAVAIL, 0x9000001F),
    V(PHONEERR_STRUCTURETOOSMALL, 0x90000021),
    V(PHONEERR_REINIT, 0x90000023),
};

const Value kMessages[] = {
    V(LINE_ADDRESSSTATE, 0),
    V(LINE_CALLINFO, 1),
    V(LINE_CALLSTATE, 2),
    V(LINE_CLOSE, 3),
    V(LINE_DEVSPECIFIC, 4),
    V(LINE_LINEDEVSTATE, 8),
    V(LINE_REPLY, 12),
    V(PHONE_BUTTON, 14),
    V(PHONE_CLOSE, 15),
    V(PHONE_DEVSPECIFIC, 16),
    V(PHONE_REPLY, 17),
    V(PHONE_STATE, 18),
    V(LINE_CREATE, 19),
    V(PHONE_CREATE, 20),
    V(LINE_APPNEWCALL, 23),
    V(LINE_REMOVE, 25),
    V(PHONE_REMOVE, 26),
    V(LINE_NEWCALL, 500),
    V(LINE_CALLDEVSPECIFIC, 501),
    V(LINE_CREATEDIALOGINSTANCE, 503),
};

const Value kCallStates[] = {
    V(LINECALLSTATE_IDLE, 0x1),
    V(LINECALLSTATE_OFFERING, 0x2),
    V(LINECALLSTATE_ACCEPTED, 0x4),
    V(LINECALLSTATE_DIALTONE, 0x8),
    V(LINECALLSTATE_DIALING, 0x10),
    V(LINECALLSTATE_RINGBACK, 0x20),
    V(LINECALLSTATE_BUSY, 0x40),
    V(LINECALLSTATE_SPECIALINFO, 0x80),
    V(LINECALLSTATE_CONNECTED, 0x100),
    V(LINECALLSTATE_PROCEEDING, 0x200),
    V(LINECALLSTATE_ONHOLD, 0x400),
    V(LINECALLSTATE_CONFERENCED, 0x800),
    V(LINECALLSTATE_ONHOLDPENDCONF, 0x1000),
    V(LINECALLSTATE_ONHOLDPENDTRANSFER, 0x2000),
    V(LINECALLSTATE_DISCONNECTED, 0x4000),
    V(LINECALLSTATE_UNKNOWN, 0x8000),
};

const Value kCallAttributes[] = {
    V(LINECALLINFOSTATE_CALLERID, 0x8000),
    V(LINECALLINFOSTATE_CALLEDID, 0x10000),
    V(LINECALLINFOSTATE_CONNECTEDID, 0x20000),
    V(LINECALLINFOSTATE_USERUSERINFO, 0x200000),
    V(LINECALLINFOSTATE_CALLDATA, 0x40000000),
    V(LINECALLORIGIN_OUTBOUND, 0x1),
    V(LINECALLORIGIN_INTERNAL, 0x2),
    V(LINECALLORIGIN_EXTERNAL, 0x4),
    V(LINECALLORIGIN_UNKNOWN, 0x10),
    V(LINECALLORIGIN_INBOUND, 0x80),
    V(LINECALLREASON_DIRECT, 0x1),
    V(LINECALLREASON_CALLCOMPLETION, 0x80),
    V(LINECALLREASON_TRANSFER, 0x100),
    V(LINECALLREASON_UNKNOWN, 0x400),
    V(LINECALLREASON_PARKED, 0x2000),
    V(LINECALLPARTYID_NAME, 0x4),
    V(LINECALLPARTYID_ADDRESS, 0x8),
    V(LINECALLPARTYID_UNKNOWN, 0x20),
    V(LINECALLPRIVILEGE_OWNER, 0x4),
    V(LINEDIALTONEMODE_UNAVAIL, 0x20),
    V(LINEBUSYMODE_STATION, 0x1),
    V(LINEBUSYMODE_TRUNK, 0x2),
    V(LINESPECIALINFO_UNAVAIL, 0x10),
    V(LINEDISCONNECTMODE_NORMAL, 0x1),
    V(LINEDISCONNECTMODE_BUSY, 0x20),
    V(LINEDISCONNECTMODE_NOANSWER, 0x40),
    V(LINEDISCONNECTMODE_NODIALTONE, 0x1000),
};

const Value kModes[] = {
    V(LINEFORWARDMODE_UNCOND, 1),
    V(LINEFORWARDMODE_BUSY, 16),
    V(LINEFORWARDMODE_NOANSW, 256),
    V(LINEFORWARDMODE_BUSYNA, 4096),
    V(LINEPARKMODE_DIRECTED, 1),
    V(LINEPARKMODE_NONDIRECTED, 2),
    V(LINETRANSFERMODE_TRANSFER, 1),
    V(LINETRANSFERMODE_CONFERENCE, 2),
    V(LINECALLCOMPLMODE_CAMPON, 1),
    V(LINECALLCOMPLMODE_CALLBACK, 2),
    V(LINECALLCOMPLMODE_INTRUDE, 4),
    V(LINECALLCOMPLMODE_MESSAGE, 8),
    V(LINEREMOVEFROMCONF_LAST, 2),
    V(LINEREMOVEFROMCONF_ANY, 3),
    V(LINEBEARERMODE_VOICE, 0x1),
    V(LINEBEARERMODE_PASSTHROUGH, 0x40),
    V(LINEMEDIAMODE_UNKNOWN, 0x2),
    V(LINEMEDIAMODE_INTERACTIVEVOICE, 0x4),
    V(LINEMEDIAMODE_DATAMODEM, 0x10),
    V(LINEADDRESSMODE_ADDRESSID, 1),
    V(LINEADDRESSMODE_DIALABLEADDR, 2),
    V(LINEADDRESSSHARING_PRIVATE, 1),
    V(LINEDIGITMODE_PULSE, 1),
    V(LINEDIGITMODE_DTMF, 2),
    V(LINECALLSELECT_LINE, 1),
    V(LINECALLSELECT_CALL, 4),
    V(LINEOFFERINGMODE_ACTIVE, 1),
    V(LINECONNECTEDMODE_ACTIVE, 1),
    V(LINETERMDEV_PHONE, 1),
    V(STRINGFORMAT_ASCII, 1),
    V(STRINGFORMAT_UNICODE, 3),
    V(STRINGFORMAT_BINARY, 4),
    V(LINEINITIALIZEEXOPTION_USEHIDDENWINDOW, 1),
    V(LINEINITIALIZEEXOPTION_USEEVENT, 2),
    V(PHONEINITIALIZEEXOPTION_USEEVENT, 2),
    V(LINETSPIOPTION_NONREENTRANT, 1),
    V(LINEADDRESSSTATE_FORWARD, 0x40),
    V(LINEDEVSTATE_INSERVICE, 0x40),
    V(LINEDEVSTATE_REINIT, 0x40000),
    V(PHONESTATE_DEVSPECIFIC, 0x100000),
    V(TAPI_VERSION1_4, 0x00010004),
    V(TAPI_VERSION2_0, 0x00020000),
    V(TAPI_VERSION2_1, 0x00020001),
    V(TAPI_CURRENT_VERSION, 0x00020001),
    V(TUISPIDLL_OBJECT_LINEID, 1),
    V(TUISPIDLL_OBJECT_PROVIDERID, 3),
};

#undef V

void expectValues(const Value* begin, const Value* end) {
    for (const Value* v = begin; v != end; ++v) {
        EXPECT_EQ(v->actual, v->expected) << v->name;
    }
}

TEST(TapiValues, ErrorCodes) { expectValues(std::begin(kErrorCodes), std::end(kErrorCodes)); }
TEST(TapiValues, Messages) { expectValues(std::begin(kMessages), std::end(kMessages)); }
TEST(TapiValues, CallStates) { expectValues(std::begin(kCallStates), std::end(kCallStates)); }
TEST(TapiValues, CallAttributes) {
    expectValues(std::begin(kCallAttributes), std::end(kCallAttributes));
}
TEST(TapiValues, Modes) { expectValues(std::begin(kModes), std::end(kModes)); }

// The provider reports its capabilities as numbers whose meaning is a set of
// published bits; each row rebuilds one of those numbers from the names.
TEST(TapiValues, ProviderCapabilityMasksDecompose) {
    struct Mask {
        const char* what;
        DWORD fromNames;
        DWORD reported;
    };
    const Mask masks[] = {
        {"LINEDEVSTATUS.dwDevStatusFlags",
         LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE, 5},
        {"dwLineFeatures",
         LINEFEATURE_DEVSPECIFIC | LINEFEATURE_FORWARD | LINEFEATURE_MAKECALL |
             LINEFEATURE_FORWARDFWD | LINEFEATURE_FORWARDDND,
         0x18D},
        {"LINETERMCAPS.dwTermModes",
         LINETERMMODE_BUTTONS | LINETERMMODE_RINGER | LINETERMMODE_HOOKSWITCH, 0x19},
        {"LINEDEVCAPS.dwBearerModes", LINEBEARERMODE_VOICE | LINEBEARERMODE_PASSTHROUGH, 0x41},
        {"LINEDEVCAPS.dwGenerateDigitModes", LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF, 3},
        {"LINEADDRESSCAPS.dwAddressModes", LINEADDRESSMODE_ADDRESSID | LINEADDRESSMODE_DIALABLEADDR,
         3},
        {"LINEADDRESSCAPS.dwForwardModes",
         LINEFORWARDMODE_UNCOND | LINEFORWARDMODE_UNCONDEXTERNAL | LINEFORWARDMODE_BUSY |
             LINEFORWARDMODE_NOANSW | LINEFORWARDMODE_BUSYNA,
         0x1115},
        {"LINEADDRESSCAPS.dwCallCompletionModes",
         LINECALLCOMPLMODE_CAMPON | LINECALLCOMPLMODE_CALLBACK | LINECALLCOMPLMODE_MESSAGE, 11},
        {"LINEADDRESSCAPS.dwTransferModes", LINETRANSFERMODE_TRANSFER | LINETRANSFERMODE_CONFERENCE,
         3},
        {"LINECALLSTATUS.dwCallFeatures OFFERING",
         LINECALLFEATURE_ANSWER | LINECALLFEATURE_REDIRECT, 0x20004},
        {"LINECALLSTATUS.dwCallFeatures IDLE", LINECALLFEATURE_DROP, 0x80},
        {"LINECALLSTATUS.dwCallFeatures ONHOLD", LINECALLFEATURE_UNHOLD, 0x8000000},
        {"LINECALLSTATUS.dwCallFeatures CONFERENCED", LINECALLFEATURE_REMOVEFROMCONF, 0x40000},
        {"LINECALLSTATUS.dwCallFeatures2 held, CONNECTED exists",
         LINECALLFEATURE2_TRANSFERNORM | LINECALLFEATURE2_TRANSFERCONF, 0xC0},
        {"LINECALLSTATUS.dwCallFeatures2 station BUSY",
         LINECALLFEATURE2_COMPLCAMPON | LINECALLFEATURE2_COMPLCALLBACK, 12},
    };
    for (const Mask& m : masks) {
        EXPECT_EQ(m.fromNames, m.reported) << m.what;
    }
}

// Error codes are negative as LONG: a function result below zero is an
// error, above zero a request ID.
TEST(TapiValues, ErrorCodesAreNegativeResults) {
    EXPECT_LT(LINEERR_ALLOCATED, 0);
    EXPECT_LT(LINEERR_DISCONNECTED, 0);
    EXPECT_LT(PHONEERR_ALLOCATED, 0);
    EXPECT_LT(PHONEERR_DISCONNECTED, 0);
    LONG result = static_cast<LONG>(0x80000048u);
    EXPECT_EQ(result, LINEERR_OPERATIONFAILED);
}

// The fixed parts the provider fills and the variable parts it appends after
// them, written through the structures as the provider does, read back as
// the raw bytes a client sees.
TEST(TapiLayout, VariablePartsStartWhereThePeerLooks) {
    alignas(4) unsigned char block[64] = {};
    auto* out = reinterpret_cast<VARSTRING*>(block);
    out->dwTotalSize = 28;
    out->dwStringFormat = STRINGFORMAT_BINARY;
    out->dwStringSize = 4;
    out->dwStringOffset = sizeof(VARSTRING);
    const DWORD deviceId = 0x01020304;
    std::memcpy(block + out->dwStringOffset, &deviceId, sizeof deviceId);
    const unsigned char expected[28] = {28, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 4, 0,
                                        0,  0, 4, 0, 0, 0, 24, 0, 0, 0, 4, 3, 2, 1};
    EXPECT_EQ(std::memcmp(block, expected, sizeof expected), 0);
}

TEST(TapiLayout, OneEntryForwardListIsTheClientsBlock) {
    // 62 bytes: list header, one entry, destination text at offset 32.
    alignas(4) unsigned char block[62] = {};
    auto* list = reinterpret_cast<LINEFORWARDLIST*>(block);
    list->dwTotalSize = sizeof block;
    list->dwNumEntries = 1;
    list->ForwardList[0].dwForwardMode = LINEFORWARDMODE_BUSY;
    list->ForwardList[0].dwDestAddressSize = 3;
    list->ForwardList[0].dwDestAddressOffset = 32;
    std::memcpy(block + 32, "201", 4);
    const unsigned char header[32] = {62, 0, 0, 0, 1, 0, 0, 0, 0x10, 0, 0, 0, 0,  0, 0, 0,
                                      0,  0, 0, 0, 0, 0, 0, 0, 3,    0, 0, 0, 32, 0, 0, 0};
    EXPECT_EQ(std::memcmp(block, header, sizeof header), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(block + 32), "201");
}

}  // namespace
