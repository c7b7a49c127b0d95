#include "tapi/host/host.h"

#include <iostream>

#include "tapi/host/host_tables.h"
#include "tapi/host/provider_list.h"

namespace velkor::tapi {

namespace {

constexpr DWORD kLowestApiVersion = TAPI_VERSION1_4;
constexpr DWORD kHighestApiVersion = TAPI_CURRENT_VERSION;
constexpr DWORD kInitializeNegotiation = 0xFFFFFFFF;

template <typename T>
T* tokenTo(std::uintptr_t token) {
    return reinterpret_cast<T*>(token);
}

}  // namespace

Host& Host::instance() {
    // Never destroyed: providers may still report from their threads while
    // the process exits.
    static Host* host = new Host;
    return *host;
}

Host::Host() = default;
Host::~Host() = default;

void Host::setPoster(TAPIPOSTER poster) {
    std::lock_guard lock(m_mutex);
    m_poster = poster;
}

// --- loading ----------------------------------------------------------------

void Host::loadProviders() {
    for (const ProviderEntry& entry : ProviderList().read()) {
        const auto file = resolveProviderFile(entry.fileName);
        if (!file) {
            std::cerr << "tapi: provider " << entry.fileName << " not found\n";
            continue;
        }
        std::string error;
        auto module = ProviderModule::load(*file, error);
        if (!module) {
            std::cerr << "tapi: cannot load " << file->string() << ": " << error << '\n';
            continue;
        }
        const ProviderEntryPoints& ep = module->entry();
        if (!ep.TSPI_providerEnumDevices || !ep.TSPI_providerInit) {
            std::cerr << "tapi: " << file->string() << " is not a telephony provider\n";
            continue;
        }
        auto provider = std::make_unique<Provider>();
        provider->permanentId = entry.permanentId;
        DWORD version = TAPI_VERSION2_0;
        if (ep.TSPI_lineNegotiateTSPIVersion &&
            ep.TSPI_lineNegotiateTSPIVersion(kInitializeNegotiation, TAPI_VERSION2_0,
                                             kHighestApiVersion, &version) != 0) {
            std::cerr << "tapi: " << file->string() << " speaks no version we know\n";
            continue;
        }
        provider->tspiVersion = version;

        DWORD numLines = 0;
        DWORD numPhones = 0;
        // The provider handle is the permanent ID, so a provider may name
        // itself by either in LINE_CREATE.
        const auto hProvider = reinterpret_cast<HPROVIDER>(std::uintptr_t{entry.permanentId});
        const LONG enumResult = ep.TSPI_providerEnumDevices(
            entry.permanentId, &numLines, &numPhones, hProvider, &Host::lineEventProc,
            &Host::phoneEventProc);
        if (enumResult != 0) {
            std::cerr << "tapi: " << file->string() << " found no devices (" << std::hex
                      << static_cast<DWORD>(enumResult) << std::dec << ")\n";
            continue;
        }
        {
            std::lock_guard lock(m_mutex);
            provider->lineBase = static_cast<DWORD>(m_lines.size());
            provider->numLines = numLines;
            provider->numPhones = numPhones;
            provider->phoneBase = static_cast<DWORD>(m_phones.size());
        }
        DWORD options = 0;
        const LONG initResult = ep.TSPI_providerInit(
            version, entry.permanentId, provider->lineBase, provider->phoneBase, numLines,
            numPhones, &Host::completionProc, &options);
        if (initResult != 0) {
            std::cerr << "tapi: " << file->string() << " failed to initialise\n";
            if (ep.TSPI_providerShutdown) ep.TSPI_providerShutdown(version, entry.permanentId);
            continue;
        }
        provider->module = std::move(module);
        std::lock_guard lock(m_mutex);
        for (DWORD i = 0; i < numLines; ++i) {
            DWORD lineVersion = version;
            if (ep.TSPI_lineNegotiateTSPIVersion) {
                DWORD negotiated = 0;
                if (ep.TSPI_lineNegotiateTSPIVersion(provider->lineBase + i, TAPI_VERSION2_0,
                                                     version, &negotiated) == 0) {
                    lineVersion = negotiated;
                }
            }
            m_lines.push_back(Device{provider.get(), lineVersion, false, 0});
        }
        for (DWORD i = 0; i < numPhones; ++i) {
            DWORD phoneVersion = version;
            if (ep.TSPI_phoneNegotiateTSPIVersion) {
                DWORD negotiated = 0;
                if (ep.TSPI_phoneNegotiateTSPIVersion(provider->phoneBase + i, TAPI_VERSION2_0,
                                                      version, &negotiated) == 0) {
                    phoneVersion = negotiated;
                }
            }
            m_phones.push_back(Device{provider.get(), phoneVersion, false, 0});
        }
        m_providers.push_back(std::move(provider));
    }
}

void Host::unloadProviders() {
    std::vector<std::unique_ptr<Provider>> providers;
    {
        std::lock_guard lock(m_mutex);
        providers.swap(m_providers);
        m_lines.clear();
        m_phones.clear();
    }
    for (auto& provider : providers) {
        const auto& ep = provider->module->entry();
        if (ep.TSPI_providerShutdown) {
            ep.TSPI_providerShutdown(provider->tspiVersion, provider->permanentId);
        }
    }
    // Modules close here, after every provider has shut down.
}

std::size_t Host::providerCount() {
    std::lock_guard lock(m_mutex);
    return m_providers.size();
}

void* Host::providerSymbol(DWORD permanentId, const char* name) {
    std::lock_guard lock(m_mutex);
    for (const auto& p : m_providers) {
        if (p->permanentId == permanentId) return p->module->symbol(name);
    }
    return nullptr;
}

// --- applications -------------------------------------------------------------

LONG Host::initialize(HLINEAPP* app, LINECALLBACK callback, DWORD* numDevs, DWORD* apiVersion,
                      LINEINITIALIZEEXPARAMS* params) {
    return initializeApp(AppKind::Line, app, callback, numDevs, apiVersion, params);
}

namespace {

// The errors the line and phone forms of the application functions answer.
struct AppErrors {
    LONG invalPointer;
    LONG incompatibleApiVersion;
    LONG structureTooSmall;
    LONG invalParam;
    LONG invalAppHandle;
    LONG operationFailed;
};
constexpr AppErrors kLineErrors{LINEERR_INVALPOINTER,      LINEERR_INCOMPATIBLEAPIVERSION,
                                LINEERR_STRUCTURETOOSMALL, LINEERR_INVALPARAM,
                                LINEERR_INVALAPPHANDLE,    LINEERR_OPERATIONFAILED};
constexpr AppErrors kPhoneErrors{PHONEERR_INVALPOINTER,      PHONEERR_INCOMPATIBLEAPIVERSION,
                                 PHONEERR_STRUCTURETOOSMALL, PHONEERR_INVALPARAM,
                                 PHONEERR_INVALAPPHANDLE,    PHONEERR_OPERATIONFAILED};
static_assert(PHONEINITIALIZEEXOPTION_USEHIDDENWINDOW == LINEINITIALIZEEXOPTION_USEHIDDENWINDOW &&
              PHONEINITIALIZEEXOPTION_USEEVENT == LINEINITIALIZEEXOPTION_USEEVENT);

}  // namespace

LONG Host::initializeApp(AppKind kind, DWORD* app, LINECALLBACK callback, DWORD* numDevs,
                         DWORD* apiVersion, LINEINITIALIZEEXPARAMS* params) {
    const AppErrors& errors = kind == AppKind::Line ? kLineErrors : kPhoneErrors;
    if (!app || !numDevs || !apiVersion) return errors.invalPointer;
    if (*apiVersion < TAPI_VERSION2_0) return errors.incompatibleApiVersion;
    MessageQueue::Delivery delivery = MessageQueue::Delivery::Callback;
    if (params) {
        if (params->dwTotalSize < sizeof(LINEINITIALIZEEXPARAMS)) return errors.structureTooSmall;
        switch (params->dwOptions) {
            case LINEINITIALIZEEXOPTION_USEHIDDENWINDOW:
                break;
            case LINEINITIALIZEEXOPTION_USEEVENT:
                delivery = MessageQueue::Delivery::Event;
                break;
            default:
                return errors.invalParam;  // no completion ports here
        }
    }
    if (delivery == MessageQueue::Delivery::Callback && !callback) return errors.invalPointer;

    std::lock_guard life(m_lifecycle);
    bool first;
    {
        std::lock_guard lock(m_mutex);
        first = m_apps.empty();
    }
    if (first) loadProviders();

    std::lock_guard lock(m_mutex);
    auto record = std::make_unique<App>();
    record->handle = m_nextApp++;
    record->kind = kind;
    record->queue = MessageQueue::create(delivery, callback, m_poster);
    if (params) {
        params->dwNeededSize = sizeof(LINEINITIALIZEEXPARAMS);
        params->dwUsedSize = sizeof(LINEINITIALIZEEXPARAMS);
        params->Handles.hEvent = record->queue->eventFd();
    }
    *app = record->handle;
    *numDevs = static_cast<DWORD>(kind == AppKind::Line ? m_lines.size() : m_phones.size());
    *apiVersion = std::min(*apiVersion, kHighestApiVersion);
    m_apps[record->handle] = std::move(record);
    return 0;
}

LONG Host::shutdown(HLINEAPP app) { return shutdownApp(AppKind::Line, app); }

LONG Host::shutdownApp(AppKind kind, DWORD app) {
    std::lock_guard life(m_lifecycle);
    std::vector<Closing> closings;
    std::vector<PhoneClosing> phoneClosings;
    std::shared_ptr<MessageQueue> queue;
    bool last;
    {
        std::lock_guard lock(m_mutex);
        App* record = findApp(kind, app);
        if (!record) return (kind == AppKind::Line ? kLineErrors : kPhoneErrors).invalAppHandle;
        std::vector<LineOpen*> opens;
        for (auto& [handle, open] : m_lineOpens) {
            if (open->app == record) opens.push_back(open.get());
        }
        for (LineOpen* open : opens) closings.push_back(detachLineOpen(open));
        std::vector<PhoneOpen*> phoneOpens;
        for (auto& [handle, open] : m_phoneOpens) {
            if (open->app == record) phoneOpens.push_back(open.get());
        }
        for (PhoneOpen* open : phoneOpens) phoneClosings.push_back(detachPhoneOpen(open));
        std::erase_if(m_requests, [&](const auto& r) { return r.second->app == app; });
        queue = record->queue;
        m_apps.erase(app);
        last = m_apps.empty();
    }
    for (const Closing& c : closings) finishClosing(c);
    for (const PhoneClosing& c : phoneClosings) finishPhoneClosing(c);
    queue->close();
    if (last) unloadProviders();
    return 0;
}

LONG Host::getMessage(HLINEAPP app, LINEMESSAGE* message, DWORD timeout) {
    return getAppMessage(AppKind::Line, app, message, timeout);
}

LONG Host::getAppMessage(AppKind kind, DWORD app, LINEMESSAGE* message, DWORD timeout) {
    const AppErrors& errors = kind == AppKind::Line ? kLineErrors : kPhoneErrors;
    if (!message) return errors.invalPointer;
    std::shared_ptr<MessageQueue> queue;
    {
        std::lock_guard lock(m_mutex);
        App* record = findApp(kind, app);
        if (!record) return errors.invalAppHandle;
        queue = record->queue;
    }
    if (queue->delivery() != MessageQueue::Delivery::Event) return errors.invalAppHandle;
    return queue->pop(*message, timeout) ? 0 : errors.operationFailed;
}

LONG Host::deviceEntry(HLINEAPP app, DWORD deviceId, const ProviderEntryPoints*& entry,
                       DWORD& tspiVersion) {
    std::lock_guard lock(m_mutex);
    if (!findApp(app)) return LINEERR_INVALAPPHANDLE;
    if (deviceId >= m_lines.size() || m_lines[deviceId].removed) return LINEERR_BADDEVICEID;
    entry = &m_lines[deviceId].provider->module->entry();
    tspiVersion = m_lines[deviceId].tspiVersion;
    return 0;
}

LONG Host::negotiateApiVersion(HLINEAPP app, DWORD deviceId, DWORD low, DWORD high,
                               DWORD* version, LINEEXTENSIONID* extensionId) {
    if (!version || !extensionId) return LINEERR_INVALPOINTER;
    const ProviderEntryPoints* ep;
    DWORD tspiVersion;
    if (const LONG error = deviceEntry(app, deviceId, ep, tspiVersion)) return error;
    if (low > high || high < kLowestApiVersion || low > kHighestApiVersion) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }
    *version = std::min(high, kHighestApiVersion);
    *extensionId = LINEEXTENSIONID{};
    if (ep->TSPI_lineGetExtensionID) ep->TSPI_lineGetExtensionID(deviceId, tspiVersion, extensionId);
    return 0;
}

