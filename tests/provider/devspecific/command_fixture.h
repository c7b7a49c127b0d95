// The device-specific commands on one open line (station index 5, " 205")
// with a test PBX behind them: every request sent becomes one line of text,
// and the PBX can answer service requests and ATD details requests inside
// the call that sent them.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/time/virtual_clock.h"
#include "provider/core/line_operations.h"
#include "provider/devspecific/device_commands.h"
#include "provider/link/catalogue.h"
#include "tests/provider/core/model_fixture.h"

namespace velkor::devspecific::testing {

using core::testing::RecordingEvents;
using namespace std::chrono_literals;

inline constexpr std::uint16_t kOwnIndex = 5;
inline constexpr DRV_REQUESTID kRequest = 42;
inline constexpr std::uint16_t kStations = 8;
inline constexpr std::uint16_t kCos = 4;

// Printable bytes as themselves, every other byte (and '\') as \HH.
inline std::string render(std::span<const std::uint8_t> data) {
    std::string out;
    for (const std::uint8_t b : data) {
        if (b >= 0x20 && b <= 0x7E && b != '\\') {
            out += static_cast<char>(b);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "\\%02X", b);
            out += hex;
        }
    }
    return out;
}

// "CTI <station> 0x<code> <data>" and "ATD 0x<code> <data>".
class TestPbx final : public core::CtiSender, public core::AtdSender {
public:
    std::vector<std::string> sent;
    bool linkUp = true;
    std::function<void(std::uint16_t, std::uint8_t, std::span<const std::uint8_t>)> onCti;
    std::function<void(std::uint16_t, std::span<const std::uint8_t>)> onAtd;

    bool sendCti(std::uint16_t station, std::uint8_t code, std::span<const std::uint8_t> data) override {
        if (!linkUp) return false;
        char head[32];
        std::snprintf(head, sizeof head, "CTI %u 0x%02x", station, code);
        sent.push_back(std::string(head) + (data.empty() ? "" : " " + render(data)));
        if (onCti) onCti(station, code, data);
        return true;
    }
    bool sendAtd(std::uint16_t code, std::span<const std::uint8_t> data) override {
        if (!linkUp) return false;
        char head[32];
        std::snprintf(head, sizeof head, "ATD 0x%04x", code);
        sent.push_back(std::string(head) + (data.empty() ? "" : " " + render(data)));
        if (onAtd) onAtd(code, data);
        return true;
    }
};

// Records the subscriptions as "join CallRecords 5".
class RecordingSubscriptions final : public DataSubscriptions {
public:
    std::vector<std::string> log;
    void join(DataKind kind, std::uint16_t station) override { add("join", kind, station); }
    void leave(DataKind kind, std::uint16_t station) override { add("leave", kind, station); }

private:
    void add(const char* what, DataKind kind, std::uint16_t station) {
        log.push_back(std::string(what) + (kind == DataKind::CallRecords ? " CallRecords " : " OtherData ") +
                      std::to_string(station));
    }
};

class CommandFixture : public ::testing::Test {
public:
    CommandFixture() {
        clock.setAutoAdvance(true);
        model.setAtdSender(&pbx);
        model.setAtdSession(&devices);
        model.setDialect(link::Dialect::Extended);
        devices.setDataSubscriptions(&subscriptions);
        core::StationRecord* own = model.stations().at(kOwnIndex);
        own->number = " 205";
        own->type = core::kTypeDkt;
        line = model.openLine(kOwnIndex, reinterpret_cast<HTAPILINE>(0x77), nullptr);
        // A loaded ATD directory: stations 1..8 numbered 201..208, CO lines 1..4.
        core::AtdDirectory& dir = model.directory();
        dir.resetStations(kStations);
        for (std::uint16_t i = 1; i <= kStations; ++i) {
            dir.station(i)->present = true;
            dir.station(i)->index = i;
            dir.station(i)->number = 200u + i;
        }
        dir.resetCos(kCos);
        for (std::uint16_t i = 1; i <= kCos; ++i) dir.co(i)->present = true;
        // 2024-03-07 14:05:09 on the computer's clock.
        now.tm_year = 124;
        now.tm_mon = 2;
        now.tm_mday = 7;
        now.tm_hour = 14;
        now.tm_min = 5;
        now.tm_sec = 9;
    }

