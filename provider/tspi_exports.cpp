// The entry points the telephony layer finds in velkorsp.tsp. Each one is a
// thin call into the service provider; the provider is built by device
// enumeration and taken down by shutdown. TAPI is told the provider is not
// reentrant, and the entry lock keeps it so whatever the caller does.

#include <dlfcn.h>

#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>

#include "provider/core/line_caps.h"
#include "provider/install_check.h"
#include "platform/text/utf16.h"
#include "provider/exports.h"
#include "provider/service_provider.h"
#include "tapi_host.h"
#include "tspi.h"

using velkor::provider::ServiceProvider;
using velkor::provider::exports::provider;

namespace velkor::provider::exports {

namespace {
std::recursive_mutex g_entry;
std::unique_ptr<ServiceProvider> g_provider;
}  // namespace

std::recursive_mutex& entryLock() { return g_entry; }
ServiceProvider* provider() { return g_provider.get(); }

std::string text(LPCWSTR wide) {
    if (!wide) return {};
    std::u16string_view view(wide);
    // Destinations and device classes are short; a runaway text is cut.
    return platform::utf16ToUtf8(view.substr(0, kMaxText));
}

}  // namespace velkor::provider::exports

namespace {

using velkor::provider::exports::g_entry;
using velkor::provider::exports::g_provider;

// The UI part of the provider is this file itself.
constexpr char16_t kUiModuleName[] = u"velkorsp.tsp";

void showNotice(const std::string& text) {
    // The layer's hook reaches the application that shows it; a process
    // without the layer gets the text on standard error.
    static const auto show =
        reinterpret_cast<tapiShowNotice_t>(dlsym(RTLD_DEFAULT, "tapiShowNotice"));
    if (show) {
        show(text.c_str());
    } else {
        std::cerr << "velkorsp: " << text << '\n';
    }
}

velkor::core::StationRecord* stationOfDevice(DWORD deviceId) {
    ServiceProvider* p = provider();
    return p ? p->model().findStationForDevice(deviceId) : nullptr;
}

// The best version the provider speaks within what the caller offers.
LONG negotiate(DWORD low, DWORD high, LPDWORD version, LONG incompatible) {
    if (!version) return LINEERR_INVALPOINTER;
    const DWORD answer = velkor::core::negotiateTspiVersion(high);
    if (answer < low) return incompatible;
    *version = answer;
    return 0;
}

}  // namespace

