// The phone devices of the stations: opening with and without the line,
// setting commands completed by the PBX's answers, reads with their 3 s
// wait, and what the device reports of itself. The PBX answers inside the
// send when a test wants it to; every other wait runs out at once on the
// virtual clock, which then shows how long the provider waited.
#include "provider/core/phone_devices.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "platform/time/virtual_clock.h"
#include "provider/core/phone_caps.h"
#include "tests/provider/core/model_fixture.h"

namespace velkor::core::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t kLineless = 6;  // station " 206", its line closed
constexpr DWORD kOwnPhone = 10;         // the phone of station 5, whose line is open
constexpr DWORD kLinelessPhone = 11;
constexpr DRV_REQUESTID kRequest = 42;
const std::string kFailed = std::to_string(PHONEERR_OPERATIONFAILED);

// What the phones' event procedure was called with.
std::vector<std::string> g_phoneEvents;
void phoneEvent(HTAPIPHONE htPhone, DWORD msg, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) {
    g_phoneEvents.push_back(std::to_string(reinterpret_cast<std::uintptr_t>(htPhone)) + " " +
                            std::to_string(msg) + " " + std::to_string(p1) + "," +
                            std::to_string(p2) + "," + std::to_string(p3));
}

class PhoneDevicesTest : public ModelFixture {
protected:
    PhoneDevicesTest() {
        clock.setAutoAdvance(true);
        StationRecord* own = model.stations().at(kOwnIndex);
        own->phoneDeviceId = kOwnPhone;
        StationRecord* other = model.stations().at(kLineless);
        other->number = " 206";
        other->type = kTypeSlt;
        other->phoneDeviceId = kLinelessPhone;
        model.providerIds().permanentProviderId = 0x103;
        // The PBX: monitoring confirmed, and the answers a test scripts.
        sender.onSend = [this](std::uint16_t station, std::uint8_t code) {
            if (code == link::code::SessionControl && monitorAnswer) {
                if (*monitorAnswer) {
                    reply(station, code, "4");
                } else {
                    replies.onRejection({station, link::rejectionCode(code), '/', false});
                }
            }
            if (const auto it = answers.find(code); it != answers.end()) it->second(station);
        };
        g_phoneEvents.clear();
    }

    void reply(std::uint16_t station, std::uint8_t code, std::string_view data) {
        link::CtiMessage m;
        m.station = station;
        m.code = code;
        m.data = {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
        replies.onReply(m);
        phones.onReply(m);
    }
    void reject(std::uint16_t station, std::uint8_t request, std::uint8_t cause = 'A') {
        phones.onRejection({station, link::rejectionCode(request), cause, false});
    }

    HDRVPHONE open(DWORD device, std::uintptr_t htPhone = 0x500) {
        HDRVPHONE hd = nullptr;
        EXPECT_EQ(phones.open(device, reinterpret_cast<HTAPIPHONE>(htPhone), &hd, phoneEvent), 0);
        sender.sent.clear();
        return hd;
    }
    LONG devSpecific(HDRVPHONE hd, std::string_view command, DWORD_PTR id = kRequest) {
        return phones.devSpecific(static_cast<DRV_REQUESTID>(id), hd, command.data(),
                                  static_cast<DWORD>(command.size()));
    }
    // phoneGetData into a buffer of `size` bytes: the result, and the text.
    std::pair<LONG, std::string> read(HDRVPHONE hd, DWORD dataId, DWORD size = 64) {
        std::vector<char> buffer(size + 1, '#');
        const LONG result = phones.getData(hd, dataId, buffer.data(), size);
        return {result, result == 0 ? std::string(buffer.data()) : std::string()};
    }
    long elapsedMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - start).count();
    }

    platform::VirtualClock clock;
    platform::TimePoint start = clock.now();
    SessionReplies replies{model, clock};
    PhoneDevices phones{model, replies, clock};
    // Whether the PBX confirms (true) or refuses (false) monitoring; silent when empty.
    std::optional<bool> monitorAnswer = true;
    std::map<std::uint8_t, std::function<void(std::uint16_t)>> answers;
};

// --- open and close ----------------------------------------------------------------

TEST_F(PhoneDevicesTest, OpenOnAStationWhoseLineIsOpenSendsNothingAndReturnsAtOnce) {
    monitorAnswer.reset();
    HDRVPHONE hd = nullptr;
    EXPECT_EQ(phones.open(kOwnPhone, reinterpret_cast<HTAPIPHONE>(0x500), &hd, phoneEvent), 0);
    EXPECT_NE(hd, nullptr);
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_EQ(elapsedMs(), 0);
    // Closing it leaves the line's monitoring alone.
    EXPECT_EQ(phones.close(hd), 0);
    EXPECT_TRUE(sender.sent.empty());
}