LONG Host::negotiateExtVersion(HLINEAPP app, DWORD deviceId, DWORD /*apiVersion*/, DWORD low,
                               DWORD high, DWORD* extVersion) {
    if (!extVersion) return LINEERR_INVALPOINTER;
    const ProviderEntryPoints* ep;
    DWORD tspiVersion;
    if (const LONG error = deviceEntry(app, deviceId, ep, tspiVersion)) return error;
    if (!ep->TSPI_lineNegotiateExtVersion) return LINEERR_OPERATIONUNAVAIL;
    return ep->TSPI_lineNegotiateExtVersion(deviceId, tspiVersion, low, high, extVersion);
}

LONG Host::getDevCaps(HLINEAPP app, DWORD deviceId, DWORD /*apiVersion*/, DWORD extVersion,
                      LINEDEVCAPS* caps) {
    if (!caps) return LINEERR_INVALPOINTER;
    const ProviderEntryPoints* ep;
    DWORD tspiVersion;
    if (const LONG error = deviceEntry(app, deviceId, ep, tspiVersion)) return error;
    if (!ep->TSPI_lineGetDevCaps) return LINEERR_OPERATIONUNAVAIL;
    return ep->TSPI_lineGetDevCaps(deviceId, tspiVersion, extVersion, caps);
}

