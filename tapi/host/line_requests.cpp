#include "tapi/host/line_requests.h"

#include <memory>

namespace velkor::tapi {

LONG findLine(HLINE line, Place& at) {
    const auto target = Host::instance().lineTarget(line);
    if (!target) return LINEERR_INVALLINEHANDLE;
    at = Place{target->entry,          target->app, line, target->hdLine, nullptr, target->deviceId,
               LINECALLPRIVILEGE_OWNER};
    return 0;
}

LONG findCall(HCALL call, Place& at, LONG invalid) {
    const auto target = Host::instance().callTarget(call);
    if (!target) return invalid;
    at = Place{target->entry,  target->app,      target->line,     target->hdLine,
               target->hdCall, target->deviceId, target->privilege};
    return 0;
}

LONG ownedCall(HCALL call, Place& at, LONG invalid) {
    if (const LONG error = findCall(call, at, invalid)) return error;
    return at.privilege == LINECALLPRIVILEGE_OWNER ? 0 : LINEERR_NOTOWNER;
}

LONG relatedCall(const Place& first, HCALL call, Place& at, LONG invalid) {
    if (const LONG error = ownedCall(call, at, invalid)) return error;
    return at.app == first.app && at.deviceId == first.deviceId ? 0 : invalid;
}

LONG checkCallParams(const LINECALLPARAMS* params) {
    if (!params) return 0;
    if (params->dwTotalSize < sizeof(LINECALLPARAMS)) return LINEERR_STRUCTURETOOSMALL;
    return fieldsInside(params, lineCallParamsLayout()) ? 0 : LINEERR_INVALCALLPARAMS;
}

LONG startCreating(const Place& at, std::initializer_list<LPHCALL> outs,
                   const StartCreating& start) {
    Host& host = Host::instance();
    for (LPHCALL out : outs) {
        if (!out) return LINEERR_INVALPOINTER;
    }
    auto slots = std::make_shared<std::vector<NewCallSlot>>();
    const auto freeAll = [&host, slots] {
        for (const NewCallSlot& slot : *slots) {
            host.dropCall(slot.htCall);
            *slot.out = 0;
        }
    };
    for (LPHCALL out : outs) {
        const Host::NewCall call = host.createCall(at.line);
        if (!call.htCall) {
            freeAll();
            return LINEERR_INVALLINEHANDLE;  // closed meanwhile
        }
        slots->push_back(NewCallSlot{call.htCall, nullptr, call.hCall, out});
        *out = call.hCall;
    }
    // The provider's handles are there once its entry point returns; the
    // completion may come first, from another thread, and settles them too.
    const auto settle = [&host](const std::vector<NewCallSlot>& made, bool succeeded) {
        for (const NewCallSlot& slot : made) {
            if (succeeded && slot.hdCall) {
                host.setCallDriverHandle(slot.htCall, slot.hdCall);
            } else {
                host.dropCall(slot.htCall);
            }
        }
    };
    const LONG result = host.runAsync(
        at.app, [&](DRV_REQUESTID id) { return start(id, slots->data()); },
        [slots, settle](LONG result) { settle(*slots, result == 0); });
    if (result < 0) {
        freeAll();
        return result;
    }
    settle(*slots, true);
    for (const NewCallSlot& slot : *slots) {
        if (!slot.hdCall) *slot.out = 0;
    }
    return result;
}

void finishNarrowed(void* out, std::span<const std::uint8_t> wide, DWORD needed,
                    const TextLayout& layout) {
    narrowStructure(wide, layout, out);
    // Fields the provider left out are not counted by the conversion; the
    // provider's own (wide) figure is then the better guess.
    auto* bytes = static_cast<std::uint8_t*>(out);
    DWORD narrowNeeded;
    std::memcpy(&narrowNeeded, bytes + 4, sizeof narrowNeeded);
    if (needed > wide.size() && needed > narrowNeeded) std::memcpy(bytes + 4, &needed, 4);
}

WideCallParams::WideCallParams(const LINECALLPARAMS* params) {
    m_null = !params;
    if (!params) return;
    if (params->dwTotalSize < sizeof(LINECALLPARAMS)) {
        m_error = LINEERR_STRUCTURETOOSMALL;
        return;
    }
    auto wide = widenStructure(params, lineCallParamsLayout());
    if (!wide) {
        m_error = LINEERR_INVALCALLPARAMS;
        return;
    }
    m_bytes = std::move(*wide);
}

WideForwardList::WideForwardList(const LINEFORWARDLIST* list) {
    m_null = !list;
    if (!list) return;
    auto wide = widenForwardList(*list);
    if (!wide) {
        m_error = LINEERR_INVALPARAM;
        return;
    }
    m_bytes = std::move(*wide);
}

}  // namespace velkor::tapi
