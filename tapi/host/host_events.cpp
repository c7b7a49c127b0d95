// What providers report, turned into messages for the applications.

#include <array>

#include "tapi/host/host.h"
#include "tapi/host/host_tables.h"

namespace velkor::tapi {

namespace {

enum class Target {
    Line,  // hDevice = the application's HLINE
    Call,  // hDevice = the application's HCALL
};

// Provider messages that pass to the applications as they are, or under
// another number. LINE_NEWCALL, LINE_CLOSE and the status messages, which
// need more than a lookup, are handled on their own.
struct Route {
    DWORD fromProvider;
    DWORD toApplication;
    Target target;
};

constexpr std::array<Route, 11> kRoutes{{
    {LINE_CALLINFO, LINE_CALLINFO, Target::Call},
    {LINE_CALLSTATE, LINE_CALLSTATE, Target::Call},
    {LINE_DEVSPECIFIC, LINE_DEVSPECIFIC, Target::Line},
    {LINE_DEVSPECIFICFEATURE, LINE_DEVSPECIFICFEATURE, Target::Line},
    {LINE_CALLDEVSPECIFIC, LINE_DEVSPECIFIC, Target::Call},
    {LINE_CALLDEVSPECIFICFEATURE, LINE_DEVSPECIFICFEATURE, Target::Call},
    {LINE_GATHERDIGITS, LINE_GATHERDIGITS, Target::Call},
    {LINE_GENERATE, LINE_GENERATE, Target::Call},
    {LINE_MONITORDIGITS, LINE_MONITORDIGITS, Target::Call},
    {LINE_MONITORMEDIA, LINE_MONITORMEDIA, Target::Call},
    {LINE_MONITORTONE, LINE_MONITORTONE, Target::Call},
}};

const Route* findRoute(DWORD message) {
    for (const Route& r : kRoutes) {
        if (r.fromProvider == message) return &r;
    }
    return nullptr;
}

DWORD callPrivilege(DWORD linePrivileges) {
    return (linePrivileges & LINECALLPRIVILEGE_OWNER) ? LINECALLPRIVILEGE_OWNER
                                                      : LINECALLPRIVILEGE_MONITOR;
}

}  // namespace

void Host::lineEventProc(HTAPILINE htLine, HTAPICALL htCall, DWORD msg, DWORD_PTR p1,
                         DWORD_PTR p2, DWORD_PTR p3) {
    Host& host = instance();
    if (!htLine && !htCall) {
        host.handleLineCreate(msg, p1, p2);
        return;
    }
    host.handleLineEvent(reinterpret_cast<std::uintptr_t>(htLine),
                         reinterpret_cast<std::uintptr_t>(htCall), msg, p1, p2, p3);
}

void Host::phoneEventProc(HTAPIPHONE htPhone, DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
                          DWORD_PTR p3) {
    // PHONE_CREATE and PHONE_REMOVE (no phone) are not raised by providers here.
    if (!htPhone) return;
    instance().handlePhoneEvent(reinterpret_cast<std::uintptr_t>(htPhone), msg, p1, p2, p3);
}

void Host::completionProc(DRV_REQUESTID requestId, LONG result) {
    instance().completeRequest(requestId, result);
}

void Host::sendToApp(App& app, DWORD hDevice, DWORD msg, DWORD_PTR instance, DWORD_PTR p1,
                     DWORD_PTR p2, DWORD_PTR p3) {
    app.queue->push(LINEMESSAGE{hDevice, msg, instance, p1, p2, p3});
}

void Host::sendToLine(const LineOpen& open, DWORD hDevice, DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
                      DWORD_PTR p3) {
    sendToApp(*open.app, hDevice, msg, open.instance, p1, p2, p3);
}

HCALL Host::addAppCall(Call& call, LineOpen& open, bool announced, DWORD privilege) {
    const HCALL handle = m_nextCall++;
    call.refs.push_back(Call::AppRef{handle, &open, announced, privilege});
    m_appCalls[handle] = &call;
    return handle;
}

void Host::handleLineEvent(std::uintptr_t deviceToken, std::uintptr_t callToken, DWORD msg,
                           DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) {
    std::lock_guard lock(m_mutex);
    auto deviceIt = m_openDevices.find(deviceToken);
    OpenDevice* device = deviceIt == m_openDevices.end() ? nullptr : deviceIt->second.get();
    Call* call = nullptr;
    if (callToken) {
        auto callIt = m_calls.find(callToken);
        if (callIt != m_calls.end()) call = callIt->second.get();
    }

    switch (msg) {
        case LINE_NEWCALL: {
            // p1 = the provider's call, p2 = where the layer's handle goes.
            auto* answer = reinterpret_cast<HTAPICALL*>(p2);
            if (!answer) return;
            *answer = nullptr;  // refused unless a line is open
            if (!device || device->opening) return;
            auto record = std::make_unique<Call>();
            record->id = m_nextToken++;
            record->device = device;
            record->hdCall = reinterpret_cast<HDRVCALL>(p1);
            for (LineOpen* open : device->opens) {
                if (!(open->privileges & LINECALLPRIVILEGE_NONE)) {
                    addAppCall(*record, *open, false, callPrivilege(open->privileges));
                }
            }
            *answer = reinterpret_cast<HTAPICALL>(record->id);
            m_calls[record->id] = std::move(record);
            return;
        }
        case LINE_CLOSE: {
            if (!device) return;
            for (LineOpen* open : device->opens) {
                sendToLine(*open, open->handle, LINE_CLOSE, 0, 0, 0);
                m_lineOpens.erase(open->handle);
            }
            device->opens.clear();
            forgetOpenDevice(device);  // the provider has closed it already
            return;
        }
        case LINE_ADDRESSSTATE:
            if (!device) return;
            for (LineOpen* open : device->opens) {
                if (open->addressStates & p2) sendToLine(*open, open->handle, msg, p1, p2, p3);
            }
            return;
        case LINE_LINEDEVSTATE:
            if (!device) return;
            for (LineOpen* open : device->opens) {
                if ((open->lineStates & p1) || p1 == LINEDEVSTATE_REINIT) {
                    sendToLine(*open, open->handle, msg, p1, p2, p3);
                }
            }
            return;
        default:
            break;
    }

    const Route* route = findRoute(msg);
    if (!route) return;  // nothing an application knows
    if (route->target == Target::Line) {
        if (!device) return;
        for (LineOpen* open : device->opens) {
            sendToLine(*open, open->handle, route->toApplication, p1, p2, p3);
        }
        return;
    }
    if (!call) return;
    for (auto& ref : call->refs) {
        DWORD_PTR third = p3;
        if (route->toApplication == LINE_CALLSTATE) {
            // An application learns of a call from its first state, with
            // the privilege it has on it.
            third = ref.announced ? 0 : ref.privilege;
            ref.announced = true;
        }
        sendToLine(*ref.open, ref.handle, route->toApplication, p1, p2, third);
    }
}

void Host::handleLineCreate(DWORD msg, DWORD_PTR p1, DWORD_PTR p2) {
    if (msg == LINE_CREATE) {
        // p1 = the provider (its handle is its permanent ID), p2 = its
        // temporary device ID.
        Provider* provider = nullptr;
        DWORD deviceId;
        {
            std::lock_guard lock(m_mutex);
            for (const auto& p : m_providers) {
                if (p->permanentId == p1) provider = p.get();
            }
            if (!provider) return;
            deviceId = static_cast<DWORD>(m_lines.size());
            m_lines.push_back(Device{provider, provider->tspiVersion, true, 0});
        }
        const auto& ep = provider->module->entry();
        const LONG result = ep.TSPI_providerCreateLineDevice
                                ? ep.TSPI_providerCreateLineDevice(p2, deviceId)
                                : LINEERR_OPERATIONUNAVAIL;
        std::lock_guard lock(m_mutex);
        if (result != 0 || deviceId >= m_lines.size()) return;
        m_lines[deviceId].removed = false;
        for (auto& [handle, app] : m_apps) {
            if (app->kind == AppKind::Line) sendToApp(*app, 0, LINE_CREATE, 0, deviceId, 0, 0);
        }
        return;
    }
    if (msg == LINE_REMOVE) {
        std::lock_guard lock(m_mutex);
        if (p1 >= m_lines.size() || m_lines[p1].removed) return;
        m_lines[p1].removed = true;
        for (auto& [handle, app] : m_apps) {
            if (app->kind == AppKind::Line) sendToApp(*app, 0, LINE_REMOVE, 0, p1, 0, 0);
        }
    }
}

// --- asynchronous requests ------------------------------------------------------

LONG Host::runAsync(HLINEAPP app, const std::function<LONG(DRV_REQUESTID)>& start,
                    std::function<void(LONG)> done) {
    DRV_REQUESTID id;
    {
        std::lock_guard lock(m_mutex);
        if (!findAnyApp(app)) return LINEERR_INVALAPPHANDLE;
        id = m_nextRequest;
        // Request IDs are positive LONGs.
        m_nextRequest = m_nextRequest >= 0x7FFFFFFF ? 1 : m_nextRequest + 1;
        m_requests[id] = std::make_unique<Request>(Request{app, std::move(done)});
    }
    const LONG result = start(id);
    if (result < 0) {
        std::lock_guard lock(m_mutex);
        m_requests.erase(id);
        return result;
    }
    if (result == 0) {
        // Done at once: report it as if the provider had completed it.
        completeRequest(id, 0);
    }
    return static_cast<LONG>(id);
}

void Host::completeRequest(DRV_REQUESTID id, LONG result) {
    std::unique_ptr<Request> request;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_requests.find(id);
        if (it == m_requests.end()) return;  // unknown, or its application is gone
        request = std::move(it->second);
        m_requests.erase(it);
    }
    if (request->done) request->done(result);
    std::lock_guard lock(m_mutex);
    if (App* app = findAnyApp(request->app)) {
        const DWORD reply = app->kind == AppKind::Phone ? PHONE_REPLY : LINE_REPLY;
        sendToApp(*app, 0, reply, 0, id, static_cast<DWORD_PTR>(static_cast<DWORD>(result)), 0);
    }
}

