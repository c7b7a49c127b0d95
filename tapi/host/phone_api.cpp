// The application's phone functions: each checks what it can, then forwards
// to the host or, through the host's tables, to the provider of the phone.
// phoneDevSpecific is asynchronous and completes with PHONE_REPLY; the
// others answer at once.

#include <array>
#include <cstddef>

#include "tapi/host/host.h"
#include "tapi/host/line_requests.h"
#include "tapi/host/text_conversion.h"

using velkor::tapi::Host;

namespace {

using velkor::tapi::VarField;

// The texts of PHONECAPS: provider and phone info, the name, the device
// classes; the other fields are data.
const velkor::tapi::TextLayout& phoneCapsLayout() {
#define VELKOR_PHONE_FIELD(name, wide) \
    VarField { offsetof(PHONECAPS, dw##name##Size), offsetof(PHONECAPS, dw##name##Offset), wide }
    static const std::array<VarField, 10> fields{{
        VELKOR_PHONE_FIELD(ProviderInfo, true),
        VELKOR_PHONE_FIELD(PhoneInfo, true),
        VELKOR_PHONE_FIELD(PhoneName, true),
        VELKOR_PHONE_FIELD(ButtonModes, false),
        VELKOR_PHONE_FIELD(ButtonFunctions, false),
        VELKOR_PHONE_FIELD(LampModes, false),
        VELKOR_PHONE_FIELD(SetData, false),
        VELKOR_PHONE_FIELD(GetData, false),
        VELKOR_PHONE_FIELD(DevSpecific, false),
        VELKOR_PHONE_FIELD(DeviceClasses, true),
    }};
#undef VELKOR_PHONE_FIELD
    static const velkor::tapi::TextLayout layout{sizeof(PHONECAPS), fields,
                                                 offsetof(PHONECAPS, dwStringFormat)};
    return layout;
}

// A phone ID in binary form passes as it is.
const velkor::tapi::TextLayout& binaryPhoneId() {
    static const std::array<VarField, 1> fields{
        {{offsetof(VARSTRING, dwStringSize), offsetof(VARSTRING, dwStringOffset), false}}};
    static const velkor::tapi::TextLayout layout{sizeof(VARSTRING), fields};
    return layout;
}

// The open phone behind `phone`; PHONEERR_INVALPHONEHANDLE for one the
// layer does not know, which never reaches a provider.
LONG findPhone(HPHONE phone, Host::PhoneTarget& at) {
    const auto target = Host::instance().phoneTarget(phone);
    if (!target) return PHONEERR_INVALPHONEHANDLE;
    at = *target;
    return 0;
}

}  // namespace

extern "C" {

LONG phoneInitializeExA(LPHPHONEAPP lphPhoneApp, HINSTANCE, PHONECALLBACK lpfnCallback, LPCSTR,
                        LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                        LPPHONEINITIALIZEEXPARAMS lpPhoneInitializeExParams) {
    return Host::instance().phoneInitialize(lphPhoneApp, lpfnCallback, lpdwNumDevs,
                                            lpdwAPIVersion, lpPhoneInitializeExParams);
}

LONG phoneInitializeExW(LPHPHONEAPP lphPhoneApp, HINSTANCE, PHONECALLBACK lpfnCallback, LPCWSTR,
                        LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                        LPPHONEINITIALIZEEXPARAMS lpPhoneInitializeExParams) {
    return Host::instance().phoneInitialize(lphPhoneApp, lpfnCallback, lpdwNumDevs,
                                            lpdwAPIVersion, lpPhoneInitializeExParams);
}

LONG phoneShutdown(HPHONEAPP hPhoneApp) { return Host::instance().phoneShutdown(hPhoneApp); }

LONG phoneGetMessage(HPHONEAPP hPhoneApp, LPPHONEMESSAGE lpMessage, DWORD dwTimeout) {
    return Host::instance().phoneGetMessage(hPhoneApp, lpMessage, dwTimeout);
}

LONG phoneNegotiateAPIVersion(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                              DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                              LPPHONEEXTENSIONID lpExtensionID) {
    return Host::instance().phoneNegotiateApiVersion(hPhoneApp, dwDeviceID, dwAPILowVersion,
                                                     dwAPIHighVersion, lpdwAPIVersion,
                                                     lpExtensionID);
}

LONG phoneNegotiateExtVersion(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                              DWORD dwExtLowVersion, DWORD dwExtHighVersion,
                              LPDWORD lpdwExtVersion) {
    return Host::instance().phoneNegotiateExtVersion(hPhoneApp, dwDeviceID, dwAPIVersion,
                                                     dwExtLowVersion, dwExtHighVersion,
                                                     lpdwExtVersion);
}

LONG phoneGetDevCapsW(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                      DWORD dwExtVersion, LPPHONECAPS lpPhoneCaps) {
    return Host::instance().phoneGetDevCaps(hPhoneApp, dwDeviceID, dwAPIVersion, dwExtVersion,
                                            lpPhoneCaps);
}

LONG phoneGetDevCapsA(HPHONEAPP hPhoneApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                      DWORD dwExtVersion, LPPHONECAPS lpPhoneCaps) {
    if (!lpPhoneCaps) return PHONEERR_INVALPOINTER;
    if (lpPhoneCaps->dwTotalSize < sizeof(PHONECAPS)) return PHONEERR_STRUCTURETOOSMALL;
    return velkor::tapi::fillNarrowed(lpPhoneCaps, phoneCapsLayout(), [&](std::uint8_t* wide) {
        return phoneGetDevCapsW(hPhoneApp, dwDeviceID, dwAPIVersion, dwExtVersion,
                                reinterpret_cast<PHONECAPS*>(wide));
    });
}

LONG phoneOpen(HPHONEAPP hPhoneApp, DWORD dwDeviceID, LPHPHONE lphPhone, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivilege) {
    return Host::instance().phoneOpen(hPhoneApp, dwDeviceID, lphPhone, dwAPIVersion, dwExtVersion,
                                      dwCallbackInstance, dwPrivilege);
}

LONG phoneClose(HPHONE hPhone) { return Host::instance().phoneClose(hPhone); }

// The provider reads the parameter block before its entry point returns.
LONG phoneDevSpecific(HPHONE hPhone, LPVOID lpParams, DWORD dwSize) {
    Host::PhoneTarget at;
    if (const LONG error = findPhone(hPhone, at)) return error;
    if (!lpParams && dwSize) return PHONEERR_INVALPOINTER;
    const auto fn = at.entry->TSPI_phoneDevSpecific;
    if (!fn) return PHONEERR_OPERATIONUNAVAIL;
    return Host::instance().runAsync(
        at.app, [&](DRV_REQUESTID id) { return fn(id, at.hdPhone, lpParams, dwSize); });
}

LONG phoneGetData(HPHONE hPhone, DWORD dwDataID, LPVOID lpData, DWORD dwSize) {
    Host::PhoneTarget at;
    if (const LONG error = findPhone(hPhone, at)) return error;
    if (!lpData && dwSize) return PHONEERR_INVALPOINTER;
    if (!at.entry->TSPI_phoneGetData) return PHONEERR_OPERATIONUNAVAIL;
    return at.entry->TSPI_phoneGetData(at.hdPhone, dwDataID, lpData, dwSize);
}

LONG phoneGetIDW(HPHONE hPhone, LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass) {
    Host::PhoneTarget at;
    if (const LONG error = findPhone(hPhone, at)) return error;
    if (!lpDeviceID || !lpszDeviceClass) return PHONEERR_INVALPOINTER;
    if (lpDeviceID->dwTotalSize < sizeof(VARSTRING)) return PHONEERR_STRUCTURETOOSMALL;
    if (!at.entry->TSPI_phoneGetID) return PHONEERR_OPERATIONUNAVAIL;
    return at.entry->TSPI_phoneGetID(at.hdPhone, lpDeviceID, lpszDeviceClass, nullptr);
}

// An ID given as wide text is narrowed; binary IDs pass as they are.
LONG phoneGetIDA(HPHONE hPhone, LPVARSTRING lpDeviceID, LPCSTR lpszDeviceClass) {
    if (!lpDeviceID || !lpszDeviceClass) return PHONEERR_INVALPOINTER;
    if (lpDeviceID->dwTotalSize < sizeof(VARSTRING)) return PHONEERR_STRUCTURETOOSMALL;
    const velkor::tapi::WideText deviceClass(lpszDeviceClass);
    std::vector<std::uint8_t> wide;
    DWORD needed = 0;
    const auto fill = [&](std::uint8_t* buffer) {
        return phoneGetIDW(hPhone, reinterpret_cast<VARSTRING*>(buffer), deviceClass);
    };
    if (const LONG result = velkor::tapi::askWide(lpDeviceID, sizeof(VARSTRING), fill,
                                                  velkor::tapi::Asking::UntilItFits, wide,
                                                  needed)) {
        return result;
    }
    const bool text =
        reinterpret_cast<const VARSTRING*>(wide.data())->dwStringFormat == STRINGFORMAT_UNICODE;
    velkor::tapi::finishNarrowed(lpDeviceID, wide, needed,
                                 text ? velkor::tapi::varStringLayout() : binaryPhoneId());
    return 0;
}

}  // extern "C"
