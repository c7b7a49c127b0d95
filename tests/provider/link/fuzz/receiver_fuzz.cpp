// Fuzz target for the link's receivers. The input is a received byte stream;
// it goes through the binary and the STX/ETX receiver whole, byte by byte and
// in chunks whose sizes the input itself picks. A receiver must never read
// past its input and must find the same frames however the stream is cut;
// every frame it emits must be well formed. The full link (dispatch, request
// matching, time-outs) then gets the same stream.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "provider/link/atd.h"
#include "provider/link/cti.h"
#include "provider/link/encodings.h"
#include "provider/link/link.h"
#include "provider/link/receiver.h"
#include "provider/link/stx_etx.h"

namespace {

using namespace velkor::link;
using Bytes = std::vector<std::uint8_t>;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

class CollectingSink final : public FrameSink {
public:
    void onFrame(const Frame& frame) override {
        check(frame.payload.size() <= kMaxPayload);
        Bytes record{frame.typeByte};
        record.insert(record.end(), frame.payload.begin(), frame.payload.end());
        frames.push_back(std::move(record));
        // Decoders on whatever the receiver passes on.
        if (frame.type == FrameType::Atd) {
            if (const auto m = decodeAtd(frame.payload)) {
                for (std::size_t i = 0; i < atdStatusEntryCount(*m); ++i) atdStatusEntry(*m, i);
                decodeBcd4(m->data);
            }
        } else if (const auto m = decodeCti(frame.payload)) {
            decodeNum4(m->data);
            decodeCo3(m->data);
            decodePackedDigits(m->data);
            dialectFromSessionReply(m->data);
        }
    }
    std::vector<Bytes> frames;
};

// Feeds `data` in chunks: whole (mode 0), byte by byte (mode 1), or sizes
// taken from the data (mode 2).
template <typename ReceiverT>
std::vector<Bytes> run(std::span<const std::uint8_t> data, int mode, bool* inside) {
    CollectingSink sink;
    ReceiverT receiver(sink);
    bool in = false;
    std::size_t at = 0;
    std::size_t pick = 0;
    while (at < data.size()) {
        std::size_t chunk = data.size() - at;
        if (mode == 1) chunk = 1;
        if (mode == 2) chunk = std::min<std::size_t>(chunk, 1 + data[pick++ % data.size()] % 23);
        const auto piece = data.subspan(at, chunk);
        // A copy of exactly the chunk, so a read past it is caught by ASan.
        const Bytes copy(piece.begin(), piece.end());
        in = receiver.feed(copy, Channel::Cti);
        at += chunk;
    }
    *inside = in;
    return sink.frames;
}

template <typename ReceiverT>
void compareCuts(std::span<const std::uint8_t> data) {
    bool inside0 = false, inside1 = false, inside2 = false;
    const auto whole = run<ReceiverT>(data, 0, &inside0);
    check(run<ReceiverT>(data, 1, &inside1) == whole);
    check(run<ReceiverT>(data, 2, &inside2) == whole);
    check(inside0 == inside1 && inside0 == inside2);
}

// Every binary frame found, encoded again and fed alone, comes out unchanged.
void reencode(std::span<const std::uint8_t> data) {
    bool inside = false;
    for (const Bytes& f : run<Receiver>(data, 0, &inside)) {
        Bytes wire(kFrameTemplateSize);
        wire.resize(encodeFrame(f[0], std::span(f).subspan(1), wire));
        check(!wire.empty());
        CollectingSink sink;
        Receiver receiver(sink);
        check(!receiver.feed(wire, Channel::Atd));
        check(sink.frames.size() == 1 && sink.frames[0] == f);
    }
}

class NullWriter final : public FrameWriter {
public:
    bool write(std::span<const std::uint8_t> bytes, Channel) override {
        check(!bytes.empty() && bytes.size() <= kMaxFrame);
        return true;
    }
};

// Handlers that answer the way the station model might: they send from
// inside the dispatch.
class Handlers final : public EventHandler,
                       public ReplyHandler,
                       public RejectionHandler,
                       public ServiceAnswerHandler,
                       public AtdHandler {
public:
    Link* link = nullptr;
    TimePoint now;
    void onEvent(const CtiMessage& m) override { link->sendCti(m.station, 0x5A, {}, now); }
    void onReply(const CtiMessage& m) override { link->sendCti(m.station, m.code, m.data, now); }
    void onRejection(const Rejection&) override {}
    void onServiceAnswer(const ServiceAnswer& a) override { check(!a.payload.empty()); }
    void onAtd(const AtdMessage& m) override { link->sendAtd(m.code, m.data); }
};

void runLink(std::span<const std::uint8_t> data, Framing framing) {
    NullWriter writer;
    Handlers handlers;
    Link link(writer, {&handlers, &handlers, &handlers, &handlers, &handlers});
    handlers.link = &link;
    handlers.now = TimePoint{} + std::chrono::hours(1);
    link.start(framing);
    // Some requests for the answers in the stream to find.
    for (std::size_t i = 0; i + 4 <= data.size() && i < 64; i += 4) {
        const auto station = static_cast<std::uint16_t>((data[i] << 8 | data[i + 1]) % 1100);
        link.sendCti(data[i + 2] & 1 ? kSystemIndex : station, data[i + 3],
                     data.subspan(i, std::min<std::size_t>(8, data.size() - i)), handlers.now);
    }
    link.feed(data, Channel::Cti);
    link.feed(data, Channel::Atd);
    link.runLoopbacks(handlers.now + std::chrono::seconds(1));
    link.scan(handlers.now + std::chrono::seconds(10));
    link.stop();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    compareCuts<Receiver>(input);
    compareCuts<StxEtxReceiver>(input);
    reencode(input);
    runLink(input, Framing::Binary);
    runLink(input, Framing::StxEtx);
    return 0;
}