LONG Host::getAddressCaps(HLINEAPP app, DWORD deviceId, DWORD addressId, DWORD /*apiVersion*/,
                          DWORD extVersion, LINEADDRESSCAPS* caps) {
    if (!caps) return LINEERR_INVALPOINTER;
    if (caps->dwTotalSize < sizeof(LINEADDRESSCAPS)) return LINEERR_STRUCTURETOOSMALL;
    const ProviderEntryPoints* ep;
    DWORD tspiVersion;
    if (const LONG error = deviceEntry(app, deviceId, ep, tspiVersion)) return error;
    if (!ep->TSPI_lineGetAddressCaps) return LINEERR_OPERATIONUNAVAIL;
    return ep->TSPI_lineGetAddressCaps(deviceId, addressId, tspiVersion, extVersion, caps);
}

// --- lines --------------------------------------------------------------------

LONG Host::open(HLINEAPP app, DWORD deviceId, HLINE* line, DWORD apiVersion, DWORD /*extVersion*/,
                DWORD_PTR callbackInstance, DWORD privileges, DWORD /*mediaModes*/,
                const LINECALLPARAMS* /*params*/) {
    if (!line) return LINEERR_INVALPOINTER;
    constexpr DWORD kKnownPrivileges =
        LINECALLPRIVILEGE_NONE | LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
    if (privileges == 0 || (privileges & ~kKnownPrivileges) ||
        ((privileges & LINECALLPRIVILEGE_NONE) && privileges != LINECALLPRIVILEGE_NONE)) {
        return LINEERR_INVALPRIVSELECT;
    }

    std::unique_lock lock(m_mutex);
    App* record = findApp(app);
    if (!record) return LINEERR_INVALAPPHANDLE;
    if (deviceId >= m_lines.size() || m_lines[deviceId].removed) return LINEERR_BADDEVICEID;
    if (apiVersion < kLowestApiVersion || apiVersion > kHighestApiVersion) {
        return LINEERR_INCOMPATIBLEAPIVERSION;
    }

    // Another application may be opening the same device right now; the
    // provider opens each device once.
    m_openSettled.wait(lock, [&] {
        const auto token = m_lines[deviceId].openDevice;
        return token == 0 || !m_openDevices.at(token)->opening;
    });
    record = findApp(app);
    if (!record) return LINEERR_INVALAPPHANDLE;

    OpenDevice* device = nullptr;
    if (const auto token = m_lines[deviceId].openDevice) {
        device = m_openDevices.at(token).get();
    } else {
        Device& dev = m_lines[deviceId];
        auto fresh = std::make_unique<OpenDevice>();
        fresh->id = m_nextToken++;
        fresh->deviceId = deviceId;
        fresh->provider = dev.provider;
        device = fresh.get();
        dev.openDevice = fresh->id;
        m_openDevices[fresh->id] = std::move(fresh);

        const ProviderEntryPoints& ep = dev.provider->module->entry();
        const DWORD tspiVersion = dev.tspiVersion;
        const auto htLine = tokenTo<HTAPILINE__>(device->id);
        lock.unlock();
        HDRVLINE hdLine = nullptr;
        const LONG result = ep.TSPI_lineOpen
                                ? ep.TSPI_lineOpen(deviceId, htLine, &hdLine, tspiVersion,
                                                   &Host::lineEventProc)
                                : LINEERR_OPERATIONUNAVAIL;
        lock.lock();
        device->opening = false;
        m_openSettled.notify_all();
        if (result != 0) {
            forgetOpenDevice(device);
            return result;
        }
        device->hdLine = hdLine;
        record = findApp(app);
        if (!record) {
            // The application shut down while the provider was opening.
            Closing closing{&ep, hdLine, {}};
            forgetOpenDevice(device);
            lock.unlock();
            finishClosing(closing);
            return LINEERR_INVALAPPHANDLE;
        }
    }

    auto open = std::make_unique<LineOpen>();
    open->handle = m_nextLine++;
    open->app = record;
    open->device = device;
    open->instance = callbackInstance;
    open->apiVersion = apiVersion;
    open->privileges = privileges;
    device->opens.push_back(open.get());
    *line = open->handle;
    m_lineOpens[open->handle] = std::move(open);
    return 0;
}

