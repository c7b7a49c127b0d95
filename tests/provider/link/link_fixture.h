#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link_test_util.h"
#include "provider/link/link.h"

namespace velkor::link::testing {

// Logs every handler call as one line, e.g. "reply 0005 55 2020", "reject
// 0005 A5 cause 7F timeout", "service echo 04020005", "atd 1:83 data 000501".
class RecordingHandlers final : public EventHandler,
                                public ReplyHandler,
                                public RejectionHandler,
                                public ServiceAnswerHandler,
                                public AtdHandler {
public:
    void onEvent(const CtiMessage& m) override { log.push_back("event " + cti(m)); }
    void onReply(const CtiMessage& m) override { log.push_back("reply " + cti(m)); }
    void onRejection(const Rejection& r) override {
        log.push_back("reject " + station(r.station) + " " + byte(r.code) + " cause " +
                      byte(r.cause) + (r.timedOut ? " timeout" : ""));
    }
    void onServiceAnswer(const ServiceAnswer& a) override {
        static const char* const kSources[] = {"echo", "rejected", "timeout", "loopback"};
        log.push_back(std::string("service ") + kSources[static_cast<int>(a.source)] + " " +
                      toHex(a.payload));
    }
    void onAtd(const AtdMessage& m) override {
        log.push_back("atd " + std::to_string(m.codeWidth) + ":" +
                      (m.codeWidth == 1 ? byte(static_cast<std::uint8_t>(m.code))
                                        : station(m.code)) +
                      " count " + std::to_string(m.count) + " data " + toHex(m.data));
    }

    LinkHandlers handlers() { return {this, this, this, this, this}; }

    std::vector<std::string> take() { return std::exchange(log, {}); }

    std::vector<std::string> log;

private:
    static std::string byte(std::uint8_t b) { return toHex(std::span(&b, 1)); }
    static std::string station(std::uint16_t s) {
        return byte(static_cast<std::uint8_t>(s >> 8)) + byte(static_cast<std::uint8_t>(s));
    }
    static std::string cti(const CtiMessage& m) {
        return station(m.station) + " " + byte(m.code) + (m.data.empty() ? "" : " ") +
               toHex(m.data);
    }
};

using Log = std::vector<std::string>;

class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override { link.start(Framing::Binary); }

    // Bytes the PBX sends on the CTI channel.
    void pbx(std::uint16_t station, std::uint8_t code, const Bytes& data = {}) {
        link.feed(ctiFrame(station, code, data), Channel::Cti);
    }
    bool send(std::uint16_t station, std::uint8_t code, const Bytes& data = {}) {
        return link.sendCti(station, code, data, now);
    }
    void after(std::chrono::milliseconds step) { now += step; }
    void scanAfter(std::chrono::milliseconds step) {
        now += step;
        link.scan(now);
    }

    TimePoint now = TimePoint{} + std::chrono::hours(1);
    RecordingWriter writer;
    RecordingHandlers recorded;
    Link link{writer, recorded.handlers()};
};

}  // namespace velkor::link::testing
