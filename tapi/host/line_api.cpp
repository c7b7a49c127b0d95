// The application's line functions for the application itself, its lines
// and their devices: each checks what it can, then forwards to the host or,
// through the host's tables, to the provider. Call control is in
// call_control.cpp, the status queries in line_queries.cpp.

#include <cstring>
#include <vector>

#include "tapi/host/host.h"
#include "tapi/host/line_requests.h"
#include "tapi/host/provider_list.h"
#include "tapi/host/text_conversion.h"
#include "tapi_host.h"

using velkor::tapi::Host;

namespace {

// Fills a LINEPROVIDERLIST with 8-bit or wide file names.
template <typename Char>
LONG fillProviderList(DWORD apiVersion, LINEPROVIDERLIST* list) {
    if (!list) return LINEERR_INVALPOINTER;
    if (apiVersion < TAPI_VERSION1_4 || apiVersion > TAPI_CURRENT_VERSION) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    if (list->dwTotalSize < sizeof(LINEPROVIDERLIST)) return LINEERR_STRUCTURETOOSMALL;
    const auto entries = velkor::tapi::ProviderList().read();

    std::vector<std::basic_string<Char>> names;
    std::size_t needed = sizeof(LINEPROVIDERLIST) + entries.size() * sizeof(LINEPROVIDERENTRY);
    for (const auto& e : entries) {
        if constexpr (sizeof(Char) == 1) {
            names.push_back(e.fileName);
        } else {
            names.push_back(velkor::tapi::utf8ToUtf16(e.fileName));
        }
        needed += (names.back().size() + 1) * sizeof(Char);
    }
    const DWORD total = list->dwTotalSize;
    auto* base = reinterpret_cast<std::uint8_t*>(list);
    std::memset(base + sizeof(DWORD), 0, sizeof(LINEPROVIDERLIST) - sizeof(DWORD));
    list->dwNeededSize = static_cast<DWORD>(needed);
    list->dwUsedSize = sizeof(LINEPROVIDERLIST);
    if (needed > total) return 0;  // the caller grows its buffer and asks again

    list->dwNumProviders = static_cast<DWORD>(entries.size());
    list->dwProviderListSize = static_cast<DWORD>(entries.size() * sizeof(LINEPROVIDERENTRY));
    list->dwProviderListOffset = sizeof(LINEPROVIDERLIST);
    std::size_t textAt = list->dwProviderListOffset + list->dwProviderListSize;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        LINEPROVIDERENTRY entry{};
        entry.dwPermanentProviderID = entries[i].permanentId;
        entry.dwProviderFilenameSize = static_cast<DWORD>((names[i].size() + 1) * sizeof(Char));
        entry.dwProviderFilenameOffset = static_cast<DWORD>(textAt);
        std::memcpy(base + list->dwProviderListOffset + i * sizeof entry, &entry, sizeof entry);
        std::memcpy(base + textAt, names[i].c_str(), entry.dwProviderFilenameSize);
        textAt += entry.dwProviderFilenameSize;
    }
    list->dwUsedSize = static_cast<DWORD>(textAt);
    return 0;
}

}  // namespace

extern "C" {

LONG lineInitializeExA(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback, LPCSTR,
                       LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                       LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams) {
    return Host::instance().initialize(lphLineApp, lpfnCallback, lpdwNumDevs, lpdwAPIVersion,
                                       lpLineInitializeExParams);
}

LONG lineInitializeExW(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback, LPCWSTR,
                       LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                       LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams) {
    return Host::instance().initialize(lphLineApp, lpfnCallback, lpdwNumDevs, lpdwAPIVersion,
                                       lpLineInitializeExParams);
}

LONG lineShutdown(HLINEAPP hLineApp) { return Host::instance().shutdown(hLineApp); }

LONG lineGetMessage(HLINEAPP hLineApp, LPLINEMESSAGE lpMessage, DWORD dwTimeout) {
    return Host::instance().getMessage(hLineApp, lpMessage, dwTimeout);
}

LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                             DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                             LPLINEEXTENSIONID lpExtensionID) {
    return Host::instance().negotiateApiVersion(hLineApp, dwDeviceID, dwAPILowVersion,
                                                dwAPIHighVersion, lpdwAPIVersion, lpExtensionID);
}

LONG lineNegotiateExtVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                             DWORD dwExtLowVersion, DWORD dwExtHighVersion,
                             LPDWORD lpdwExtVersion) {
    return Host::instance().negotiateExtVersion(hLineApp, dwDeviceID, dwAPIVersion,
                                                dwExtLowVersion, dwExtHighVersion, lpdwExtVersion);
}

LONG lineGetDevCapsW(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                     LPLINEDEVCAPS lpLineDevCaps) {
    return Host::instance().getDevCaps(hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion,
                                       lpLineDevCaps);
}

LONG lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                     LPLINEDEVCAPS lpLineDevCaps) {
    if (!lpLineDevCaps) return LINEERR_INVALPOINTER;
    return velkor::tapi::fillNarrowed(
        lpLineDevCaps, velkor::tapi::lineDevCapsLayout(), [&](std::uint8_t* wide) {
            return Host::instance().getDevCaps(hLineApp, dwDeviceID, dwAPIVersion, dwExtVersion,
                                               reinterpret_cast<LINEDEVCAPS*>(wide));
        });
}

LONG lineGetProviderListA(DWORD dwAPIVersion, LPLINEPROVIDERLIST lpProviderList) {
    return fillProviderList<char>(dwAPIVersion, lpProviderList);
}

LONG lineGetProviderListW(DWORD dwAPIVersion, LPLINEPROVIDERLIST lpProviderList) {
    return fillProviderList<char16_t>(dwAPIVersion, lpProviderList);
}

LONG lineGetProviderList(DWORD dwAPIVersion, LPLINEPROVIDERLIST lpProviderList) {
    return fillProviderList<char>(dwAPIVersion, lpProviderList);
}

LONG lineOpenA(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
               DWORD dwMediaModes, const LINECALLPARAMS* lpCallParams) {
    return Host::instance().open(hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion,
                                 dwCallbackInstance, dwPrivileges, dwMediaModes, lpCallParams);
}

LONG lineOpenW(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
               DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
               DWORD dwMediaModes, const LINECALLPARAMS* lpCallParams) {
    return Host::instance().open(hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion,
                                 dwCallbackInstance, dwPrivileges, dwMediaModes, lpCallParams);
}

LONG lineClose(HLINE hLine) { return Host::instance().close(hLine); }

LONG lineSetStatusMessages(HLINE hLine, DWORD dwLineStates, DWORD dwAddressStates) {
    return Host::instance().setStatusMessages(hLine, dwLineStates, dwAddressStates);
}

LONG lineGetStatusMessages(HLINE hLine, LPDWORD lpdwLineStates, LPDWORD lpdwAddressStates) {
    return Host::instance().getStatusMessages(hLine, lpdwLineStates, lpdwAddressStates);
}

LONG lineDeallocateCall(HCALL hCall) { return Host::instance().deallocateCall(hCall); }

void tapiSetCallbackPoster(TAPIPOSTER poster) { Host::instance().setPoster(poster); }

}  // extern "C"
