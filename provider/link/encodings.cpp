#include "provider/link/encodings.h"

#include <algorithm>

namespace velkor::link {

namespace {

// Dial character <-> nibble, in one table.
struct PackedDigit {
    char character;
    std::uint8_t nibble;
};
constexpr PackedDigit kPackedDigits[] = {
    {'1', 0x1}, {'2', 0x2}, {'3', 0x3}, {'4', 0x4}, {'5', 0x5}, {'6', 0x6},
    {'7', 0x7}, {'8', 0x8}, {'9', 0x9}, {'0', 0xA}, {'*', 0xB}, {'#', 0xC},
    {',', 0xD}, {'T', 0xE}, {'t', 0xE}, {'!', 0xF},
};

std::optional<std::uint8_t> nibbleOf(char c) {
    for (const PackedDigit& d : kPackedDigits) {
        if (d.character == c) return d.nibble;
    }
    return std::nullopt;
}

char characterOf(std::uint8_t nibble) {
    for (const PackedDigit& d : kPackedDigits) {
        if (d.nibble == nibble) return d.character;
    }
    return '?';
}

}  // namespace

Dialect dialectFromSessionReply(std::span<const std::uint8_t> data) {
    return data.size() >= 2 && data[1] == '#' ? Dialect::Extended : Dialect::Legacy;
}

Dialect dialectFromByte(std::uint8_t byte) {
    return byte == '#' ? Dialect::Extended : Dialect::Legacy;
}

std::optional<Num4> encodeNum4(std::string_view number, Justify justify) {
    if (number.empty() || number.size() > 4) return std::nullopt;
    Num4 out;
    out.fill(' ');
    const std::size_t at = justify == Justify::Right ? out.size() - number.size() : 0;
    for (std::size_t i = 0; i < number.size() && at + i < out.size(); ++i) {
        out[at + i] = static_cast<std::uint8_t>(number[i]);
    }
    return out;
}

std::optional<Num4> encodeCallNum4(std::string_view number, Dialect dialect) {
    return encodeNum4(number, dialect == Dialect::Extended ? Justify::Left : Justify::Right);
}

std::optional<std::string> decodeNum4(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 4) return std::nullopt;
    return std::string(bytes.begin(), bytes.begin() + 4);
}

std::string trimNumber(std::string_view padded) {
    const auto first = padded.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = padded.find_last_not_of(' ');
    return std::string(padded.substr(first, last - first + 1));
}

std::optional<Co3> encodeCo3(std::string_view number) {
    if (number.empty() || number.size() > 3) return std::nullopt;
    Co3 out;
    out.fill(' ');
    const std::size_t at = out.size() - number.size();
    for (std::size_t i = 0; i < number.size() && at + i < out.size(); ++i) {
        out[at + i] = static_cast<std::uint8_t>(number[i]);
    }
    for (std::size_t i = 0; i + 1 < out.size() && (out[i] == '0' || out[i] == ' '); ++i) {
        out[i] = ' ';
    }
    return out;
}

std::optional<std::string> decodeCo3(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 3) return std::nullopt;
    return std::string(bytes.begin(), bytes.begin() + 3);
}

std::optional<std::vector<std::uint8_t>> encodePackedDigits(std::string_view digits) {
    std::vector<std::uint8_t> out((digits.size() + 1) / 2, 0);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const auto nibble = nibbleOf(digits[i]);
        if (!nibble) return std::nullopt;
        out[i / 2] |= static_cast<std::uint8_t>(i % 2 == 0 ? *nibble << 4 : *nibble);
    }
    return out;
}

std::string decodePackedDigits(std::span<const std::uint8_t> bytes) {
    std::string out;
    for (std::uint8_t byte : bytes) {
        for (std::uint8_t nibble : {std::uint8_t(byte >> 4), std::uint8_t(byte & 0x0F)}) {
            if (nibble == 0) return out;
            out.push_back(characterOf(nibble));
        }
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> encodeDialNumber(std::string_view digits,
                                                          Dialect dialect) {
    if (dialect == Dialect::Legacy) return encodePackedDigits(digits);
    return std::vector<std::uint8_t>(digits.begin(), digits.end());
}

std::optional<std::uint16_t> decodeBcd4(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 2) return std::nullopt;
    unsigned value = 0;
    bool any = false;
    for (std::size_t i = 0; i < 2; ++i) {
        for (unsigned nibble : {unsigned(bytes[i] >> 4), unsigned(bytes[i] & 0x0F)}) {
            if (nibble > 9) continue;
            value = value * 10 + nibble;
            any = true;
        }
    }
    if (!any) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

}  // namespace velkor::link
