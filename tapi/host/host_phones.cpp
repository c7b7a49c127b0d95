// The host's side of phone devices: phone applications, the phone device
// numbers, opening and closing phones, and the providers' phone events.
// Phones work as lines do (host.cpp): one open at the provider shared by the
// applications that opened the device, and tables never locked while a
// provider or an application is called.

#include <cstring>

#include "tapi/host/host.h"
#include "tapi/host/host_tables.h"

namespace velkor::tapi {

namespace {

constexpr DWORD kLowestApiVersion = TAPI_VERSION1_4;
constexpr DWORD kHighestApiVersion = TAPI_CURRENT_VERSION;

template <typename T>
T* tokenTo(std::uintptr_t token) {
    return reinterpret_cast<T*>(token);
}

static_assert(sizeof(PHONEINITIALIZEEXPARAMS) == sizeof(LINEINITIALIZEEXPARAMS));
static_assert(sizeof(PHONEMESSAGE) == sizeof(LINEMESSAGE));

}  // namespace

// --- applications ----------------------------------------------------------------

LONG Host::phoneInitialize(HPHONEAPP* app, PHONECALLBACK callback, DWORD* numDevs,
                           DWORD* apiVersion, PHONEINITIALIZEEXPARAMS* params) {
    // The parameter block has the line form's layout field for field.
    LINEINITIALIZEEXPARAMS lineParams{};
    if (params) std::memcpy(&lineParams, params, sizeof lineParams);
    const LONG result = initializeApp(AppKind::Phone, app, callback, numDevs, apiVersion,
                                      params ? &lineParams : nullptr);
    if (params && result == 0) std::memcpy(params, &lineParams, sizeof lineParams);
    return result;
}

LONG Host::phoneShutdown(HPHONEAPP app) { return shutdownApp(AppKind::Phone, app); }

LONG Host::phoneGetMessage(HPHONEAPP app, PHONEMESSAGE* message, DWORD timeout) {
    if (!message) return PHONEERR_INVALPOINTER;
    LINEMESSAGE taken{};
    const LONG result = getAppMessage(AppKind::Phone, app, &taken, timeout);
    if (result == 0) {
        *message = PHONEMESSAGE{taken.hDevice,  taken.dwMessageID, taken.dwCallbackInstance,
                                taken.dwParam1, taken.dwParam2,    taken.dwParam3};
    }
    return result;
}

LONG Host::phoneNegotiateApiVersion(HPHONEAPP app, DWORD deviceId, DWORD low, DWORD high,
                                    DWORD* version, PHONEEXTENSIONID* extensionId) {
    if (!version || !extensionId) return PHONEERR_INVALPOINTER;
    const ProviderEntryPoints* ep;
    DWORD tspiVersion;
    {
        std::lock_guard lock(m_mutex);
        if (!findApp(AppKind::Phone, app)) return PHONEERR_INVALAPPHANDLE;
        if (deviceId >= m_phones.size()) return PHONEERR_BADDEVICEID;
        ep = &m_phones[deviceId].provider->module->entry();
        tspiVersion = m_phones[deviceId].tspiVersion;
    }
    if (low > high || high < kLowestApiVersion || low > kHighestApiVersion) {
        return PHONEERR_INCOMPATIBLEAPIVERSION;
    }
    *version = std::min(high, kHighestApiVersion);
    *extensionId = PHONEEXTENSIONID{};
    if (ep->TSPI_phoneGetExtensionID) ep->TSPI_phoneGetExtensionID(deviceId, tspiVersion, extensionId);
    return 0;
}

LONG Host::phoneNegotiateExtVersion(HPHONEAPP app, DWORD deviceId, DWORD /*apiVersion*/,
                                    DWORD low, DWORD high, DWORD* extVersion) {
    if (!extVersion) return PHONEERR_INVALPOINTER;
    const ProviderEntryPoints* ep;
    DWORD tspiVersion;
    {
        std::lock_guard lock(m_mutex);
        if (!findApp(AppKind::Phone, app)) return PHONEERR_INVALAPPHANDLE;
        if (deviceId >= m_phones.size()) return PHONEERR_BADDEVICEID;
        ep = &m_phones[deviceId].provider->module->entry();
        tspiVersion = m_phones[deviceId].tspiVersion;
    }
    if (!ep->TSPI_phoneNegotiateExtVersion) return PHONEERR_OPERATIONUNAVAIL;
    return ep->TSPI_phoneNegotiateExtVersion(deviceId, tspiVersion, low, high, extVersion);
}

LONG Host::phoneGetDevCaps(HPHONEAPP app, DWORD deviceId, DWORD /*apiVersion*/, DWORD extVersion,
                           PHONECAPS* caps) {
    if (!caps) return PHONEERR_INVALPOINTER;
    if (caps->dwTotalSize < sizeof(PHONECAPS)) return PHONEERR_STRUCTURETOOSMALL;
    const ProviderEntryPoints* ep;
    DWORD tspiVersion;
    {
        std::lock_guard lock(m_mutex);
        if (!findApp(AppKind::Phone, app)) return PHONEERR_INVALAPPHANDLE;
        if (deviceId >= m_phones.size()) return PHONEERR_BADDEVICEID;
        ep = &m_phones[deviceId].provider->module->entry();
        tspiVersion = m_phones[deviceId].tspiVersion;
    }
    if (!ep->TSPI_phoneGetDevCaps) return PHONEERR_OPERATIONUNAVAIL;
    return ep->TSPI_phoneGetDevCaps(deviceId, tspiVersion, extVersion, caps);
}

// --- phones ----------------------------------------------------------------------------

LONG Host::phoneOpen(HPHONEAPP app, DWORD deviceId, HPHONE* phone, DWORD apiVersion,
                     DWORD /*extVersion*/, DWORD_PTR callbackInstance, DWORD privilege) {
    if (!phone) return PHONEERR_INVALPOINTER;
    if (privilege != PHONEPRIVILEGE_MONITOR && privilege != PHONEPRIVILEGE_OWNER) {
        return PHONEERR_INVALPRIVILEGE;
    }
    std::unique_lock lock(m_mutex);
    if (!findApp(AppKind::Phone, app)) return PHONEERR_INVALAPPHANDLE;
    if (deviceId >= m_phones.size()) return PHONEERR_BADDEVICEID;
    if (apiVersion < kLowestApiVersion || apiVersion > kHighestApiVersion) {
        return PHONEERR_INCOMPATIBLEAPIVERSION;
    }
    // Another application may be opening the same phone right now.
    m_openSettled.wait(lock, [&] {
        const auto token = m_phones[deviceId].openDevice;
        return token == 0 || !m_openPhones.at(token)->opening;
    });
    App* record = findApp(AppKind::Phone, app);
    if (!record) return PHONEERR_INVALAPPHANDLE;

    OpenPhone* device = nullptr;
    if (const auto token = m_phones[deviceId].openDevice) {
        device = m_openPhones.at(token).get();
    } else {
        Device& dev = m_phones[deviceId];
        auto fresh = std::make_unique<OpenPhone>();
        fresh->id = m_nextToken++;
        fresh->deviceId = deviceId;
        fresh->provider = dev.provider;
        device = fresh.get();
        dev.openDevice = fresh->id;
        m_openPhones[fresh->id] = std::move(fresh);

        const ProviderEntryPoints& ep = dev.provider->module->entry();
        const DWORD tspiVersion = dev.tspiVersion;
        const auto htPhone = tokenTo<HTAPIPHONE__>(device->id);
        lock.unlock();
        HDRVPHONE hdPhone = nullptr;
        const LONG result = ep.TSPI_phoneOpen ? ep.TSPI_phoneOpen(deviceId, htPhone, &hdPhone,
                                                                  tspiVersion, &Host::phoneEventProc)
                                              : PHONEERR_OPERATIONUNAVAIL;
        lock.lock();
        device->opening = false;
        m_openSettled.notify_all();
        if (result != 0) {
            forgetOpenPhone(device);
            return result;
        }
        device->hdPhone = hdPhone;
        record = findApp(AppKind::Phone, app);
        if (!record) {
            // The application shut down while the provider was opening.
            const PhoneClosing closing{&ep, hdPhone};
            forgetOpenPhone(device);
            lock.unlock();
            finishPhoneClosing(closing);
            return PHONEERR_INVALAPPHANDLE;
        }
    }

    auto open = std::make_unique<PhoneOpen>();
    open->handle = m_nextPhone++;
    open->app = record;
    open->device = device;
    open->instance = callbackInstance;
    open->apiVersion = apiVersion;
    open->privilege = privilege;
    device->opens.push_back(open.get());
    *phone = open->handle;
    m_phoneOpens[open->handle] = std::move(open);
    return 0;
}

LONG Host::phoneClose(HPHONE phone) {
    PhoneClosing closing;
    {
        std::lock_guard lock(m_mutex);
        PhoneOpen* open = findPhone(phone);
        if (!open) return PHONEERR_INVALPHONEHANDLE;
        closing = detachPhoneOpen(open);
    }
    finishPhoneClosing(closing);
    return 0;
}

Host::PhoneClosing Host::detachPhoneOpen(PhoneOpen* open) {
    PhoneClosing closing;
    OpenPhone* device = open->device;
    std::erase(device->opens, open);
    m_phoneOpens.erase(open->handle);
    if (device->opens.empty()) {
        closing = PhoneClosing{&device->provider->module->entry(), device->hdPhone};
        forgetOpenPhone(device);
    }
    return closing;
}

void Host::finishPhoneClosing(const PhoneClosing& closing) {
    if (closing.entry && closing.hdPhone && closing.entry->TSPI_phoneClose) {
        closing.entry->TSPI_phoneClose(closing.hdPhone);
    }
}

void Host::forgetOpenPhone(OpenPhone* device) {
    if (device->deviceId < m_phones.size() && m_phones[device->deviceId].openDevice == device->id) {
        m_phones[device->deviceId].openDevice = 0;
    }
    m_openPhones.erase(device->id);
    m_openSettled.notify_all();
}

Host::PhoneOpen* Host::findPhone(HPHONE phone) {
    auto it = m_phoneOpens.find(phone);
    return it == m_phoneOpens.end() ? nullptr : it->second.get();
}

std::optional<Host::PhoneTarget> Host::phoneTarget(HPHONE phone) {
    std::lock_guard lock(m_mutex);
    PhoneOpen* open = findPhone(phone);
    if (!open) return std::nullopt;
    return PhoneTarget{&open->device->provider->module->entry(), open->device->hdPhone,
                       open->device->deviceId, open->app->handle};
}

// --- what providers report --------------------------------------------------------------

void Host::handlePhoneEvent(std::uintptr_t deviceToken, DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
                            DWORD_PTR p3) {
    std::lock_guard lock(m_mutex);
    auto it = m_openPhones.find(deviceToken);
    if (it == m_openPhones.end()) return;  // closed meanwhile
    OpenPhone* device = it->second.get();
    switch (msg) {
        case PHONE_CLOSE:
            for (PhoneOpen* open : device->opens) {
                sendToApp(*open->app, open->handle, PHONE_CLOSE, open->instance, 0, 0, 0);
                m_phoneOpens.erase(open->handle);
            }
            device->opens.clear();
            forgetOpenPhone(device);  // the provider has closed it already
            return;
        case PHONE_BUTTON:
        case PHONE_DEVSPECIFIC:
        case PHONE_STATE:
            for (PhoneOpen* open : device->opens) {
                sendToApp(*open->app, open->handle, msg, open->instance, p1, p2, p3);
            }
            return;
        default:
            return;  // nothing an application knows
    }
}

}  // namespace velkor::tapi
