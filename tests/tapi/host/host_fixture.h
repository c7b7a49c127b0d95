#pragma once

// The host against the fake provider: an application's view, with the
// provider's controls at hand.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tapi/host/host.h"
#include "tapi/host/provider_list.h"
#include "tapi_names.h"
#include "tests/support/temp_folder.h"
#include "tspi.h"

namespace velkor::tapi {

// The fake provider's controls, found in the loaded module.
struct FakeControls {
    void (*lineEvent)(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR);
    HTAPICALL (*newCall)(DWORD, DWORD_PTR);
    void (*callEvent)(DWORD, HTAPICALL, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR);
    void (*complete)(DRV_REQUESTID, LONG);
    void (*createLine)(DWORD_PTR);
    const char* (*log)();
    void (*clearLog)();
    // Calls the provider made for a request, in order.
    HTAPICALL (*madeCall)(DWORD);
    std::uintptr_t (*madeDriverCall)(DWORD);
    void (*failNext)(LONG);
    void (*forwardConsult)(BOOL);
    void (*armStatusBlock)();
};

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("VELKOR_REGISTRY_DIR", root.c_str(), 1);
        ProviderList list{platform::Registry(root)};
        permanentId = *list.add(FAKE_PROVIDER_PATH);
    }
    void TearDown() override {
        for (HLINEAPP app : apps) lineShutdown(app);
        unsetenv("VELKOR_REGISTRY_DIR");
    }

    HLINEAPP initialize(DWORD options = LINEINITIALIZEEXOPTION_USEEVENT,
                        LINECALLBACK callback = nullptr) {
        HLINEAPP app = 0;
        DWORD numDevs = 0;
        DWORD version = TAPI_CURRENT_VERSION;
        LINEINITIALIZEEXPARAMS params{};
        params.dwTotalSize = sizeof params;
        params.dwOptions = options;
        EXPECT_EQ(lineInitializeExA(&app, nullptr, callback, "test", &numDevs, &version, &params),
                  0);
        devices = numDevs;
        eventFd = params.Handles.hEvent;
        apps.push_back(app);
        fake = controls();
        return app;
    }
    void shutdown(HLINEAPP app) {
        EXPECT_EQ(lineShutdown(app), 0);
        std::erase(apps, app);
    }
    FakeControls controls() {
        auto& host = Host::instance();
        auto get = [&](const char* name) { return host.providerSymbol(permanentId, name); };
        return FakeControls{
            reinterpret_cast<decltype(FakeControls::lineEvent)>(get("fakeLineEvent")),
            reinterpret_cast<decltype(FakeControls::newCall)>(get("fakeNewCall")),
            reinterpret_cast<decltype(FakeControls::callEvent)>(get("fakeCallEvent")),
            reinterpret_cast<decltype(FakeControls::complete)>(get("fakeComplete")),
            reinterpret_cast<decltype(FakeControls::createLine)>(get("fakeCreateLine")),
            reinterpret_cast<decltype(FakeControls::log)>(get("fakeLog")),
            reinterpret_cast<decltype(FakeControls::clearLog)>(get("fakeClearLog")),
            reinterpret_cast<decltype(FakeControls::madeCall)>(get("fakeMadeCall")),
            reinterpret_cast<decltype(FakeControls::madeDriverCall)>(get("fakeMadeDriverCall")),
            reinterpret_cast<decltype(FakeControls::failNext)>(get("fakeFailNext")),
            reinterpret_cast<decltype(FakeControls::forwardConsult)>(get("fakeForwardConsult")),
            reinterpret_cast<decltype(FakeControls::armStatusBlock)>(get("fakeArmStatusBlock"))};
    }
    HLINE openLine(HLINEAPP app, DWORD device, DWORD_PTR instance = 0x99,
                   DWORD privileges = LINECALLPRIVILEGE_OWNER) {
        HLINE line = 0;
        EXPECT_EQ(lineOpenA(app, device, &line, TAPI_CURRENT_VERSION, 0, instance, privileges,
                            LINEMEDIAMODE_INTERACTIVEVOICE, nullptr),
                  0);
        return line;
    }
    // The next message, or one with id 0 after a short wait.
    LINEMESSAGE next(HLINEAPP app, DWORD timeout = 2000) {
        LINEMESSAGE m{};
        if (lineGetMessage(app, &m, timeout) != 0) m = LINEMESSAGE{};
        return m;
    }
    std::string log() { return fake.log(); }
    // Whether the provider logged `entry` (its entries end with ';').
    bool logged(const std::string& entry) { return log().find(entry + ";") != std::string::npos; }

    // How many calls the provider has made for requests.
    DWORD madeCount() {
        DWORD n = 0;
        while (fake.madeCall(n)) ++n;
        return n;
    }

    // A call the provider announces on `device` and reports offering; the
    // application's handle for it, taken from the LINE_CALLSTATE.
    HCALL offeredCall(HLINEAPP app, DWORD device, DWORD_PTR hdCall) {
        const HTAPICALL call = fake.newCall(device, hdCall);
        fake.callEvent(device, call, LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0,
                       LINEMEDIAMODE_INTERACTIVEVOICE);
        const LINEMESSAGE m = next(app);
        EXPECT_EQ(m.dwMessageID, LINE_CALLSTATE);
        return m.hDevice;
    }

    ::velkor::testing::TempFolder folder;
    const std::filesystem::path& root = folder.path();
    DWORD permanentId = 0;
    std::vector<HLINEAPP> apps;
    DWORD devices = 0;
    int eventFd = -1;
    FakeControls fake{};
};

}  // namespace velkor::tapi
