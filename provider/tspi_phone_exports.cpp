// The phone-device entry points of velkorsp.tsp: each hands the call to the
// phone devices under the entry lock. The phone device serves the station
// settings only; the button, lamp, ring, display, gain, hookswitch and
// volume functions of TAPI's phone are not offered.

#include "provider/core/line_caps.h"
#include "provider/core/phone_caps.h"
#include "provider/exports.h"
#include "tspi.h"

namespace {

using velkor::core::PhoneDevices;
using velkor::provider::ServiceProvider;
using velkor::provider::exports::entryLock;
using velkor::provider::exports::provider;

// Runs `operation` on the phone devices under the entry lock; `absent` when
// the provider is not running.
template <typename Operation>
LONG onPhones(Operation operation, LONG absent) {
    std::lock_guard lock(entryLock());
    ServiceProvider* p = provider();
    return p ? operation(p->phones()) : absent;
}

// The phone device speaks the versions the line device does.
LONG negotiate(DWORD low, DWORD high, LPDWORD version, LONG incompatible) {
    if (!version) return PHONEERR_INVALPOINTER;
    const DWORD answer = velkor::core::negotiateTspiVersion(high);
    if (answer < low) return incompatible;
    *version = answer;
    return 0;
}

}  // namespace

extern "C" {

LONG TSPI_phoneNegotiateTSPIVersion(DWORD, DWORD dwLowVersion, DWORD dwHighVersion,
                                    LPDWORD lpdwTSPIVersion) {
    return negotiate(dwLowVersion, dwHighVersion, lpdwTSPIVersion,
                     PHONEERR_INCOMPATIBLEAPIVERSION);
}

LONG TSPI_phoneNegotiateExtVersion(DWORD, DWORD, DWORD dwLowVersion, DWORD dwHighVersion,
                                   LPDWORD lpdwExtVersion) {
    return negotiate(dwLowVersion, dwHighVersion, lpdwExtVersion,
                     PHONEERR_INCOMPATIBLEEXTVERSION);
}

LONG TSPI_phoneSelectExtVersion(HDRVPHONE, DWORD dwExtVersion) {
    return velkor::core::selectPhoneExtVersion(dwExtVersion);
}

LONG TSPI_phoneGetExtensionID(DWORD dwDeviceID, DWORD, LPPHONEEXTENSIONID lpExtensionID) {
    return velkor::core::fillPhoneExtensionId(dwDeviceID, lpExtensionID);
}

LONG TSPI_phoneGetDevCaps(DWORD dwDeviceID, DWORD, DWORD, LPPHONECAPS lpPhoneCaps) {
    return onPhones([&](PhoneDevices& p) { return p.getDevCaps(dwDeviceID, lpPhoneCaps); },
                    PHONEERR_OPERATIONFAILED);
}

LONG TSPI_phoneOpen(DWORD dwDeviceID, HTAPIPHONE htPhone, LPHDRVPHONE lphdPhone, DWORD,
                    PHONEEVENT lpfnEventProc) {
    return onPhones(
        [&](PhoneDevices& p) { return p.open(dwDeviceID, htPhone, lphdPhone, lpfnEventProc); },
        PHONEERR_OPERATIONFAILED);
}

LONG TSPI_phoneClose(HDRVPHONE hdPhone) {
    return onPhones([&](PhoneDevices& p) { return p.close(hdPhone); }, PHONEERR_INVALPHONEHANDLE);
}

LONG TSPI_phoneGetID(HDRVPHONE hdPhone, LPVARSTRING lpDeviceID, LPCWSTR lpszDeviceClass, HANDLE) {
    return onPhones(
        [&](PhoneDevices& p) {
            return p.getId(hdPhone, lpDeviceID, velkor::provider::exports::text(lpszDeviceClass));
        },
        PHONEERR_INVALPHONEHANDLE);
}

LONG TSPI_phoneDevSpecific(DRV_REQUESTID dwRequestID, HDRVPHONE hdPhone, LPVOID lpParams,
                           DWORD dwSize) {
    return onPhones(
        [&](PhoneDevices& p) { return p.devSpecific(dwRequestID, hdPhone, lpParams, dwSize); },
        PHONEERR_INVALPHONEHANDLE);
}

LONG TSPI_phoneGetData(HDRVPHONE hdPhone, DWORD dwDataID, LPVOID lpData, DWORD dwSize) {
    return onPhones([&](PhoneDevices& p) { return p.getData(hdPhone, dwDataID, lpData, dwSize); },
                    PHONEERR_INVALPHONEHANDLE);
}

LONG TSPI_phoneGetButtonInfo(HDRVPHONE, DWORD, LPPHONEBUTTONINFO) {
    return PHONEERR_OPERATIONUNAVAIL;
}

}  // extern "C"
