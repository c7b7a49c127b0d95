// The application's phone functions against the fake provider's two phones
// (the second refuses to open), by family: phone applications beside line
// applications, versions and capabilities, opening and closing, the
// device-specific request and its PHONE_REPLY, reads, IDs, and the
// provider's phone events.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/tapi/host/host_fixture.h"

namespace velkor::tapi {
namespace {

class PhoneFunctionsTest : public HostTest {
protected:
    HPHONEAPP phoneApp(DWORD options = PHONEINITIALIZEEXOPTION_USEEVENT) {
        HPHONEAPP app = 0;
        DWORD numDevs = 0;
        DWORD version = TAPI_CURRENT_VERSION;
        PHONEINITIALIZEEXPARAMS params{};
        params.dwTotalSize = sizeof params;
        params.dwOptions = options;
        EXPECT_EQ(phoneInitializeExA(&app, nullptr, nullptr, "test", &numDevs, &version, &params),
                  0);
        phones = numDevs;
        phoneApps.push_back(app);
        fake = controls();
        phoneEvent = reinterpret_cast<void (*)(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(
            Host::instance().providerSymbol(permanentId, "fakePhoneEvent"));
        return app;
    }
    void TearDown() override {
        for (HPHONEAPP app : phoneApps) phoneShutdown(app);
        HostTest::TearDown();
    }
    HPHONE openPhone(HPHONEAPP app, DWORD device, DWORD_PTR instance = 0x77,
                     DWORD privilege = PHONEPRIVILEGE_OWNER) {
        HPHONE phone = 0;
        EXPECT_EQ(phoneOpen(app, device, &phone, TAPI_CURRENT_VERSION, 0, instance, privilege), 0);
        return phone;
    }
    PHONEMESSAGE nextPhone(HPHONEAPP app, DWORD timeout = 2000) {
        PHONEMESSAGE m{};
        if (phoneGetMessage(app, &m, timeout) != 0) m = PHONEMESSAGE{};
        return m;
    }

    std::vector<HPHONEAPP> phoneApps;
    DWORD phones = 0;
    void (*phoneEvent)(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR) = nullptr;
};

TEST_F(PhoneFunctionsTest, PhoneApplicationsShareTheProvidersWithLineApplications) {
    const HPHONEAPP phone = phoneApp();
    EXPECT_EQ(phones, 2u);
    const HLINEAPP line = initialize();
    EXPECT_EQ(log(), "enum;init 0;") << "loaded once for both kinds";
    // Each kind's functions know only their own applications.
    LINEMESSAGE lm;
    PHONEMESSAGE pm;
    EXPECT_EQ(lineGetMessage(phone, &lm, 0), LINEERR_INVALAPPHANDLE);
    EXPECT_EQ(phoneGetMessage(line, &pm, 0), PHONEERR_INVALAPPHANDLE);
    EXPECT_EQ(lineShutdown(phone), LINEERR_INVALAPPHANDLE);
    EXPECT_EQ(phoneShutdown(line), PHONEERR_INVALAPPHANDLE);
    HPHONE h;
    EXPECT_EQ(phoneOpen(line, 0, &h, TAPI_CURRENT_VERSION, 0, 0, PHONEPRIVILEGE_OWNER),
              PHONEERR_INVALAPPHANDLE);
    shutdown(line);
    EXPECT_EQ(Host::instance().providerCount(), 1u) << "the phone application still runs";
    EXPECT_EQ(phoneShutdown(phone), 0);
    phoneApps.clear();
    EXPECT_EQ(Host::instance().providerCount(), 0u);
}

TEST_F(PhoneFunctionsTest, InitializeRefusesWhatItCannotServeWithPhoneErrors) {
    HPHONEAPP app;
    DWORD numDevs;
    DWORD version = TAPI_VERSION1_4;
    EXPECT_EQ(phoneInitializeExA(&app, nullptr, nullptr, "x", &numDevs, &version, nullptr),
              PHONEERR_INCOMPATIBLEAPIVERSION);
    version = TAPI_CURRENT_VERSION;
    EXPECT_EQ(phoneInitializeExW(&app, nullptr, nullptr, u"x", &numDevs, &version, nullptr),
              PHONEERR_INVALPOINTER);
    PHONEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwOptions = PHONEINITIALIZEEXOPTION_USECOMPLETIONPORT;
    EXPECT_EQ(phoneInitializeExA(&app, nullptr, nullptr, "x", &numDevs, &version, &params),
              PHONEERR_INVALPARAM);
    EXPECT_EQ(Host::instance().providerCount(), 0u);
}

TEST_F(PhoneFunctionsTest, VersionsAndCapabilitiesComeFromTheProvider) {
    const HPHONEAPP app = phoneApp();
    DWORD version = 0;
    PHONEEXTENSIONID ext{};
    ASSERT_EQ(phoneNegotiateAPIVersion(app, 1, TAPI_VERSION1_4, 0x00030000, &version, &ext), 0);
    EXPECT_EQ(version, TAPI_CURRENT_VERSION);
    EXPECT_EQ(ext.dwExtensionID0, 1u);
    EXPECT_EQ(ext.dwExtensionID3, 4u);
    EXPECT_EQ(phoneNegotiateAPIVersion(app, 2, TAPI_VERSION1_4, TAPI_CURRENT_VERSION, &version,
                                       &ext),
              PHONEERR_BADDEVICEID);
    DWORD extVersion = 0;
    EXPECT_EQ(phoneNegotiateExtVersion(app, 0, version, 0x00010000, 0x00020001, &extVersion), 0);
    EXPECT_EQ(extVersion, TAPI_VERSION2_0);
    EXPECT_EQ(phoneNegotiateExtVersion(app, 0, version, 0x00020001, 0x00020001, &extVersion),
              PHONEERR_INCOMPATIBLEEXTVERSION);

    std::vector<std::uint8_t> buffer(512);
    auto* caps = reinterpret_cast<PHONECAPS*>(buffer.data());
    caps->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(phoneGetDevCapsW(app, 1, version, 0, caps), 0);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(buffer.data() + caps->dwPhoneNameOffset)),
              u"PHONE 21 (DKT) \u00e9");
    caps->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(phoneGetDevCapsA(app, 1, version, 0, caps), 0);
    EXPECT_EQ(caps->dwStringFormat, STRINGFORMAT_ASCII);
    const std::string name(reinterpret_cast<char*>(buffer.data()) + caps->dwPhoneNameOffset);
    EXPECT_EQ(name, "PHONE 21 (DKT) \xC3\xA9");
    EXPECT_EQ(caps->dwPhoneNameSize, name.size() + 1);
    EXPECT_EQ(caps->dwNumGetData, 14u);
    caps->dwTotalSize = sizeof(PHONECAPS) - 1;
    EXPECT_EQ(phoneGetDevCapsA(app, 1, version, 0, caps), PHONEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(phoneGetDevCapsW(app, 1, version, 0, caps), PHONEERR_STRUCTURETOOSMALL);
}

TEST_F(PhoneFunctionsTest, APhoneOpensAtTheProviderOnceAndClosesWithItsLastOpen) {
    const HPHONEAPP first = phoneApp();
    const HPHONEAPP second = phoneApp();
    fake.clearLog();
    const HPHONE a = openPhone(first, 0);
    const HPHONE b = openPhone(second, 0, 0x78, PHONEPRIVILEGE_MONITOR);
    EXPECT_NE(a, b);
    EXPECT_EQ(log(), "phoneopen 0;");
    EXPECT_EQ(phoneClose(a), 0);
    EXPECT_EQ(log(), "phoneopen 0;");
    EXPECT_EQ(phoneClose(a), PHONEERR_INVALPHONEHANDLE);
    EXPECT_EQ(phoneClose(b), 0);
    EXPECT_EQ(log(), "phoneopen 0;phoneclose 0;");

    HPHONE failed = 0;
    EXPECT_EQ(phoneOpen(first, 1, &failed, TAPI_CURRENT_VERSION, 0, 0, PHONEPRIVILEGE_OWNER),
              PHONEERR_OPERATIONFAILED);
    EXPECT_EQ(phoneOpen(first, 2, &failed, TAPI_CURRENT_VERSION, 0, 0, PHONEPRIVILEGE_OWNER),
              PHONEERR_BADDEVICEID);
    EXPECT_EQ(phoneOpen(first, 0, &failed, TAPI_CURRENT_VERSION, 0, 0, 0),
              PHONEERR_INVALPRIVILEGE);
    EXPECT_EQ(phoneOpen(first, 0, &failed, 0x00010003, 0, 0, PHONEPRIVILEGE_OWNER),
              PHONEERR_INCOMPATIBLEAPIVERSION);
    // Shutting down closes what the application still holds open.
    openPhone(first, 0);
    fake.clearLog();
    EXPECT_EQ(phoneShutdown(first), 0);
    std::erase(phoneApps, first);
    EXPECT_EQ(log(), "phoneclose 0;");
}

TEST_F(PhoneFunctionsTest, DevSpecificIsARequestThatEndsWithPhoneReply) {
    const HPHONEAPP app = phoneApp();
    const HPHONE phone = openPhone(app, 0);
    fake.clearLog();
    char command[] = "wu/0730";
    const LONG id = phoneDevSpecific(phone, command, sizeof command - 1);
    ASSERT_GT(id, 0);
    EXPECT_EQ(log(), "phonedevspecific 0 wu/0730;");
    fake.complete(static_cast<DRV_REQUESTID>(id), PHONEERR_OPERATIONFAILED);
    const PHONEMESSAGE reply = nextPhone(app);
    EXPECT_EQ(reply.dwMessageID, PHONE_REPLY);
    EXPECT_EQ(reply.dwParam1, static_cast<DWORD_PTR>(id));
    EXPECT_EQ(static_cast<LONG>(reply.dwParam2), PHONEERR_OPERATIONFAILED);

    // Refused at once: the error comes back and no reply follows.
    fake.failNext(PHONEERR_OPERATIONFAILED);
    EXPECT_EQ(phoneDevSpecific(phone, command, sizeof command - 1), PHONEERR_OPERATIONFAILED);
    EXPECT_EQ(nextPhone(app, 50).dwMessageID, 0u);
    EXPECT_EQ(phoneDevSpecific(phone + 100, command, 7), PHONEERR_INVALPHONEHANDLE);
    EXPECT_EQ(phoneDevSpecific(phone, nullptr, 7), PHONEERR_INVALPOINTER);
}

TEST_F(PhoneFunctionsTest, ReadsAndIdsAnswerAtOnce) {
    const HPHONEAPP app = phoneApp();
    const HPHONE phone = openPhone(app, 0);
    char data[16];
    ASSERT_EQ(phoneGetData(phone, 7, data, sizeof data), 0);
    EXPECT_STREQ(data, "value 7");
    EXPECT_EQ(phoneGetData(phone, 15, data, sizeof data), PHONEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(phoneGetData(phone, 7, nullptr, 16), PHONEERR_INVALPOINTER);
    fake.clearLog();
    EXPECT_EQ(phoneGetData(phone + 100, 7, data, sizeof data), PHONEERR_INVALPHONEHANDLE);
    EXPECT_EQ(log(), "") << "an unknown handle never reaches the provider";

    std::vector<std::uint8_t> buffer(128);
    auto* id = reinterpret_cast<VARSTRING*>(buffer.data());
    id->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(phoneGetIDA(phone, id, "tapi/phone"), 0);
    EXPECT_EQ(id->dwStringFormat, STRINGFORMAT_BINARY);
    ASSERT_EQ(id->dwStringSize, 4u);
    DWORD device = 99;
    std::memcpy(&device, buffer.data() + id->dwStringOffset, 4);
    EXPECT_EQ(device, 0u);
    id->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(phoneGetIDA(phone, id, "fake/name"), 0);
    EXPECT_EQ(id->dwStringFormat, STRINGFORMAT_ASCII);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()) + id->dwStringOffset),
              "Fake phone \xC3\xA9");
    id->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(phoneGetIDW(phone, id, u"fake/name"), 0);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(buffer.data() + id->dwStringOffset)),
              u"Fake phone \u00e9");
    EXPECT_EQ(phoneGetIDA(phone, id, "tapi/line"), PHONEERR_INVALDEVICECLASS);
    id->dwTotalSize = sizeof(VARSTRING) - 1;
    EXPECT_EQ(phoneGetIDA(phone, id, "tapi/phone"), PHONEERR_STRUCTURETOOSMALL);
}