LONG Host::close(HLINE line) {
    Closing closing;
    {
        std::lock_guard lock(m_mutex);
        LineOpen* open = findLine(line);
        if (!open) return LINEERR_INVALLINEHANDLE;
        closing = detachLineOpen(open);
    }
    finishClosing(closing);
    return 0;
}

Host::Closing Host::detachLineOpen(LineOpen* open) {
    Closing closing;
    OpenDevice* device = open->device;
    // The application's handles of calls on this line go with it.
    for (auto& [token, call] : m_calls) {
        std::erase_if(call->refs, [&](const Call::AppRef& ref) {
            if (ref.open != open) return false;
            m_appCalls.erase(ref.handle);
            return true;
        });
    }
    std::erase(device->opens, open);
    m_lineOpens.erase(open->handle);
    if (device->opens.empty()) {
        closing.entry = &device->provider->module->entry();
        closing.hdLine = device->hdLine;
        for (auto& [token, call] : m_calls) {
            if (call->device == device && call->hdCall) closing.calls.push_back(call->hdCall);
        }
        forgetOpenDevice(device);
    } else {
        // The others may want fewer status messages now.
        const ProviderEntryPoints* entry = nullptr;
        DWORD lineStates = 0;
        DWORD addressStates = 0;
        updateStatusMessages(*device, entry, lineStates, addressStates);
    }
    return closing;
}