extern "C" {

// --- provider ---------------------------------------------------------------

LONG TSPI_providerEnumDevices(DWORD dwPermanentProviderID, LPDWORD lpdwNumLines,
                              LPDWORD lpdwNumPhones, HPROVIDER hProvider,
                              LINEEVENT lpfnLineCreateProc, PHONEEVENT) {
    std::lock_guard lock(g_entry);
    if (!g_provider) g_provider = std::make_unique<ServiceProvider>(showNotice);
    g_provider->events().setProviderProcedure(lpfnLineCreateProc);
    return g_provider->lifecycle().enumerateDevices(dwPermanentProviderID, hProvider, lpdwNumLines,
                                                    lpdwNumPhones);
}

LONG TSPI_providerInit(DWORD, DWORD dwPermanentProviderID, DWORD dwLineDeviceIDBase,
                       DWORD dwPhoneDeviceIDBase, DWORD_PTR dwNumLines, DWORD_PTR dwNumPhones,
                       ASYNC_COMPLETION lpfnCompletionProc, LPDWORD lpdwTSPIOptions) {
    std::lock_guard lock(g_entry);
    if (!g_provider) return LINEERR_OPERATIONFAILED;
    g_provider->events().setCompletionProcedure(lpfnCompletionProc);
    return g_provider->lifecycle().initialize(
        dwPermanentProviderID, dwLineDeviceIDBase, dwPhoneDeviceIDBase,
        static_cast<DWORD>(dwNumLines), static_cast<DWORD>(dwNumPhones), lpdwTSPIOptions);
}

LONG TSPI_providerShutdown(DWORD, DWORD) {
    std::lock_guard lock(g_entry);
    if (!g_provider) return 0;
    const LONG result = g_provider->lifecycle().shutdown();
    // Every thread of the provider ends here, before the layer unloads it.
    g_provider.reset();
    return result;
}

LONG TSPI_providerCreateLineDevice(DWORD_PTR dwTempID, DWORD dwDeviceID) {
    std::lock_guard lock(g_entry);
    if (!g_provider) return LINEERR_OPERATIONUNAVAIL;
    return g_provider->lifecycle().createLineDevice(dwTempID, dwDeviceID);
}

LONG TSPI_providerCreatePhoneDevice(DWORD_PTR, DWORD) { return LINEERR_OPERATIONUNAVAIL; }

LONG TSPI_providerConfig(HWND, DWORD) { return 0; }
LONG TSPI_providerInstall(HWND, DWORD) { return 0; }
LONG TSPI_providerRemove(HWND, DWORD) { return 0; }
LONG TSPI_providerGenericDialogData(DWORD_PTR, DWORD, LPVOID, DWORD) { return 0; }
LONG TSPI_providerFreeDialogInstance(HDRVDIALOGINSTANCE) { return 0; }

LONG TSPI_providerUIIdentify(LPWSTR lpszUIDLLName) {
    if (!lpszUIDLLName) return LINEERR_INVALPOINTER;
    std::memcpy(lpszUIDLLName, kUiModuleName, sizeof kUiModuleName);
    return 0;
}

// --- line devices -------------------------------------------------------------

LONG TSPI_lineNegotiateTSPIVersion(DWORD, DWORD dwLowVersion, DWORD dwHighVersion,
                                   LPDWORD lpdwTSPIVersion) {
    return negotiate(dwLowVersion, dwHighVersion, lpdwTSPIVersion,
                     LINEERR_INCOMPATIBLEAPIVERSION);
}

LONG TSPI_lineNegotiateExtVersion(DWORD, DWORD, DWORD dwLowVersion, DWORD dwHighVersion,
                                  LPDWORD lpdwExtVersion) {
    return negotiate(dwLowVersion, dwHighVersion, lpdwExtVersion, LINEERR_INCOMPATIBLEEXTVERSION);
}

LONG TSPI_lineSelectExtVersion(HDRVLINE, DWORD dwExtVersion) {
    return velkor::core::selectExtVersion(dwExtVersion);
}

LONG TSPI_lineGetExtensionID(DWORD dwDeviceID, DWORD, LPLINEEXTENSIONID lpExtensionID) {
    return velkor::core::fillExtensionId(dwDeviceID, lpExtensionID);
}

LONG TSPI_lineGetDevCaps(DWORD dwDeviceID, DWORD, DWORD, LPLINEDEVCAPS lpLineDevCaps) {
    std::lock_guard lock(g_entry);
    velkor::core::LineCapsInput in;
    in.noDevice = dwDeviceID == velkor::core::kNoDevice;
    if (ServiceProvider* p = provider()) {
        if (!in.noDevice) in.station = p->model().stations().bindLineId(dwDeviceID);
        in.systemName = p->lifecycle().systemName();
        in.permanentProviderId = p->model().providerIds().permanentProviderId;
    }
    return velkor::core::fillLineDevCaps(in, lpLineDevCaps);
}

LONG TSPI_lineGetAddressCaps(DWORD dwDeviceID, DWORD dwAddressID, DWORD, DWORD,
                             LPLINEADDRESSCAPS lpAddressCaps) {
    std::lock_guard lock(g_entry);
    const velkor::core::StationRecord* station = stationOfDevice(dwDeviceID);
    if (!station) return LINEERR_BADDEVICEID;
    return velkor::core::fillAddressCaps(*station, dwDeviceID, dwAddressID, lpAddressCaps);
}

LONG TSPI_lineOpen(DWORD dwDeviceID, HTAPILINE htLine, LPHDRVLINE lphdLine, DWORD,
                   LINEEVENT lpfnEventProc) {
    std::lock_guard lock(g_entry);
    if (!g_provider) return LINEERR_OPERATIONFAILED;
    return g_provider->lifecycle().openLine(dwDeviceID, htLine, lphdLine, lpfnEventProc);
}

LONG TSPI_lineClose(HDRVLINE hdLine) {
    std::lock_guard lock(g_entry);
    if (!g_provider) return LINEERR_INVALLINEHANDLE;
    return g_provider->lifecycle().closeLine(hdLine);
}

LONG TSPI_lineGetNumAddressIDs(HDRVLINE, LPDWORD lpdwNumAddressIDs) {
    if (!lpdwNumAddressIDs) return LINEERR_INVALPOINTER;
    *lpdwNumAddressIDs = 1;
    return 0;
}

LONG TSPI_lineGetID(HDRVLINE hdLine, DWORD, HDRVCALL, DWORD dwSelect, LPVARSTRING lpDeviceID,
                    LPCWSTR lpszDeviceClass, HANDLE) {
    std::lock_guard lock(g_entry);
    ServiceProvider* p = provider();
    const velkor::core::StationRecord* station =
        p ? p->model().findStationForLine(hdLine) : nullptr;
    if (!station) return LINEERR_INVALLINEHANDLE;
    return velkor::core::fillLineId(station->lineDeviceId, dwSelect,
                                    velkor::provider::exports::text(lpszDeviceClass), lpDeviceID);
}

LONG TSPI_lineSetStatusMessages(HDRVLINE hdLine, DWORD, DWORD) {
    std::lock_guard lock(g_entry);
    ServiceProvider* p = provider();
    velkor::core::StationRecord* station = p ? p->model().findStationForLine(hdLine) : nullptr;
    if (!station) return LINEERR_INVALLINEHANDLE;
    p->model().replayLineNotices(*station);
    return 0;
}

// --- user interface -------------------------------------------------------------

LONG TUISPI_providerInstall(TUISPIDLLCALLBACK, HWND, DWORD) {
    return velkor::provider::refuseSecondInstallation(
        velkor::provider::findProviderListFunction());
}

LONG TUISPI_providerConfig(TUISPIDLLCALLBACK, HWND, DWORD) { return 0; }
LONG TUISPI_providerRemove(TUISPIDLLCALLBACK, HWND, DWORD) { return 0; }
LONG TUISPI_providerGenericDialog(TUISPIDLLCALLBACK, HTAPIDIALOGINSTANCE, LPVOID, DWORD, HANDLE) {
    return 0;
}
LONG TUISPI_providerGenericDialogData(HTAPIDIALOGINSTANCE, LPVOID, DWORD) { return 0; }
LONG TUISPI_lineConfigDialog(TUISPIDLLCALLBACK, DWORD, HWND, LPCWSTR) { return 0; }
LONG TUISPI_lineConfigDialogEdit(TUISPIDLLCALLBACK, DWORD, HWND, LPCWSTR, LPCVOID, DWORD,
                                 LPVARSTRING) {
    return 0;
}
LONG TUISPI_phoneConfigDialog(TUISPIDLLCALLBACK, DWORD, HWND, LPCWSTR) { return 0; }

}  // extern "C"
