#include "tools/pbxsim/pbx.h"

#include <algorithm>
#include <cstdio>

#include "provider/link/catalogue.h"
#include "provider/link/cti.h"
#include "tools/pbxsim/byte_text.h"

namespace velkor::pbxsim {

namespace {

// The record list is for tests and scenarios; a long-running simulator keeps
// only the recent part of it.
constexpr std::size_t kRecordLimit = 200000;

Way wayOf(link::Channel channel) { return channel == link::Channel::Atd ? Way::Atd : Way::Cti; }

}  // namespace

Pbx::Pbx(PbxConfig config, PbxOutput& output, platform::Clock& clock, Options options)
    : m_config(std::move(config)),
      m_output(output),
      m_clock(clock),
      m_options(options),
      m_start(clock.now()),
      m_receiver(*this),
      m_stxReceiver(*this),
      m_sender(*this) {
    startKeepAlive();
}

Pbx::~Pbx() = default;

void Pbx::startKeepAlive() {
    if (m_config.keepAliveMs == 0) return;
    const auto period = std::chrono::milliseconds(m_config.keepAliveMs);
    m_schedule.at(m_clock.now() + period, [this] {
        // The PBX's keep-alive goes to the system as a whole; the provider
        // answers it with its own 0x8B.
        sendCti(link::kSystemIndex, link::code::KeepAlive, {});
        startKeepAlive();
    });
}

void Pbx::receive(link::Channel channel, std::span<const std::uint8_t> bytes) {
    if (m_options.framing == link::Framing::StxEtx && channel != link::Channel::Atd) {
        m_stxReceiver.feed(bytes, channel);
    } else {
        m_receiver.feed(bytes, channel);
    }
}

void Pbx::onFrame(const link::Frame& frame) {
    FrameRecord r;
    r.time = m_clock.now();
    r.received = true;
    const auto payload = frame.payload;
    if (frame.type == link::FrameType::Cti) {
        r.kind = FrameKind::Cti;
        r.stx = frame.typeByte == link::kStx;
        if (r.stx) {
            r.raw.push_back(link::kStx);
            r.raw.insert(r.raw.end(), payload.begin() + std::min<std::size_t>(3, payload.size()),
                         payload.end());
            r.raw.push_back(link::kEtx);
        }
        const auto message = link::decodeCti(payload);
        if (!message) {
            r.note = "too short for a CTI message";
        } else {
            r.station = message->station;
            r.code = message->code;
            r.data.assign(message->data.begin(), message->data.end());
        }
    } else {
        r.kind = FrameKind::Atd;
        const auto message = link::decodeAtd(payload);
        if (!message) {
            r.note = "too short for an ATD message";
        } else {
            r.code = message->code;
            r.codeWidth = message->codeWidth;
            r.data.assign(payload.begin() + message->codeWidth, payload.end());
        }
    }
    if (!r.stx) {
        r.raw.resize(link::kMaxFrame);
        r.raw.resize(link::encodeFrame(frame.typeByte, payload, r.raw));
    }
    const bool decodable = r.note.empty();
    if (decodable && !m_autoAnswer) r.note = "not answered: scripted";
    record(r);
    if (decodable && m_autoAnswer) dispatch(r);
}

void Pbx::dispatch(const FrameRecord& r) {
    const Way way = r.kind == FrameKind::Atd ? Way::Atd : Way::Cti;
    const auto rule = m_faults.takeRule(way, r.code);
    if (rule && rule->action == AnswerAction::Ignore) {
        note("no answer to the frame above: told to ignore it");
        return;
    }
    if (rule && rule->action == AnswerAction::Reject) {
        if (way == Way::Atd) {
            if (r.code == link::atd::OpenSession) {
                sendAtd(link::atd::SessionRefused, {});
            } else {
                note("no answer to the frame above: told to reject it");
            }
        } else if (r.code == link::code::ServiceRequest) {
            // The PBX's other answer to a service request: the same payload
            // under code 0xCC.
            sendCti(link::kSystemIndex, link::rejectionCode(link::code::ServiceRequest), r.data);
        } else {
            reject(r.station, static_cast<std::uint8_t>(r.code), rule->cause);
        }
        return;
    }
    if (rule && rule->action == AnswerAction::Delay) m_answerDelay = rule->delay;
    if (way == Way::Atd) {
        handleAtd(AtdRequest{r.code, r.data});
    } else {
        handleCti(CtiRequest{r.station, static_cast<std::uint8_t>(r.code), r.data});
    }
    m_answerDelay = platform::Duration{0};
}

bool Pbx::sendCti(std::uint16_t station, std::uint8_t code, std::span<const std::uint8_t> data) {
    FrameRecord r;
    r.kind = FrameKind::Cti;
    r.station = station;
    r.code = code;
    r.data.assign(data.begin(), data.end());
    m_building = &r;
    bool sent = false;
    if (m_options.framing == link::Framing::StxEtx) {
        r.stx = true;
        sent = m_sender.sendStxEtx(code, data);
    } else {
        sent = m_sender.sendCti(station, code, data);
    }
    m_building = nullptr;
    return sent;
}

bool Pbx::sendAtd(std::uint16_t code, std::span<const std::uint8_t> data, link::AtdShape shape) {
    FrameRecord r;
    r.kind = FrameKind::Atd;
    r.code = code;
    r.codeWidth = link::atdShapeInfo(shape).codeWidth;
    r.data.assign(data.begin(), data.end());
    if (link::atdShapeInfo(shape).lengthByte) {
        r.data.insert(r.data.begin(), static_cast<std::uint8_t>(data.size()));
    }
    m_building = &r;
    const bool sent = m_sender.sendAtd(shape, code, data);
    m_building = nullptr;
    return sent;
}

void Pbx::sendRaw(link::Channel channel, std::span<const std::uint8_t> bytes) {
    FrameRecord r;
    r.kind = FrameKind::Raw;
    emit(channel, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), std::move(r));
}