void Host::finishClosing(const Closing& closing) {
    if (!closing.entry || !closing.hdLine) return;
    if (closing.entry->TSPI_lineCloseCall) {
        for (HDRVCALL call : closing.calls) closing.entry->TSPI_lineCloseCall(call);
    }
    if (closing.entry->TSPI_lineClose) closing.entry->TSPI_lineClose(closing.hdLine);
}

void Host::forgetOpenDevice(OpenDevice* device) {
    std::erase_if(m_calls, [&](const auto& entry) {
        if (entry.second->device != device) return false;
        for (const auto& ref : entry.second->refs) m_appCalls.erase(ref.handle);
        return true;
    });
    if (device->deviceId < m_lines.size() && m_lines[device->deviceId].openDevice == device->id) {
        m_lines[device->deviceId].openDevice = 0;
    }
    m_openDevices.erase(device->id);
    m_openSettled.notify_all();
}

void Host::updateStatusMessages(OpenDevice& device, const ProviderEntryPoints*& entry,
                                DWORD& lineStates, DWORD& addressStates) {
    lineStates = 0;
    addressStates = 0;
    for (const LineOpen* open : device.opens) {
        lineStates |= open->lineStates;
        addressStates |= open->addressStates;
    }
    entry = &device.provider->module->entry();
}

