// The installer's refusal of a second copy, against provider lists the way
// the telephony layer hands them out.
#include "provider/install_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace velkor::provider {
namespace {

// The list the fake layer answers with, and how it behaves.
std::vector<std::string> g_files;
LONG g_result = 0;
// Extra bytes the list grows by between the first and the second call.
DWORD g_growth = 0;
int g_calls = 0;

LONG fakeGetProviderList(DWORD version, LPLINEPROVIDERLIST list) {
    ++g_calls;
    if (version != kProviderListVersion) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (g_result != 0) return g_result;
    DWORD needed = sizeof(LINEPROVIDERLIST) + static_cast<DWORD>(g_files.size() * sizeof(LINEPROVIDERENTRY));
    for (const auto& f : g_files) needed += static_cast<DWORD>(f.size() + 1);
    if (g_calls == 1) needed += g_growth;
    list->dwNeededSize = needed;
    list->dwNumProviders = 0;
    list->dwUsedSize = sizeof(LINEPROVIDERLIST);
    if (list->dwTotalSize < needed) return 0;
    auto* base = reinterpret_cast<std::uint8_t*>(list);
    list->dwNumProviders = static_cast<DWORD>(g_files.size());
    list->dwProviderListOffset = sizeof(LINEPROVIDERLIST);
    list->dwProviderListSize = static_cast<DWORD>(g_files.size() * sizeof(LINEPROVIDERENTRY));
    DWORD text = list->dwProviderListOffset + list->dwProviderListSize;
    for (std::size_t i = 0; i < g_files.size(); ++i) {
        LINEPROVIDERENTRY entry{static_cast<DWORD>(i + 1), static_cast<DWORD>(g_files[i].size() + 1), text};
        std::memcpy(base + list->dwProviderListOffset + i * sizeof entry, &entry, sizeof entry);
        std::memcpy(base + text, g_files[i].c_str(), g_files[i].size() + 1);
        text += entry.dwProviderFilenameSize;
    }
    list->dwUsedSize = text;
    return 0;
}

TEST(InstallCheckTest, RefusesWhenTheProviderIsListedAlready) {
    struct Case {
        const char* name;
        std::vector<std::string> files;
        DWORD growth;
        LONG expected;
    };
    const Case cases[] = {
        {"empty list", {}, 0, 0},
        {"other providers", {"unimodem.tsp", "C:\\WINDOWS\\system32\\kmddsp.tsp"}, 0, 0},
        {"a longer name is another file", {"myvelkorsp.tsp", "velkorsp.tsp.old"}, 0, 0},
        {"bare name, other case", {"unimodem.tsp", "VELKORSP.TSP"}, 0, LINEERR_NOMULTIPLEINSTANCE},
        {"windows path", {"C:\\WINDOWS\\system32\\VelkorSp.tsp"}, 0, LINEERR_NOMULTIPLEINSTANCE},
        {"absolute path here", {"/usr/lib/velkor/velkorsp.tsp"}, 0, LINEERR_NOMULTIPLEINSTANCE},
        {"the list grew between the calls", {"x.tsp", "velkorsp.tsp"}, 64, LINEERR_NOMULTIPLEINSTANCE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_files = c.files;
        g_growth = c.growth;
        g_result = 0;
        g_calls = 0;
        EXPECT_EQ(refuseSecondInstallation(&fakeGetProviderList), c.expected);
    }
}

TEST(InstallCheckTest, WithoutTheLayerItFails) {
    EXPECT_EQ(refuseSecondInstallation(nullptr), LINEERR_OPERATIONFAILED);
    g_files = {"velkorsp.tsp"};
    g_growth = 0;
    g_calls = 0;
    g_result = LINEERR_NOMEM;
    EXPECT_EQ(refuseSecondInstallation(&fakeGetProviderList), LINEERR_OPERATIONFAILED);
    g_result = 0;
}

}  // namespace
}  // namespace velkor::provider
