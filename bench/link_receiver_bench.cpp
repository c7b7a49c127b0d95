// Throughput of the binary frame receiver over a recorded stream of mixed
// valid and corrupt frames, beside a plain memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "provider/link/frame.h"
#include "provider/link/receiver.h"
#include "provider/link/stx_etx.h"

namespace {

using namespace velkor::link;
using Bytes = std::vector<std::uint8_t>;

// Small fixed-seed generator, so the stream is the same on every run and host.
class Lcg {
public:
    std::uint32_t next() {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(m_state >> 33);
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }

private:
    std::uint64_t m_state = 0x5EED1234ABCDULL;
};

void appendFrame(Bytes& out, std::uint8_t type, const Bytes& payload) {
    std::uint8_t wire[kFrameTemplateSize];
    const std::size_t size = encodeFrame(type, payload, wire);
    out.insert(out.end(), wire, wire + size);
}

// About 1 MiB: 70 % CTI frames, 15 % ATD frames, 15 % damaged frames (bad
// checksum, bad guard bits, cut short, noise).
const Bytes& recordedStream() {
    static const Bytes stream = [] {
        Lcg rng;
        Bytes out;
        while (out.size() < (1u << 20)) {
            const std::uint32_t kind = rng.below(100);
            Bytes payload(4 + rng.below(60));
            for (auto& b : payload) b = static_cast<std::uint8_t>(rng.next());
            if (kind < 70) {
                appendFrame(out, kTypeCti, payload);
            } else if (kind < 85) {
                appendFrame(out, kTypeAtd, payload);
            } else {
                Bytes bad;
                appendFrame(bad, kTypeCti, payload);
                switch (rng.below(4)) {
                    case 0: bad[bad.size() - 2] ^= 0x01; break;         // checksum
                    case 1: bad[3] &= 0x3F; break;                      // guard bits
                    case 2: bad.resize(4 + rng.below(payload.size())); break;  // cut short
                    default:
                        for (auto& b : bad) b = static_cast<std::uint8_t>(rng.next());
                }
                out.insert(out.end(), bad.begin(), bad.end());
            }
        }
        return out;
    }();
    return stream;
}

class CountingSink final : public FrameSink {
public:
    void onFrame(const Frame& frame) override {
        ++frames;
        bytes += frame.payload.size();
    }
    std::size_t frames = 0;
    std::size_t bytes = 0;
};

// Fed in the chunk size of a UDP datagram read (2048) or of a serial read (80).
void BM_ReceiverFeed(benchmark::State& state) {
    const Bytes& stream = recordedStream();
    const auto chunk = static_cast<std::size_t>(state.range(0));
    CountingSink sink;
    Receiver receiver(sink);
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            const std::size_t n = std::min(chunk, stream.size() - at);
            benchmark::DoNotOptimize(receiver.feed({stream.data() + at, n}, Channel::Serial));
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["frames/pass"] =
        static_cast<double>(sink.frames) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ReceiverFeed)->Arg(2048)->Arg(80)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_Memcpy(benchmark::State& state) {
    const Bytes& stream = recordedStream();
    Bytes copy(stream.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), stream.data(), stream.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_Memcpy)->Repetitions(9)->ReportAggregatesOnly(true);

// The STX/ETX receiver over the same bytes (mostly noise to it).
void BM_StxEtxReceiverFeed(benchmark::State& state) {
    const Bytes& stream = recordedStream();
    CountingSink sink;
    StxEtxReceiver receiver(sink);
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += 2048) {
            const std::size_t n = std::min<std::size_t>(2048, stream.size() - at);
            benchmark::DoNotOptimize(receiver.feed({stream.data() + at, n}, Channel::Cti));
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_StxEtxReceiverFeed)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