LONG Host::setStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) {
    const ProviderEntryPoints* entry = nullptr;
    HDRVLINE hdLine;
    DWORD unionLine;
    DWORD unionAddress;
    {
        std::lock_guard lock(m_mutex);
        LineOpen* open = findLine(line);
        if (!open) return LINEERR_INVALLINEHANDLE;
        open->lineStates = lineStates;
        open->addressStates = addressStates;
        updateStatusMessages(*open->device, entry, unionLine, unionAddress);
        hdLine = open->device->hdLine;
    }
    if (!entry->TSPI_lineSetStatusMessages) return 0;
    return entry->TSPI_lineSetStatusMessages(hdLine, unionLine, unionAddress);
}

LONG Host::getStatusMessages(HLINE line, DWORD* lineStates, DWORD* addressStates) {
    if (!lineStates || !addressStates) return LINEERR_INVALPOINTER;
    std::lock_guard lock(m_mutex);
    LineOpen* open = findLine(line);
    if (!open) return LINEERR_INVALLINEHANDLE;
    *lineStates = open->lineStates;
    *addressStates = open->addressStates;
    return 0;
}

// --- lookups --------------------------------------------------------------------

Host::App* Host::findApp(HLINEAPP app) { return findApp(AppKind::Line, app); }

Host::App* Host::findApp(AppKind kind, DWORD app) {
    App* record = findAnyApp(app);
    return record && record->kind == kind ? record : nullptr;
}

Host::App* Host::findAnyApp(DWORD app) {
    auto it = m_apps.find(app);
    return it == m_apps.end() ? nullptr : it->second.get();
}

Host::LineOpen* Host::findLine(HLINE line) {
    auto it = m_lineOpens.find(line);
    return it == m_lineOpens.end() ? nullptr : it->second.get();
}

std::optional<Host::LineTarget> Host::lineTarget(HLINE line) {
    std::lock_guard lock(m_mutex);
    LineOpen* open = findLine(line);
    if (!open) return std::nullopt;
    const Device& dev = m_lines[open->device->deviceId];
    return LineTarget{&open->device->provider->module->entry(),
                      open->device->hdLine,
                      open->device->deviceId,
                      dev.tspiVersion,
                      open->app->handle,
                      static_cast<DWORD>(open->device->opens.size())};
}

std::optional<Host::CallTarget> Host::callTarget(HCALL call) {
    std::lock_guard lock(m_mutex);
    auto it = m_appCalls.find(call);
    if (it == m_appCalls.end()) return std::nullopt;
    Call* record = it->second;
    std::optional<CallTarget> target;
    DWORD owners = 0;
    DWORD monitors = 0;
    for (const auto& ref : record->refs) {
        ++(ref.privilege == LINECALLPRIVILEGE_OWNER ? owners : monitors);
        if (ref.handle == call) {
            target = CallTarget{&record->device->provider->module->entry(),
                                record->hdCall,
                                ref.open->handle,
                                ref.open->app->handle,
                                record->device->hdLine,
                                record->device->deviceId,
                                ref.privilege,
                                0,
                                0};
        }
    }
    if (target) {
        target->owners = owners;
        target->monitors = monitors;
    }
    return target;
}

}  // namespace velkor::tapi
