#include "provider/install_check.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace velkor::provider {

namespace {

// The file names are 8-bit paths: Windows ones with '\', ours with '/'.
std::string_view fileNamePart(std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The list's entries and texts must lie inside what the layer said it used.
bool inside(const LINEPROVIDERLIST& list, DWORD offset, DWORD size) {
    return offset <= list.dwUsedSize && size <= list.dwUsedSize - offset;
}

}  // namespace

LONG refuseSecondInstallation(lineGetProviderList_t getProviderList) {
    if (!getProviderList) return LINEERR_OPERATIONFAILED;
    std::vector<std::uint8_t> buffer;
    DWORD size = sizeof(LINEPROVIDERLIST);
    LINEPROVIDERLIST* list = nullptr;
    // The list may grow between two calls; a few rounds are enough.
    for (int round = 0; round < 4; ++round) {
        try {
            buffer.assign(size, 0);
        } catch (const std::bad_alloc&) {
            return LINEERR_NOMEM;
        }
        list = reinterpret_cast<LINEPROVIDERLIST*>(buffer.data());
        list->dwTotalSize = size;
        if (getProviderList(kProviderListVersion, list) != 0) return LINEERR_OPERATIONFAILED;
        if (list->dwNeededSize <= size) break;
        size = list->dwNeededSize;
    }
    if (list->dwNeededSize > list->dwTotalSize || list->dwUsedSize > list->dwTotalSize) {
        return LINEERR_OPERATIONFAILED;
    }
    const std::uint8_t* base = buffer.data();
    for (DWORD i = 0; i < list->dwNumProviders; ++i) {
        const DWORD at = list->dwProviderListOffset + i * sizeof(LINEPROVIDERENTRY);
        if (!inside(*list, at, sizeof(LINEPROVIDERENTRY))) break;
        LINEPROVIDERENTRY entry;
        std::memcpy(&entry, base + at, sizeof entry);
        if (!inside(*list, entry.dwProviderFilenameOffset, entry.dwProviderFilenameSize)) continue;
        std::string_view name(reinterpret_cast<const char*>(base + entry.dwProviderFilenameOffset),
                              entry.dwProviderFilenameSize);
        name = name.substr(0, name.find('\0'));
        if (equalIgnoringCase(fileNamePart(name), kProviderFileName)) {
            return LINEERR_NOMULTIPLEINSTANCE;
        }
    }
    return 0;
}

lineGetProviderList_t findProviderListFunction() {
    if (void* own = dlsym(RTLD_DEFAULT, "lineGetProviderList")) {
        return reinterpret_cast<lineGetProviderList_t>(own);
    }
    // A program that has not loaded the layer yet. The handle stays open: the
    // function is called after this returns.
    void* library = dlopen("libtapi.so", RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    return reinterpret_cast<lineGetProviderList_t>(dlsym(library, "lineGetProviderList"));
}

}  // namespace velkor::provider
