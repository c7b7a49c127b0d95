#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkor::link {

// The PBX speaks one of two dialects, told by the reply to the opening system
// request. The value is what the provider keeps as its dialect flag.
enum class Dialect : std::uint8_t {
    Legacy = 0x21,
    Extended = 0x22,
};

// Dialect from the data of the reply to 0x50 '#' '#': '6' then '#' selects the
// extended dialect, anything else (a short reply too) the legacy one.
Dialect dialectFromSessionReply(std::span<const std::uint8_t> data);
// Dialect from the dialect byte of the single-station start-up reply.
Dialect dialectFromByte(std::uint8_t byte);

using Num4 = std::array<std::uint8_t, 4>;
using Co3 = std::array<std::uint8_t, 3>;

enum class Justify : std::uint8_t {
    Right,  // blanks on the left: the usual form
    Left,   // blanks on the right: call requests in the extended dialect
};

// Station number as 4 characters; nullopt for an empty number or one longer
// than 4 characters.
std::optional<Num4> encodeNum4(std::string_view number, Justify justify = Justify::Right);
// The station number of a call request (0x55) in the given dialect.
std::optional<Num4> encodeCallNum4(std::string_view number, Dialect dialect);
// The 4 characters exactly as sent (numbers compare as these 4 characters);
// nullopt when fewer than 4 bytes are left.
std::optional<std::string> decodeNum4(std::span<const std::uint8_t> bytes);
// A station number without its padding blanks, for display.
std::string trimNumber(std::string_view padded);

// CO line or group number as 3 characters, leading zeros blanked ("099" ->
// " 99"), shorter numbers right-justified. A number of zeros keeps its last
// zero. nullopt for an empty number or one longer than 3 characters.
std::optional<Co3> encodeCo3(std::string_view number);
std::optional<std::string> decodeCo3(std::span<const std::uint8_t> bytes);

// Dial characters packed one nibble each, high nibble first: '1'-'9' -> 1-9,
// '0' -> A, '*' -> B, '#' -> C, ',' -> D, 'T'/'t' -> E, '!' -> F. An odd count
// leaves the last low nibble 0. nullopt when the number holds any other
// character.
std::optional<std::vector<std::uint8_t>> encodePackedDigits(std::string_view digits);
// Reads nibbles up to the first 0 nibble (the padding).
std::string decodePackedDigits(std::span<const std::uint8_t> bytes);
// The dialled number of a call request (0x56, 0x57): ASCII in the extended
// dialect, packed digits in the legacy one.
std::optional<std::vector<std::uint8_t>> encodeDialNumber(std::string_view digits,
                                                          Dialect dialect);

// Number of the ATD directory: 2 bytes of 4 decimal digits, high nibble
// first. Nibbles above 9 are filler and skipped. nullopt when fewer than 2
// bytes are given or no nibble is a digit.
std::optional<std::uint16_t> decodeBcd4(std::span<const std::uint8_t> bytes);

}  // namespace velkor::link