void Pbx::reject(std::uint16_t station, std::uint8_t request, std::uint8_t cause) {
    const std::uint8_t data[] = {cause};
    sendCti(station, link::rejectionCode(request), data);
}

bool Pbx::write(std::span<const std::uint8_t> bytes, link::Channel channel) {
    FrameRecord r = m_building ? *m_building : FrameRecord{};
    emit(channel, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), std::move(r));
    return true;
}

void Pbx::emit(link::Channel channel, std::vector<std::uint8_t> bytes, FrameRecord r) {
    if (m_answerDelay > platform::Duration{0}) {
        const auto delay = m_answerDelay;
        m_schedule.at(m_clock.now() + delay,
                      [this, channel, bytes = std::move(bytes), r = std::move(r)]() mutable {
                          const auto saved = m_answerDelay;
                          m_answerDelay = platform::Duration{0};
                          emit(channel, std::move(bytes), std::move(r));
                          m_answerDelay = saved;
                      });
        return;
    }
    const Faults::Outcome outcome = m_faults.apply(wayOf(channel), bytes);
    r.time = m_clock.now();
    r.received = false;
    r.raw = bytes;
    r.note = outcome.note;
    record(r);
    if (outcome.send) m_output.transmit(channel, bytes);
}

void Pbx::record(FrameRecord r) {
    if (m_logSink) m_logSink(logLine(r, m_start));
    for (FrameObserver* observer : std::vector<FrameObserver*>(m_observers)) {
        observer->onFrameRecord(r);
    }
    if (m_records.size() >= kRecordLimit) {
        m_records.erase(m_records.begin(), m_records.begin() + kRecordLimit / 2);
    }
    m_records.push_back(std::move(r));
}

void Pbx::note(const std::string& text) {
    if (!m_logSink) return;
    const double seconds = std::chrono::duration<double>(m_clock.now() - m_start).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%10.3f -- ", seconds);
    m_logSink(stamp + text);
}

void Pbx::addObserver(FrameObserver* observer) { m_observers.push_back(observer); }

void Pbx::removeObserver(FrameObserver* observer) { std::erase(m_observers, observer); }

std::vector<FrameRecord> Pbx::receivedRecords() const {
    std::vector<FrameRecord> out;
    std::copy_if(m_records.begin(), m_records.end(), std::back_inserter(out),
                 [](const FrameRecord& r) { return r.received; });
    return out;
}

std::uint8_t Pbx::stationStatus(std::uint16_t index) const {
    const auto it = m_stationStatus.find(index);
    return it == m_stationStatus.end() ? kIdleStatus : it->second;
}

std::uint8_t Pbx::coStatus(std::uint16_t index) const {
    const auto it = m_coStatus.find(index);
    return it == m_coStatus.end() ? kIdleStatus : it->second;
}

std::string Pbx::stateText() const {
    std::string out = "model " + m_config.modelCode + " version " + m_config.version;
    out += m_options.framing == link::Framing::StxEtx ? ", single-station" : ", binary";
    out += m_sessionOpen ? ", session open" : ", session closed";
    out += ", " + std::to_string(m_monitored.size()) + " monitored";
    out += m_atdOpen ? ", ATD open" : ", ATD closed";
    if (m_reporting) out += ", status reporting";
    out += ", " + m_faults.text();
    if (!m_autoAnswer) out += ", answers scripted";
    return out;
}

}  // namespace velkor::pbxsim
