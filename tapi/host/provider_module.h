#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "tspi.h"

namespace velkor::tapi {

// The entry points of one provider, each null when the provider lacks it.
struct ProviderEntryPoints {
#define VELKOR_ENTRY_POINT_MEMBER(name, params) name##_t name = nullptr;
    TSPI_ENTRY_POINTS(VELKOR_ENTRY_POINT_MEMBER)
#undef VELKOR_ENTRY_POINT_MEMBER
};

// A provider's shared object, loaded with dlopen and closed with the object.
class ProviderModule {
public:
    // nullptr with `error` set when the file cannot be loaded.
    static std::unique_ptr<ProviderModule> load(const std::filesystem::path& file,
                                                std::string& error);
    ~ProviderModule();

    ProviderModule(const ProviderModule&) = delete;
    ProviderModule& operator=(const ProviderModule&) = delete;

    const ProviderEntryPoints& entry() const { return m_entry; }
    const std::filesystem::path& file() const { return m_file; }
    // Any other symbol of the provider (tests reach a fake provider's
    // controls this way).
    void* symbol(const char* name) const;

private:
    ProviderModule(void* handle, std::filesystem::path file);

    void* m_handle;
    std::filesystem::path m_file;
    ProviderEntryPoints m_entry;
};

}  // namespace velkor::tapi