TEST_F(PhoneDevicesTest, OpenWithoutTheLineHasTheStationMonitoredAndCloseStopsIt) {
    HDRVPHONE hd = nullptr;
    ASSERT_EQ(phones.open(kLinelessPhone, reinterpret_cast<HTAPIPHONE>(0x501), &hd, phoneEvent), 0);
    EXPECT_EQ(sender.sent, (std::vector<std::string>{"CTI 6 0x50 !"}));
    EXPECT_TRUE(model.stations().at(kLineless)->monitored);
    sender.sent.clear();
    EXPECT_EQ(phones.close(hd), 0);
    EXPECT_EQ(sender.sent, (std::vector<std::string>{"CTI 6 0x50 \x22"}));
    EXPECT_FALSE(model.stations().at(kLineless)->monitored);
    EXPECT_EQ(phones.close(hd), PHONEERR_INVALPHONEHANDLE);
}

TEST_F(PhoneDevicesTest, OpenFailsWhenThePbxDoesNotMonitorAndFreesTheDevice) {
    struct Case {
        const char* label;
        std::optional<bool> answer;
        long waitedMs;
    };
    for (const Case& c : {Case{"silent", std::nullopt, 6000}, Case{"refused", false, 0}}) {
        SCOPED_TRACE(c.label);
        monitorAnswer = c.answer;
        const auto before = clock.now();
        HDRVPHONE hd = nullptr;
        EXPECT_EQ(phones.open(kLinelessPhone, nullptr, &hd, phoneEvent), PHONEERR_OPERATIONFAILED);
        EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - before).count(),
                  c.waitedMs);
        EXPECT_FALSE(phones.lastAnswer(kLineless));
    }
    // Nothing is left behind: the next open asks again.
    monitorAnswer = true;
    sender.sent.clear();
    open(kLinelessPhone);
    EXPECT_TRUE(phones.lastAnswer(kLineless));
}

TEST_F(PhoneDevicesTest, OpenChecksTheDevice) {
    HDRVPHONE hd = nullptr;
    EXPECT_EQ(phones.open(99, nullptr, &hd, phoneEvent), PHONEERR_OPERATIONFAILED);
    EXPECT_EQ(phones.open(kNoDevice, nullptr, &hd, phoneEvent), PHONEERR_OPERATIONFAILED);
    open(kOwnPhone);
    EXPECT_EQ(phones.open(kOwnPhone, nullptr, &hd, phoneEvent), PHONEERR_ALLOCATED);
    EXPECT_EQ(phones.open(kOwnPhone, nullptr, nullptr, phoneEvent), PHONEERR_INVALPOINTER);
    EXPECT_EQ(phones.lastAnswer(kOwnIndex), (std::pair<LONG, std::string>{-1, ""}));
}

// --- setting commands ----------------------------------------------------------------

TEST_F(PhoneDevicesTest, ACommandIsCompletedByTheAnswerOrFailedByTheRejection) {
    const HDRVPHONE hd = open(kOwnPhone);
    EXPECT_EQ(devSpecific(hd, "wu/0730"), kRequest);
    EXPECT_EQ(sender.sent, (std::vector<std::string>{"CTI 5 0x7d 0730S"}));
    EXPECT_EQ(events.log, std::vector<std::string>{});
    reply(kOwnIndex, 0x7D, "0730S");
    EXPECT_EQ(events.log, (std::vector<std::string>{"COMPLETE 42,0"}));
    EXPECT_EQ(phones.lastAnswer(kOwnIndex), (std::pair<LONG, std::string>{1, "0730S"}));

    events.log.clear();
    EXPECT_EQ(devSpecific(hd, "pmp/Lunch", 43), 43);
    reject(kOwnIndex, 0x80);
    EXPECT_EQ(events.log, (std::vector<std::string>{"COMPLETE 43," + kFailed}));
    // A second copy of either completes nothing more.
    reply(kOwnIndex, 0x80, " ");
    reject(kOwnIndex, 0x80);
    EXPECT_EQ(events.log.size(), 1u);
}

