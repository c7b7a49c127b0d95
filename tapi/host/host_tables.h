#pragma once

// The records behind the host's handles; private to the host's sources.

#include <vector>

#include "tapi/host/host.h"

namespace velkor::tapi {

struct Host::Provider {
    DWORD permanentId = 0;
    std::unique_ptr<ProviderModule> module;
    DWORD tspiVersion = TAPI_VERSION2_0;
    DWORD lineBase = 0;
    DWORD numLines = 0;
    DWORD phoneBase = 0;
    DWORD numPhones = 0;
};

struct Host::Device {
    Provider* provider = nullptr;
    DWORD tspiVersion = TAPI_VERSION2_0;
    bool removed = false;
    // The device opened at its provider, shared by every application that
    // opened it; 0 when closed.
    std::uintptr_t openDevice = 0;
};

// A line device open at its provider. Its number is the HTAPILINE the
// provider reports events with.
struct Host::OpenDevice {
    std::uintptr_t id = 0;
    DWORD deviceId = 0;
    Provider* provider = nullptr;
    HDRVLINE hdLine = nullptr;
    bool opening = true;
    std::vector<LineOpen*> opens;
};

// One application's open of a line: its HLINE.
struct Host::LineOpen {
    HLINE handle = 0;
    App* app = nullptr;
    OpenDevice* device = nullptr;
    DWORD_PTR instance = 0;
    DWORD apiVersion = 0;
    DWORD privileges = 0;
    DWORD lineStates = 0;
    DWORD addressStates = 0;
};

// A call the provider knows; its number is the HTAPICALL. Each application
// that sees it holds an HCALL of its own.
struct Host::Call {
    struct AppRef {
        HCALL handle = 0;
        LineOpen* open = nullptr;
        // The application learnt of the call (its first LINE_CALLSTATE, or
        // the call it made itself).
        bool announced = false;
        DWORD privilege = LINECALLPRIVILEGE_MONITOR;
    };
    std::uintptr_t id = 0;
    OpenDevice* device = nullptr;
    HDRVCALL hdCall = nullptr;
    std::vector<AppRef> refs;
};

struct Host::App {
    HLINEAPP handle = 0;
    AppKind kind = AppKind::Line;
    std::shared_ptr<MessageQueue> queue;
};

// A phone device open at its provider. Its number is the HTAPIPHONE the
// provider reports events with.
struct Host::OpenPhone {
    std::uintptr_t id = 0;
    DWORD deviceId = 0;
    Provider* provider = nullptr;
    HDRVPHONE hdPhone = nullptr;
    bool opening = true;
    std::vector<PhoneOpen*> opens;
};

// One application's open of a phone: its HPHONE.
struct Host::PhoneOpen {
    HPHONE handle = 0;
    App* app = nullptr;
    OpenPhone* device = nullptr;
    DWORD_PTR instance = 0;
    DWORD apiVersion = 0;
    DWORD privilege = 0;
};

struct Host::Request {
    HLINEAPP app = 0;
    std::function<void(LONG)> done;
};

}  // namespace velkor::tapi