TEST_F(PhoneFunctionsTest, PhoneEventsReachEveryApplicationHoldingThePhoneOpen) {
    const HPHONEAPP first = phoneApp();
    const HPHONEAPP second = phoneApp();
    const HLINEAPP lineApp = initialize();
    const HPHONE a = openPhone(first, 0, 0x71);
    const HPHONE b = openPhone(second, 0, 0x72);
    phoneEvent(0, PHONE_DEVSPECIFIC, 255, 2, 0);
    for (const auto& [app, phone, instance] :
         {std::tuple{first, a, DWORD_PTR{0x71}}, std::tuple{second, b, DWORD_PTR{0x72}}}) {
        const PHONEMESSAGE m = nextPhone(app);
        EXPECT_EQ(m.dwMessageID, PHONE_DEVSPECIFIC);
        EXPECT_EQ(m.hDevice, phone);
        EXPECT_EQ(m.dwCallbackInstance, instance);
        EXPECT_EQ(m.dwParam1, 255u);
        EXPECT_EQ(m.dwParam2, 2u);
    }
    EXPECT_EQ(next(lineApp, 50).dwMessageID, 0u) << "line applications hear nothing of it";

    // The provider closes the phone: every open learns it, and its handle goes.
    phoneEvent(0, PHONE_CLOSE, 0, 0, 0);
    EXPECT_EQ(nextPhone(first).dwMessageID, PHONE_CLOSE);
    EXPECT_EQ(nextPhone(second).dwMessageID, PHONE_CLOSE);
    EXPECT_EQ(phoneClose(a), PHONEERR_INVALPHONEHANDLE);
    phoneEvent(0, PHONE_DEVSPECIFIC, 1, 2, 3);
    EXPECT_EQ(nextPhone(first, 50).dwMessageID, 0u) << "a closed phone's events are dropped";
}

}  // namespace
}  // namespace velkor::tapi