TEST_F(PhoneDevicesTest, AnswersCompleteTheRequestsThatAskedForThemEvenWhenSeveralWait) {
    const HDRVPHONE hd = open(kOwnPhone);
    EXPECT_EQ(devSpecific(hd, "wu/0730", 1), 1);
    EXPECT_EQ(devSpecific(hd, "dr/1", 2), 2);
    EXPECT_EQ(devSpecific(hd, "wu/0800", 3), 3);
    reply(kOwnIndex, 0x84, "1");
    reply(kOwnIndex, 0x7D, "0730S");
    reject(kOwnIndex, 0x7D);
    EXPECT_EQ(events.log, (std::vector<std::string>{"COMPLETE 2,0", "COMPLETE 1,0",
                                                    "COMPLETE 3," + kFailed}));
}

TEST_F(PhoneDevicesTest, CommandsTheProviderCannotSendFailAtOnce) {
    const HDRVPHONE hd = open(kOwnPhone);
    EXPECT_EQ(devSpecific(hd, "wu/073"), PHONEERR_OPERATIONFAILED);
    EXPECT_EQ(devSpecific(hd, "pms/123"), PHONEERR_OPERATIONFAILED);
    EXPECT_EQ(phones.devSpecific(kRequest, hd, "wu/0730", 0), PHONEERR_OPERATIONFAILED);
    EXPECT_EQ(phones.devSpecific(kRequest, hd, nullptr, 8), PHONEERR_OPERATIONFAILED);
    EXPECT_EQ(devSpecific(reinterpret_cast<HDRVPHONE>(0x1), "wu/0730"), PHONEERR_INVALPHONEHANDLE);
    EXPECT_TRUE(sender.sent.empty());
    // The size cuts the text; so does its NUL.
    EXPECT_EQ(phones.devSpecific(kRequest, hd, "wu/0730/c", 7), kRequest);
    EXPECT_EQ(phones.devSpecific(kRequest, hd, "dr/1\0/2", 8), kRequest);
    EXPECT_EQ(sender.sent, (std::vector<std::string>{"CTI 5 0x7d 0730S", "CTI 5 0x84 1"}));
}

TEST_F(PhoneDevicesTest, CloseFailsTheRequestsStillWaiting) {
    const HDRVPHONE hd = open(kOwnPhone);
    devSpecific(hd, "iam/x");
    EXPECT_EQ(phones.close(hd), 0);
    EXPECT_EQ(events.log, (std::vector<std::string>{"COMPLETE 42," + kFailed}));
    // The answer that comes after finds no phone.
    reply(kOwnIndex, 0x81, "X");
    EXPECT_EQ(events.log.size(), 1u);
}

// --- reads ----------------------------------------------------------------------------

struct ReadCase {
    DWORD dataId;
    const char* sent;
    std::uint8_t code;
    std::string answer;
    std::string text;
};

TEST_F(PhoneDevicesTest, ReadsSendTheFixedQueryAndCopyTheAnswerText) {
    const HDRVPHONE hd = open(kOwnPhone);
    const ReadCase cases[] = {
        {1, "CTI 5 0x7d CURR", 0x7D, "0645C", "0645C"},
        {2, "CTI 5 0x7e CURPW", 0x7E, "12345", "12345"},
        {4, "CTI 5 0x80  ", 0x80, "\x25Lunch", "Lunch"},
        {7, "CTI 5 0x83 5", 0x83, "\x2B\x22hi", "/11/hi"},
        {8, "CTI 5 0x84 0", 0x84, "3", "3"},
        {14, "CTI 5 0x8a 2", 0x8A, "1", "1"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.sent);
        sender.sent.clear();
        answers[c.code] = [&](std::uint16_t station) { reply(station, c.code, c.answer); };
        EXPECT_EQ(read(hd, c.dataId), (std::pair<LONG, std::string>{0, c.text}));
        EXPECT_EQ(sender.sent, std::vector<std::string>{c.sent});
        EXPECT_EQ(phones.lastAnswer(kOwnIndex),
                  (std::pair<LONG, std::string>{static_cast<LONG>(c.dataId), c.text}));
    }
    EXPECT_EQ(elapsedMs(), 0);
    EXPECT_TRUE(events.log.empty());
}

