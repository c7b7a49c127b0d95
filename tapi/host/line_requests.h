#pragma once

// What the application's line functions are built from: finding the
// provider behind a handle, the checks they share, the asynchronous
// requests (with the calls some of them create) and the conversions of the
// 8-bit forms. Private to the layer's sources.

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "tapi/host/host.h"
#include "tapi/host/text_conversion.h"

namespace velkor::tapi {

using Entry = ProviderEntryPoints;

// Where a request goes: the provider, the application's line, and the
// provider's handles of the line and, for a call, of the call.
struct Place {
    const ProviderEntryPoints* entry = nullptr;
    HLINEAPP app = 0;
    HLINE line = 0;
    HDRVLINE hdLine = nullptr;
    HDRVCALL hdCall = nullptr;
    DWORD deviceId = 0;
    DWORD privilege = 0;
};

// 0 and `at` filled, or the error to return. A handle the layer does not
// know never reaches a provider.
LONG findLine(HLINE line, Place& at);
LONG findCall(HCALL call, Place& at, LONG invalid = LINEERR_INVALCALLHANDLE);
// Call control needs the owner's privilege.
LONG ownedCall(HCALL call, Place& at, LONG invalid = LINEERR_INVALCALLHANDLE);
// The second call of a request (the held call of a swap, the consultation
// call of a transfer …): owned by the same application, on the same line
// device as the first.
LONG relatedCall(const Place& first, HCALL call, Place& at, LONG invalid);

// A block of bytes an application passes with its size.
inline LONG checkBlock(const void* data, DWORD size) {
    return size && !data ? LINEERR_INVALPOINTER : 0;
}
// LINECALLPARAMS of a wide caller: absent, or complete with its fields
// inside dwTotalSize.
LONG checkCallParams(const LINECALLPARAMS* params);

// Runs the entry point `Member` of `at`'s provider as an asynchronous
// request; `call(fn, id)` calls it with the request ID.
template <auto Member, typename Call>
LONG runRequest(const Place& at, Call call, std::function<void(LONG)> done = {}) {
    const auto fn = at.entry->*Member;
    if (!fn) return LINEERR_OPERATIONUNAVAIL;
    return Host::instance().runAsync(
        at.app, [&](DRV_REQUESTID id) { return call(fn, id); }, std::move(done));
}

// An owner's request on one call: Member(id, hdCall, args...).
template <auto Member, typename... Args>
LONG onCall(HCALL call, const Args&... args) {
    Place at;
    if (const LONG error = ownedCall(call, at)) return error;
    return runRequest<Member>(
        at, [&](auto fn, DRV_REQUESTID id) { return fn(id, at.hdCall, args...); });
}

// A request on two calls: Member(id, hdFirst, hdSecond, args...).
template <auto Member, typename... Args>
LONG onCalls(HCALL first, LONG invalidFirst, HCALL second, LONG invalidSecond,
             const Args&... args) {
    Place a;
    Place b;
    if (const LONG error = ownedCall(first, a, invalidFirst)) return error;
    if (const LONG error = relatedCall(a, second, b, invalidSecond)) return error;
    return runRequest<Member>(
        a, [&](auto fn, DRV_REQUESTID id) { return fn(id, a.hdCall, b.hdCall, args...); });
}

// A request on an open line: Member(id, hdLine, args...).
template <auto Member, typename... Args>
LONG onLine(HLINE line, const Args&... args) {
    Place at;
    if (const LONG error = findLine(line, at)) return error;
    return runRequest<Member>(
        at, [&](auto fn, DRV_REQUESTID id) { return fn(id, at.hdLine, args...); });
}

// One call a request creates: the layer's handle the provider gets, where
// the provider puts its own, and the application's handle.
struct NewCallSlot {
    HTAPICALL htCall = nullptr;
    HDRVCALL hdCall = nullptr;
    HCALL hCall = 0;
    LPHCALL out = nullptr;
};
using StartCreating = std::function<LONG(DRV_REQUESTID, NewCallSlot*)>;

// Runs a request that creates one call per `outs` on `at`'s line. Each
// application handle is written to its `out` before the provider is asked,
// because the reply may reach the application before the entry point
// returns. The handle works once LINE_REPLY reports success; when the
// request fails the call is freed. A slot the provider leaves without a
// call of its own (lineForward without a consultation call) is freed and
// its `out` set to 0.
LONG startCreating(const Place& at, std::initializer_list<LPHCALL> outs,
                   const StartCreating& start);

template <auto Member, typename Call>
LONG runCreating(const Place& at, std::initializer_list<LPHCALL> outs, Call call) {
    const auto fn = at.entry->*Member;
    if (!fn) return LINEERR_OPERATIONUNAVAIL;
    return startCreating(at, outs,
                         [&](DRV_REQUESTID id, NewCallSlot* c) { return call(fn, id, c); });
}

// --- the 8-bit forms ----------------------------------------------------------------

// 8-bit text handed to a provider as wide text; null stays null.
class WideText {
public:
    explicit WideText(LPCSTR text) : m_null(!text), m_text(text ? utf8ToUtf16(text) : u"") {}
    operator LPCWSTR() const { return m_null ? nullptr : m_text.c_str(); }

private:
    bool m_null;
    std::u16string m_text;
};

// A wide copy of a structure an application passed with 8-bit text.
class WideCopy {
public:
    const void* data() const { return m_null ? nullptr : m_bytes.data(); }
    LONG error() const { return m_error; }

protected:
    bool m_null = true;
    LONG m_error = 0;
    std::vector<std::uint8_t> m_bytes;
};

class WideCallParams : public WideCopy {
public:
    explicit WideCallParams(const LINECALLPARAMS* params);
    operator const LINECALLPARAMS*() const { return static_cast<const LINECALLPARAMS*>(data()); }
};

class WideForwardList : public WideCopy {
public:
    explicit WideForwardList(const LINEFORWARDLIST* list);
    operator const LINEFORWARDLIST*() const { return static_cast<const LINEFORWARDLIST*>(data()); }
};

// How an 8-bit form asks the provider for a structure.
enum class Asking {
    // With room for the wide text, and again with the size the provider
    // says it needs, so that every field is there to convert.
    UntilItFits,
    // Once, with the caller's size: the provider hands some data out only
    // once (the status blocks of LINEADDRESSSTATUS), so it must fit the
    // caller's block. Narrowing only shrinks text, so what the provider
    // fits in that size fits the caller.
    Once,
};

// The provider fills a wide structure in a buffer of ours (`fill`) for an
// 8-bit caller whose structure is `out`: `wide` gets what the provider
// filled, `needed` the size the provider said it needs. A refusal comes
// back as it is, LINEERR_STRUCTURETOOSMALL with the size needed in `out`.
template <typename Fill>
LONG askWide(void* out, std::size_t fixedSize, Fill fill, Asking asking,
             std::vector<std::uint8_t>& wide, DWORD& needed) {
    DWORD total;
    std::memcpy(&total, out, sizeof total);
    if (total < fixedSize) return LINEERR_STRUCTURETOOSMALL;
    // The caller's dwTotalSize decides how much is asked for; a size no
    // memory can hold is an error, not the end of the process.
    try {
        wide.assign(asking == Asking::Once ? total : std::size_t{total} * 2, 0);
    } catch (const std::bad_alloc&) {
        return LINEERR_NOMEM;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::fill(wide.begin(), wide.end(), 0);
        const auto size = static_cast<DWORD>(wide.size());
        std::memcpy(wide.data(), &size, sizeof size);
        const LONG result = fill(wide.data());
        std::memcpy(&needed, wide.data() + 4, sizeof needed);
        if (result != 0) {
            if (result == LINEERR_STRUCTURETOOSMALL) {
                std::memcpy(static_cast<std::uint8_t*>(out) + 4, &needed, sizeof needed);
            }
            return result;
        }
        if (needed <= wide.size() || asking == Asking::Once) break;
        try {
            wide.resize(needed);
        } catch (const std::bad_alloc&) {
            return LINEERR_NOMEM;
        }
    }
    return 0;
}

// Narrows what askWide got into `out`.
void finishNarrowed(void* out, std::span<const std::uint8_t> wide, DWORD needed,
                    const TextLayout& layout);

template <typename Fill>
LONG fillNarrowed(void* out, const TextLayout& layout, Fill fill,
                  Asking asking = Asking::UntilItFits) {
    std::vector<std::uint8_t> wide;
    DWORD needed = 0;
    if (const LONG result = askWide(out, layout.fixedSize, fill, asking, wide, needed)) {
        return result;
    }
    finishNarrowed(out, wide, needed, layout);
    return 0;
}

}  // namespace velkor::tapi
