#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace velkor::tsp_testing {

// One frame of the simulator's frame log (--log FILE):
//      0.530 rx cti FFFF 50 SessionControl | 23 23 "##"  [BA EC ...]
//      5.402 rx atd 0003 Close  [BA EC ...]
// "rx" is what the PBX received from the provider, "tx" what it sent.
struct LoggedFrame {
    double seconds = 0;
    bool received = false;
    bool atd = false;
    // CTI only: the station index.
    std::uint16_t station = 0;
    std::uint16_t code = 0;
    // CTI: the bytes after the code; ATD: the bytes after the code bytes.
    std::vector<std::uint8_t> data;
    std::string text;

    bool isCti(bool rx, std::uint16_t atStation, std::uint8_t withCode,
               std::vector<std::uint8_t> startingWith = {}) const {
        return !atd && received == rx && station == atStation && code == withCode &&
               data.size() >= startingWith.size() &&
               std::equal(startingWith.begin(), startingWith.end(), data.begin());
    }
    bool isAtd(bool rx, std::uint16_t withCode) const {
        return atd && received == rx && code == withCode;
    }
};

inline std::optional<std::uint32_t> parseHex(const std::string& word, std::size_t digits) {
    if (word.size() != digits) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : word) {
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(d);
    }
    return value;
}

// A frame line of the log; nullopt for notes and other lines.
inline std::optional<LoggedFrame> parseFrameLine(const std::string& line) {
    std::istringstream in(line);
    LoggedFrame f;
    std::string direction;
    std::string kind;
    if (!(in >> f.seconds >> direction >> kind)) return std::nullopt;
    if (direction != "rx" && direction != "tx") return std::nullopt;
    f.received = direction == "rx";
    std::string word;
    if (kind == "cti") {
        std::string station;
        std::string code;
        if (!(in >> station >> code)) return std::nullopt;
        const auto s = parseHex(station, 4);
        const auto c = parseHex(code, 2);
        if (!s || !c) return std::nullopt;
        f.station = static_cast<std::uint16_t>(*s);
        f.code = static_cast<std::uint16_t>(*c);
    } else if (kind == "atd") {
        std::string code;
        if (!(in >> code)) return std::nullopt;
        auto c = parseHex(code, 4);
        if (!c) c = parseHex(code, 2);
        if (!c) return std::nullopt;
        f.atd = true;
        f.code = static_cast<std::uint16_t>(*c);
    } else {
        return std::nullopt;
    }
    // The message name, then "| XX XX ..." when the frame carries data.
    if (in >> word && in >> word && word == "|") {
        while (in >> word) {
            const auto byte = parseHex(word, 2);
            if (!byte) break;
            f.data.push_back(static_cast<std::uint8_t>(*byte));
        }
    }
    f.text = line;
    return f;
}

// The frames the simulator logged so far.
inline std::vector<LoggedFrame> readFrameLog(const std::filesystem::path& file) {
    std::vector<LoggedFrame> frames;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (auto f = parseFrameLine(line)) frames.push_back(std::move(*f));
    }
    return frames;
}

// Reads the log again and again until `ready` holds for its frames or
// `limit` passed; returns the frames last read.
inline std::vector<LoggedFrame> waitForFrames(
    const std::filesystem::path& file,
    const std::function<bool(const std::vector<LoggedFrame>&)>& ready,
    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<LoggedFrame> frames = readFrameLog(file);
    while (!ready(frames) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        frames = readFrameLog(file);
    }
    return frames;
}

// The frames once the log stopped growing for `quiet` (the provider's last
// requests of a step go out after the entry point returned).
inline std::vector<LoggedFrame> settledFrames(
    const std::filesystem::path& file,
    std::chrono::milliseconds quiet = std::chrono::milliseconds(300),
    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<LoggedFrame> frames = readFrameLog(file);
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(quiet);
        std::vector<LoggedFrame> again = readFrameLog(file);
        if (again.size() == frames.size()) break;
        frames = std::move(again);
    }
    return frames;
}

// The frame lines for a failure message, without the station descriptions
// and directory entries (hundreds of them, all alike).
inline std::string framesText(const std::vector<LoggedFrame>& frames) {
    constexpr std::uint8_t kQuery = 0x51;
    constexpr std::uint8_t kDescription = 0x22;
    constexpr std::uint16_t kDirectoryEntry = 0x0309;
    std::string out;
    for (const LoggedFrame& f : frames) {
        const bool description =
            !f.atd && f.code == kQuery && !f.data.empty() && f.data[0] == kDescription;
        if (description || (f.atd && f.code == kDirectoryEntry)) continue;
        out += f.text + "\n";
    }
    return out;
}

}  // namespace velkor::tsp_testing