// --- calls an application makes -----------------------------------------------------

Host::NewCall Host::createCall(HLINE line) {
    std::lock_guard lock(m_mutex);
    LineOpen* open = findLine(line);
    if (!open) return {nullptr, 0};
    auto record = std::make_unique<Call>();
    record->id = m_nextToken++;
    record->device = open->device;
    const HCALL handle = addAppCall(*record, *open, true, LINECALLPRIVILEGE_OWNER);
    for (LineOpen* other : open->device->opens) {
        if (other != open && !(other->privileges & LINECALLPRIVILEGE_NONE)) {
            addAppCall(*record, *other, false, callPrivilege(other->privileges));
        }
    }
    const auto htCall = reinterpret_cast<HTAPICALL>(record->id);
    m_calls[record->id] = std::move(record);
    return {htCall, handle};
}

void Host::setCallDriverHandle(HTAPICALL call, HDRVCALL hdCall) {
    std::lock_guard lock(m_mutex);
    auto it = m_calls.find(reinterpret_cast<std::uintptr_t>(call));
    if (it != m_calls.end()) it->second->hdCall = hdCall;
}

void Host::dropCall(HTAPICALL call) {
    std::lock_guard lock(m_mutex);
    auto it = m_calls.find(reinterpret_cast<std::uintptr_t>(call));
    if (it == m_calls.end()) return;
    for (const auto& ref : it->second->refs) m_appCalls.erase(ref.handle);
    m_calls.erase(it);
}

LONG Host::deallocateCall(HCALL call) {
    const ProviderEntryPoints* entry = nullptr;
    HDRVCALL hdCall = nullptr;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_appCalls.find(call);
        if (it == m_appCalls.end()) return LINEERR_INVALCALLHANDLE;
        Call* record = it->second;
        std::erase_if(record->refs, [&](const Call::AppRef& ref) { return ref.handle == call; });
        m_appCalls.erase(it);
        if (!record->refs.empty()) return 0;
        // The last application let go: the provider frees its call.
        entry = &record->device->provider->module->entry();
        hdCall = record->hdCall;
        m_calls.erase(record->id);
    }
    if (hdCall && entry->TSPI_lineCloseCall) entry->TSPI_lineCloseCall(hdCall);
    return 0;
}

}  // namespace velkor::tapi
