#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

#include "platform/time/virtual_clock.h"
#include "provider/link/catalogue.h"
#include "provider/link/handlers.h"
#include "provider/link/link.h"
#include "tools/pbxsim/pbx.h"
#include "tools/pbxsim/pbx_config.h"

namespace velkor::pbxsim::testing {

// What the provider's link dispatched, in order.
struct Heard : link::ReplyHandler, link::RejectionHandler, link::EventHandler, link::AtdHandler,
               link::ServiceAnswerHandler {
    struct Cti {
        std::uint16_t station;
        std::uint8_t code;
        std::vector<std::uint8_t> data;
    };
    struct Atd {
        std::uint16_t code;
        std::vector<std::uint8_t> data;
    };
    std::vector<Cti> replies;
    std::vector<Cti> events;
    std::vector<link::Rejection> rejections;
    std::vector<Atd> atd;
    std::vector<std::pair<link::ServiceAnswerSource, std::vector<std::uint8_t>>> services;

    void onReply(const link::CtiMessage& m) override {
        replies.push_back({m.station, m.code, {m.data.begin(), m.data.end()}});
        if (replyHook) replyHook(m);
    }
    void onEvent(const link::CtiMessage& m) override {
        events.push_back({m.station, m.code, {m.data.begin(), m.data.end()}});
        if (forward) forward->onEvent(m);
    }
    void onRejection(const link::Rejection& r) override { rejections.push_back(r); }
    void onAtd(const link::AtdMessage& m) override {
        std::vector<std::uint8_t> data;
        if (m.codeWidth == 1) data.push_back(m.count);
        data.insert(data.end(), m.data.begin(), m.data.end());
        atd.push_back({m.code, std::move(data)});
    }
    void onServiceAnswer(const link::ServiceAnswer& a) override {
        services.emplace_back(a.source, std::vector<std::uint8_t>(a.payload.begin(), a.payload.end()));
    }
    // Also hears every event (the provider's station model, say).
    link::EventHandler* forward = nullptr;
    // Also hears every reply (the provider's device-specific commands, say).
    std::function<void(const link::CtiMessage&)> replyHook;

    void clear() {
        link::EventHandler* keep = forward;
        auto keepHook = std::move(replyHook);
        *this = Heard{};
        forward = keep;
        replyHook = std::move(keepHook);
    }
};

// The provider's link and the PBX core joined by two byte queues in one
// process: what one side writes reaches the other when the test pumps.
class SimFixture : public ::testing::Test, private link::FrameWriter, public PbxOutput {
protected:
    static PbxConfig config(std::string_view text) {
        ConfigResult result = parseConfig(text);
        EXPECT_TRUE(result.errors.empty()) << result.errors.front();
        return result.config.value_or(PbxConfig{});
    }

    void makePbx(std::string_view configText, link::Framing framing = link::Framing::Binary) {
        Pbx::Options options;
        options.framing = framing;
        pbx = std::make_unique<Pbx>(config(configText), static_cast<PbxOutput&>(*this), clock, options);
        provider.start(framing);
    }

    // Delivers queued bytes both ways until nothing moves.
    void pump() {
        while (!toPbx.empty() || !toProvider.empty()) {
            while (!toPbx.empty()) {
                auto [channel, bytes] = std::move(toPbx.front());
                toPbx.pop_front();
                pbx->receive(channel, bytes);
            }
            while (!toProvider.empty()) {
                auto [channel, bytes] = std::move(toProvider.front());
                toProvider.pop_front();
                provider.feed(bytes, channel);
            }
        }
    }
    void advance(platform::Duration step) {
        clock.advance(step);
        pbx->runDue();
        pump();
    }

    void cti(std::uint16_t station, std::uint8_t code, std::vector<std::uint8_t> data) {
        ASSERT_TRUE(provider.sendCti(station, code, data, clock.now()));
        pump();
    }
    void atd(std::uint16_t code, std::vector<std::uint8_t> data = {}) {
        ASSERT_TRUE(provider.sendAtd(code, data));
        pump();
    }

    platform::VirtualClock clock;
    Heard heard;
    link::Link provider{*this, link::LinkHandlers{&heard, &heard, &heard, &heard, &heard}};
    std::unique_ptr<Pbx> pbx;
    // Channel::Serial joins both channels, as a serial line does.
    link::Channel wireChannel = link::Channel::Cti;

private:
    bool write(std::span<const std::uint8_t> bytes, link::Channel channel) override {
        toPbx.emplace_back(wireChannel == link::Channel::Serial ? link::Channel::Serial : channel,
                           std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        return true;
    }
    void transmit(link::Channel channel, std::span<const std::uint8_t> bytes) override {
        toProvider.emplace_back(wireChannel == link::Channel::Serial ? link::Channel::Serial : channel,
                                std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    }

    std::deque<std::pair<link::Channel, std::vector<std::uint8_t>>> toPbx;
    std::deque<std::pair<link::Channel, std::vector<std::uint8_t>>> toProvider;
};

inline std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace velkor::pbxsim::testing