    // The command as TAPI hands it over: exactly its bytes, no terminator,
    // in a block of its own so that a read past it is caught.
    LONG run(std::string_view text, DWORD address = 0) {
        std::unique_ptr<char[]> block(new char[text.size() ? text.size() : 1]);
        std::copy(text.begin(), text.end(), block.get());
        return devices.lineDevSpecific(kRequest, line->handle(), address, block.get(),
                                       static_cast<DWORD>(text.size()));
    }

    // The PBX echoes every service request, and both handlers of the
    // provider hear the echo, as in the running provider.
    void echoServiceRequests(link::ServiceAnswerSource source = link::ServiceAnswerSource::Echo) {
        pbx.onCti = [this, source](std::uint16_t, std::uint8_t code, std::span<const std::uint8_t> data) {
            if (code != link::code::ServiceRequest) return;
            const std::vector<std::uint8_t> echo(data.begin(), data.end());
            serviceAnswer(echo, source);
        };
    }
    void serviceAnswer(std::span<const std::uint8_t> payload,
                       link::ServiceAnswerSource source = link::ServiceAnswerSource::Echo) {
        const link::ServiceAnswer answer{source, payload};
        lines.onServiceAnswer(answer);
        devices.onServiceAnswer(answer);
    }

    // The PBX answers station and CO details requests, the provider's
    // follow-up requests included; a CO's name-table reference is `coReference`.
    void answerDetails() {
        pbx.onAtd = [this](std::uint16_t code, std::span<const std::uint8_t> d) {
            if (d.size() < 2) return;
            const std::uint8_t hi = d[0], lo = d[1];
            switch (code) {
            case link::atd::StationDetails: feedAtd({0x03, 0x04, 2 + 4, hi, lo, 'A', 'n', 'n', 'a'}); break;
            case link::atd::StationAttributes: feedAtd({0x03, 0x01, hi, lo, 0x11, 0x00, 0x22}); break;
            case link::atd::CoDetails: feedAtd({0x04, 0x01, hi, lo, 0x11, 0x00, 0x22}); break;
            case link::atd::CoName: feedAtd({0x04, 0x03, 2 + 2, hi, lo, 'C', 'O'}); break;
            case link::atd::CoNameReference:
                feedAtd({0x04, 0x05, hi, lo, static_cast<std::uint8_t>(coReference >> 8),
                         static_cast<std::uint8_t>(coReference & 0xFF)});
                break;
            case link::atd::NameTableEntry: feedAtd({0x04, 0x04, 2 + 3, hi, lo, 'T', 'B', 'L'}); break;
            default: break;
            }
        };
    }

    void feedAtd(std::vector<std::uint8_t> payload) {
        if (const auto m = link::decodeAtd(payload)) model.onAtd(*m);
    }

    // A reply or rejection as the running provider hands it on.
    void reply(std::uint8_t code, std::string_view data = {}) {
        link::CtiMessage m;
        m.station = kOwnIndex;
        m.code = code;
        m.data = {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
        lines.onReply(m);
        devices.onReply(m);
    }
    void reject(std::uint8_t request, std::uint8_t cause) {
        lines.onRejection(link::Rejection{kOwnIndex, link::rejectionCode(request), cause, false});
    }

    // The subscriptions and one-shot requests the line holds.
    std::string flags() const {
        std::string out;
        const auto add = [&](bool on, const char* name) {
            if (!on) return;
            if (!out.empty()) out += ' ';
            out += name;
        };
        add(line->wantsAllStationStatus, "allStationStatus");
        add(line->subscribedStationStatus, "stationStatus");
        add(line->wantsAllCoStatus, "allCoStatus");
        add(line->subscribedCoStatus, "coStatus");
        add(line->wantsStationInfo, "stationInfo");
        add(line->wantsCoInfo, "coInfo");
        add(line->wantsStationNumbers, "stationNumbers");
        add(line->wantsParkNumbers, "parkNumbers");
        add(line->wantsStationTypes, "stationTypes");
        return out;
    }

    platform::VirtualClock clock;
    RecordingEvents events;
    TestPbx pbx;
    core::StationModel model{events, pbx};
    core::LineOperations lines{model, clock, [] { return core::LocationPrefixes{}; }};
    RecordingSubscriptions subscriptions;
    bool atdActive = true;
    std::tm now{};
    std::uint16_t coReference = 0;
    DeviceCommands devices{model, pbx, [this] { return atdActive; }, clock, [this] { return now; }};
    core::LineContext* line = nullptr;
};

}  // namespace velkor::devspecific::testing
