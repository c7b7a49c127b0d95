#include "tapi/host/provider_module.h"

#include <dlfcn.h>

namespace velkor::tapi {

std::unique_ptr<ProviderModule> ProviderModule::load(const std::filesystem::path& file,
                                                     std::string& error) {
    // RTLD_LOCAL keeps two providers' symbols apart; RTLD_NOW finds a missing
    // dependency at load rather than at the first call.
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        error = why ? why : "cannot load " + file.string();
        return nullptr;
    }
    return std::unique_ptr<ProviderModule>(new ProviderModule(handle, file));
}

ProviderModule::ProviderModule(void* handle, std::filesystem::path file)
    : m_handle(handle), m_file(std::move(file)) {
#define VELKOR_ENTRY_POINT_LOOKUP(name, params) \
    m_entry.name = reinterpret_cast<name##_t>(dlsym(m_handle, #name));
    TSPI_ENTRY_POINTS(VELKOR_ENTRY_POINT_LOOKUP)
#undef VELKOR_ENTRY_POINT_LOOKUP
}

ProviderModule::~ProviderModule() {
    if (m_handle) dlclose(m_handle);
}

void* ProviderModule::symbol(const char* name) const { return dlsym(m_handle, name); }

}  // namespace velkor::tapi
