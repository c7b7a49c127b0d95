// A station model on a recording TAPI: every LINE_* the model raises becomes
// one line of text, calls named c1, c2 ... in the order TAPI first saw them.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "provider/core/model.h"
#include "provider/link/catalogue.h"
#include "tapi_names.h"

namespace velkor::core::testing {

inline std::string stateName(DWORD state) {
    if (state == 0) return "0";
    const char* n = lineCallStateName(state);
    return n ? std::string(n).substr(std::strlen("LINECALLSTATE_")) : std::to_string(state);
}

inline std::string infoNames(DWORD flags) {
    std::string out;
    for (const TapiCodeName& n : kLineCallInfoStateNames) {
        if (!(flags & n.value)) continue;
        if (!out.empty()) out += '|';
        out += std::string(n.name).substr(std::strlen("LINECALLINFOSTATE_"));
    }
    return out;
}

class RecordingEvents final : public TapiEvents {
public:
    std::vector<std::string> log;
    std::map<const CallContext*, int> names;
    int nextName = 1;
    // LINE_NEWCALL answers with no handle while set.
    bool refuseCalls = false;

    std::string name(const CallContext* c) {
        const auto it = names.find(c);
        return it == names.end() ? "c?" : "c" + std::to_string(it->second);
    }

    void lineEvent(const LineContext&, const CallContext* call, DWORD message, DWORD_PTR p1,
                   DWORD_PTR p2, DWORD_PTR p3) override {
        switch (message) {
        case LINE_CALLSTATE:
            log.push_back(name(call) + " CALLSTATE " + stateName(static_cast<DWORD>(p1)) +
                          (p2 ? " mode=" + hex(p2) : "") + (p3 == LINEMEDIAMODE_INTERACTIVEVOICE ? "" : " media?"));
            break;
        case LINE_CALLINFO:
            log.push_back(name(call) + " CALLINFO " + infoNames(static_cast<DWORD>(p1)));
            break;
        case LINE_DEVSPECIFIC:
            log.push_back("DEVSPECIFIC " + std::to_string(p1) + "," + std::to_string(p2) + "," +
                          std::to_string(p3));
            break;
        case LINE_ADDRESSSTATE:
            log.push_back(p2 == LINEADDRESSSTATE_FORWARD ? "ADDRESSSTATE FORWARD" : "ADDRESSSTATE " + hex(p2));
            break;
        case LINE_CLOSE:
            log.push_back("CLOSE");
            break;
        default:
            log.push_back("LINE message " + std::to_string(message));
        }
    }
    HTAPICALL newCall(const LineContext&, CallContext& call) override {
        if (refuseCalls) {
            log.push_back("NEWCALL refused");
            return nullptr;
        }
        names[&call] = nextName++;
        log.push_back(name(&call) + " NEWCALL");
        return reinterpret_cast<HTAPICALL>(static_cast<std::uintptr_t>(0x1000 + names[&call]));
    }
    void providerEvent(DWORD message, DWORD_PTR p1, DWORD_PTR p2) override {
        if (message == LINE_CREATE) log.push_back("CREATE " + std::to_string(p2) + " provider=" + hex(p1));
        else if (message == LINE_REMOVE) log.push_back("REMOVE " + std::to_string(p1));
        else log.push_back("PROVIDER message " + std::to_string(message));
    }
    void complete(DRV_REQUESTID request, LONG result) override {
        log.push_back("COMPLETE " + std::to_string(request) + "," + std::to_string(result));
    }
    void phoneDevSpecificAll(DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) override {
        log.push_back("PHONE_DEVSPECIFIC " + std::to_string(p1) + "," + std::to_string(p2) + "," +
                      std::to_string(p3));
    }

    static std::string hex(DWORD_PTR v) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "0x%lx", static_cast<unsigned long>(v));
        return buf;
    }
};

class RecordingSender final : public CtiSender, public AtdSender {
public:
    std::vector<std::string> sent;
    // Called after each CTI request is recorded: a test's PBX answering.
    std::function<void(std::uint16_t station, std::uint8_t code)> onSend;
    bool sendCti(std::uint16_t station, std::uint8_t code, std::span<const std::uint8_t> data) override {
        sent.push_back("CTI " + std::to_string(station) + " " + RecordingEvents::hex(code) +
                       (data.empty() ? "" : " " + std::string(data.begin(), data.end())));
        if (onSend) onSend(station, code);
        return true;
    }
    bool sendAtd(std::uint16_t code, std::span<const std::uint8_t> data) override {
        std::string s = "ATD " + RecordingEvents::hex(code);
        for (auto b : data) s += " " + std::to_string(b);
        sent.push_back(s);
        return true;
    }
};

// A call as a test sets it up: key, state, role.
struct CallSetup {
    std::string key;
    DWORD state = 0;
    std::uint32_t role = kRoleOrdinary;
    PartyKind party = PartyKind::Station;
    bool pending = false;
};

inline constexpr std::uint16_t kOwnIndex = 5;
inline constexpr const char* kOwnNumber = " 205";

class ModelFixture : public ::testing::Test {
protected:
    ModelFixture() : model(events, sender, [this](platform::Duration d) {
        pauses.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    }) {
        model.setAtdSender(&sender);
        model.stations().at(kOwnIndex)->number = kOwnNumber;
        model.stations().at(kOwnIndex)->type = kTypeDkt;
        line = model.openLine(kOwnIndex, reinterpret_cast<HTAPILINE>(0x77), nullptr);
    }

    void setUpCalls(const std::vector<CallSetup>& calls) {
        for (const CallSetup& setup : calls) {
            CallContext* c = model.createCall(*line, true);
            c->key = setup.key;
            c->state = setup.state;
            c->role = setup.role;
            c->partyKind = setup.party;
            c->requestPending = setup.pending;
        }
        events.log.clear();
    }

    void feed(std::uint8_t code, std::string_view data, std::uint16_t station = kOwnIndex) {
        link::CtiMessage m;
        m.station = station;
        m.code = code;
        m.data = {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
        model.onEvent(m);
    }

    void feedAtd(std::vector<std::uint8_t> payload) {
        if (const auto m = link::decodeAtd(payload)) model.onAtd(*m);
    }

    CallContext& call(std::size_t i) { return *line->calls.at(i); }

    // Every call of the line: name, state, key and the party texts it holds.
    std::vector<std::string> calls() {
        std::vector<std::string> out;
        for (const auto& c : line->calls) {
            std::string s = events.name(c.get()) + " " + stateName(c->state);
            if (!c->key.empty()) s += " [" + c->key + "]";
            const auto party = [&](const char* what, const PartyId& p) {
                if (!p.number.empty() || !p.name.empty()) s += std::string(" ") + what + "=" + p.number + "/" + p.name;
            };
            party("caller", c->caller);
            party("called", c->called);
            party("connected", c->connected);
            party("redirecting", c->redirecting);
            party("redirection", c->redirection);
            out.push_back(s);
        }
        return out;
    }

    RecordingEvents events;
    RecordingSender sender;
    std::vector<long> pauses;
    StationModel model;
    LineContext* line = nullptr;
};

}  // namespace velkor::core::testing
