#include "provider/link/receiver.h"

#include <algorithm>
#include <cstring>

namespace velkor::link {

namespace {

std::size_t slotIndex(Channel channel) { return static_cast<std::size_t>(channel); }

}  // namespace

Receiver::Receiver(FrameSink& sink) : m_sink(sink) {}

bool Receiver::feed(std::span<const std::uint8_t> bytes, Channel channel) {
    const std::size_t index = slotIndex(channel);
    if (index >= m_slots.size()) return false;
    Slot& slot = m_slots[index];
    if (!bytes.empty()) run(slot, bytes.data(), bytes.size(), channel);
    return slot.state != State::Idle;
}

bool Receiver::insideFrame(Channel channel) const {
    const std::size_t index = slotIndex(channel);
    return index < m_slots.size() && m_slots[index].state != State::Idle;
}

bool Receiver::insideFrame() const {
    return std::any_of(m_slots.begin(), m_slots.end(),
                       [](const Slot& s) { return s.state != State::Idle; });
}

void Receiver::reset() {
    for (Slot& slot : m_slots) {
        slot.state = State::Idle;
        slot.count = 0;
    }
}

void Receiver::emit(Slot& slot, Channel channel) {
    Frame frame;
    frame.typeByte = slot.raw[2];
    frame.type = frameTypeOf(frame.typeByte).value_or(FrameType::Cti);
    frame.channel = channel;
    frame.payload = std::span<const std::uint8_t>(&slot.raw[4], slot.length);
    slot.state = State::Idle;
    slot.count = 0;
    m_sink.onFrame(frame);
}

// `begin` is the offset in `data` of the current candidate's 0xBA, or npos
// when the candidate started in an earlier call. A corrupt candidate that
// started here is rescanned in place from the byte after its 0xBA; one that
// started earlier is rescanned from the copy kept in the slot. In that replay
// every candidate starts inside the replay buffer, so it never replays again.
void Receiver::run(Slot& slot, const std::uint8_t* data, std::size_t size, Channel channel) {
    constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::size_t begin = npos;
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t byte = data[i];
        bool ok = true;
        switch (slot.state) {
            case State::Idle: {
                const void* found = std::memchr(data + i, kStartMark1, size - i);
                if (found == nullptr) return;
                i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
                begin = i;
                slot.raw[0] = kStartMark1;
                slot.count = 1;
                slot.state = State::StartMark2;
                ++i;
                continue;
            }
            case State::StartMark2:
                ok = byte == kStartMark2;
                slot.state = State::Type;
                break;
            case State::Type:
                ok = frameTypeOf(byte).has_value();
                slot.state = State::Length;
                break;
            case State::Length: {
                const auto length = decodeLengthByte(byte);
                ok = length.has_value();
                slot.length = length.value_or(0);
                slot.state = slot.length == 0 ? State::Checksum : State::Payload;
                break;
            }
            case State::Payload: {
                const std::size_t want = 4 + slot.length - slot.count;
                const std::size_t take = std::min(want, size - i);
                std::memcpy(&slot.raw[slot.count], data + i, take);
                slot.count += take;
                i += take;
                if (take == want) slot.state = State::Checksum;
                continue;
            }
            case State::Checksum:
                ok = byte == frameChecksum(slot.raw[2], slot.raw[3],
                                           std::span<const std::uint8_t>(&slot.raw[4], slot.length));
                slot.state = State::EndMark;
                break;
            case State::EndMark:
                if (byte == kEndMark) {
                    ++i;
                    begin = npos;
                    emit(slot, channel);
                    continue;
                }
                ok = false;
                break;
        }
        if (ok) {
            slot.raw[slot.count++] = byte;
            ++i;
            continue;
        }

        // Corrupt candidate: look again at everything after its start mark.
        if (begin != npos) {
            i = begin + 1;
            begin = npos;
            slot.state = State::Idle;
            slot.count = 0;
        } else {
            std::array<std::uint8_t, kMaxFrame> replay;
            const std::size_t kept = slot.count - 1;
            std::memcpy(replay.data(), &slot.raw[1], kept);
            replay[kept] = byte;
            slot.state = State::Idle;
            slot.count = 0;
            run(slot, replay.data(), kept + 1, channel);
            ++i;
        }
    }
}

}  // namespace velkor::link
