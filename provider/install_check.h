#pragma once

#include <string_view>

#include "tapi.h"

namespace velkor::provider {

// The provider's own file, as TAPI lists it once installed.
inline constexpr std::string_view kProviderFileName = "VelkorSp.tsp";
// The API version the installer asks for the provider list with.
inline constexpr DWORD kProviderListVersion = 0x20000;

// TUISPI_providerInstall: the PBX takes one provider per machine, so a
// second installation is refused. Asks the telephony layer for the
// installed providers (growing the list to the size it needs) and compares
// the file-name part of each, ignoring case, with kProviderFileName.
// 0 when none matches, LINEERR_NOMULTIPLEINSTANCE when one does,
// LINEERR_OPERATIONFAILED without the function or when the list cannot be
// had, LINEERR_NOMEM when the list does not fit into memory.
LONG refuseSecondInstallation(lineGetProviderList_t getProviderList);

// The layer's lineGetProviderList: the one already in the process, or the
// one of the library loaded for the purpose; nullptr when there is none.
lineGetProviderList_t findProviderListFunction();

}  // namespace velkor::provider