TEST_F(PhoneDevicesTest, ReadsOutsideTheSettingsSendNothing) {
    const HDRVPHONE hd = open(kOwnPhone);
    EXPECT_EQ(read(hd, 15).first, PHONEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(read(hd, 0).first, PHONEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(read(reinterpret_cast<HDRVPHONE>(0x1), 1).first, PHONEERR_INVALPHONEHANDLE);
    EXPECT_TRUE(sender.sent.empty());
}

TEST_F(PhoneDevicesTest, AReadFailsOnRejectionOrABufferTooSmallForTextAndNul) {
    const HDRVPHONE hd = open(kOwnPhone);
    answers[0x7D] = [&](std::uint16_t station) { reject(station, 0x7D); };
    EXPECT_EQ(read(hd, 1).first, PHONEERR_OPERATIONFAILED);
    answers[0x7D] = [&](std::uint16_t station) { reply(station, 0x7D, "0730S"); };
    EXPECT_EQ(read(hd, 1, 5).first, PHONEERR_OPERATIONFAILED);
    EXPECT_EQ(read(hd, 1, 6), (std::pair<LONG, std::string>{0, "0730S"}));
    EXPECT_EQ(phones.getData(hd, 1, nullptr, 6), PHONEERR_OPERATIONFAILED);
    EXPECT_EQ(elapsedMs(), 0);
}

TEST_F(PhoneDevicesTest, ALateAnswerIsStoredButCompletesNothing) {
    const HDRVPHONE hd = open(kOwnPhone);
    EXPECT_EQ(read(hd, 3).first, PHONEERR_OPERATIONFAILED);
    EXPECT_EQ(elapsedMs(), 3000);
    reply(kOwnIndex, 0x7F, "D");
    EXPECT_EQ(phones.lastAnswer(kOwnIndex), (std::pair<LONG, std::string>{3, "D"}));
    EXPECT_TRUE(events.log.empty());
    // A late rejection (the link's own time-out of the query) fails nothing either.
    phones.onRejection({kOwnIndex, link::rejectionCode(0x7F), link::kCauseTimeout, true});
    EXPECT_TRUE(events.log.empty());
}

TEST_F(PhoneDevicesTest, AReadTakesOnlyTheAnswerToItsOwnQuery) {
    const HDRVPHONE own = open(kOwnPhone);
    const HDRVPHONE other = open(kLinelessPhone, 0x501);
    devSpecific(own, "wu/0730", 1);
    devSpecific(other, "dr/7", 2);
    // While station 5 reads its dr setting, the PBX answers the wake-up
    // command and station 6's command first, and rejects nothing of ours.
    answers[0x84] = [&](std::uint16_t station) {
        if (station != kOwnIndex) return;
        reply(kOwnIndex, 0x7D, "0730S");
        reply(kLineless, 0x84, "7");
        reject(kLineless, 0x86);
        reply(kOwnIndex, 0x84, "3");
    };
    EXPECT_EQ(read(own, 8), (std::pair<LONG, std::string>{0, "3"}));
    EXPECT_EQ(events.log, (std::vector<std::string>{"COMPLETE 1,0", "COMPLETE 2,0"}));
    EXPECT_EQ(phones.lastAnswer(kLineless), (std::pair<LONG, std::string>{8, "7"}));
}

// --- events and what the device tells of itself -------------------------------------------

TEST_F(PhoneDevicesTest, TheSystemNoticeReachesEveryOpenPhone) {
    open(kOwnPhone, 0x500);
    const HDRVPHONE other = open(kLinelessPhone, 0x501);
    phones.devSpecificAll(255, 2, 0);
    EXPECT_EQ(g_phoneEvents, (std::vector<std::string>{"1280 16 255,2,0", "1281 16 255,2,0"}));
    phones.close(other);
    g_phoneEvents.clear();
    phones.devSpecificAll(255, 2, 0);
    EXPECT_EQ(g_phoneEvents, (std::vector<std::string>{"1280 16 255,2,0"}));
}

std::string wideAt(const std::vector<std::uint8_t>& block, DWORD offset, DWORD size) {
    std::string out;
    for (DWORD i = 0; i + 1 < size && offset + i + 1 < block.size(); i += 2) {
        if (block[offset + i] == 0 && block[offset + i + 1] == 0) break;
        out.push_back(static_cast<char>(block[offset + i]));
    }
    return out;
}

TEST_F(PhoneDevicesTest, DevCapsHoldTheNamesWhenTheBlockHasRoomForThem) {
    std::vector<std::uint8_t> block(400, 0xEE);
    auto* caps = reinterpret_cast<PHONECAPS*>(block.data());
    // Too small for the texts: sizes, string format and the permanent ID.
    caps->dwTotalSize = 331;
    ASSERT_EQ(phones.getDevCaps(kLinelessPhone, caps), 0);
    EXPECT_EQ(caps->dwNeededSize, 332u);
    EXPECT_EQ(caps->dwUsedSize, 180u);
    EXPECT_EQ(caps->dwStringFormat, STRINGFORMAT_ASCII);
    EXPECT_EQ(caps->dwPermanentPhoneID, 0x30006u);
    EXPECT_EQ(caps->dwPhoneNameSize, 0u);
    EXPECT_EQ(block[180], 0xEE);

    caps->dwTotalSize = 332;
    ASSERT_EQ(phones.getDevCaps(kLinelessPhone, caps), 0);
    EXPECT_EQ(wideAt(block, caps->dwProviderInfoOffset, caps->dwProviderInfoSize),
              "VELKOR Service Provider");
    EXPECT_EQ(caps->dwProviderInfoOffset, 180u);
    EXPECT_EQ(caps->dwProviderInfoSize, 60u);
    EXPECT_EQ(wideAt(block, caps->dwPhoneInfoOffset, caps->dwPhoneInfoSize), "Phone Devices");
    EXPECT_EQ(caps->dwPhoneInfoOffset, 240u);
    EXPECT_EQ(caps->dwPhoneInfoSize, 28u);
    EXPECT_EQ(wideAt(block, caps->dwPhoneNameOffset, caps->dwPhoneNameSize), "PHONE 206 (SLT)");
    EXPECT_EQ(caps->dwPhoneNameOffset, 268u);
    EXPECT_EQ(caps->dwPhoneNameSize, 32u);
    EXPECT_EQ(caps->dwUsedSize, 180u + 60 + 28 + 32);
    EXPECT_EQ(caps->dwNumGetData, 16u);
    EXPECT_EQ(block[332], 0xEE);
}

TEST_F(PhoneDevicesTest, DevCapsFindTheStationByLineDeviceToo) {
    model.stations().at(kOwnIndex)->lineDeviceId = 3;
    std::vector<std::uint8_t> block(400, 0);
    auto* caps = reinterpret_cast<PHONECAPS*>(block.data());
    caps->dwTotalSize = 400;
    ASSERT_EQ(phones.getDevCaps(3, caps), 0);
    EXPECT_EQ(wideAt(block, caps->dwPhoneNameOffset, caps->dwPhoneNameSize), "PHONE 205 (DKT)");
    EXPECT_EQ(phones.getDevCaps(77, caps), PHONEERR_OPERATIONFAILED);
    caps->dwTotalSize = 179;
    EXPECT_EQ(phones.getDevCaps(kOwnPhone, caps), PHONEERR_STRUCTURETOOSMALL);
}

TEST_F(PhoneDevicesTest, TheIdIsThePhoneDeviceInItsOwnClassOnly) {
    const HDRVPHONE hd = open(kLinelessPhone);
    std::vector<std::uint8_t> block(40, 0);
    auto* id = reinterpret_cast<VARSTRING*>(block.data());
    id->dwTotalSize = 27;
    ASSERT_EQ(phones.getId(hd, id, "TAPI/Phone"), 0);
    EXPECT_EQ(id->dwNeededSize, 28u);
    EXPECT_EQ(id->dwUsedSize, 12u);
    id->dwTotalSize = 28;
    ASSERT_EQ(phones.getId(hd, id, "tapi/phone"), 0);
    EXPECT_EQ(id->dwUsedSize, 28u);
    EXPECT_EQ(id->dwStringFormat, STRINGFORMAT_BINARY);
    EXPECT_EQ(id->dwStringOffset, 24u);
    EXPECT_EQ(id->dwStringSize, 4u);
    DWORD device;
    std::memcpy(&device, block.data() + 24, 4);
    EXPECT_EQ(device, kLinelessPhone);
    EXPECT_EQ(phones.getId(hd, id, "tapi/line"), PHONEERR_INVALDEVICECLASS);
    EXPECT_EQ(phones.getId(reinterpret_cast<HDRVPHONE>(0x1), id, "tapi/phone"),
              PHONEERR_INVALPHONEHANDLE);
}

TEST(PhoneCaps, ExtensionAndVersions) {
    PHONEEXTENSIONID id{};
    EXPECT_EQ(fillPhoneExtensionId(2, &id), 0);
    EXPECT_EQ(id.dwExtensionID0, 0x7BDC3120u);
    EXPECT_EQ(id.dwExtensionID3, 0xF354241Eu);
    PHONEEXTENSIONID untouched{1, 2, 3, 4};
    EXPECT_EQ(fillPhoneExtensionId(kNoDevice, &untouched), 0);
    EXPECT_EQ(untouched.dwExtensionID0, 1u);
    for (const auto& [version, result] : std::initializer_list<std::pair<DWORD, LONG>>{
             {0x00010003, PHONEERR_INCOMPATIBLEEXTVERSION},
             {0x00010004, 0},
             {0x00020001, 0},
             {0x00020002, PHONEERR_INCOMPATIBLEEXTVERSION}}) {
        EXPECT_EQ(selectPhoneExtVersion(version), result) << std::hex << version;
    }
}

}  // namespace
}  // namespace velkor::core::testing
