#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace velkor::devspecific {

// What a device-specific command text asks for. The values are the kinds the
// applications and the provider have always numbered them by.
enum class CommandKind : std::uint8_t {
    None = 0,
    Paging = 1,
    VoiceUnit = 2,
    CallRecords = 16,
    OtherData = 17,
    GetTime = 32,
    CoHold = 33,
    AllStationStatus = 34,
    StationStatus = 35,
    AllCoStatus = 36,
    CoStatus = 37,
    StationNumber = 40,
    StationInfo = 43,
    CoInfo = 44,
    AllStationNumbers = 45,
    AllParkNumbers = 48,
    OffnetForward = 55,
    PushButton = 56,
    FollowMe = 57,
    FlexButtonRead = 65,
    FlexButtonWrite = 66,
    FlexButtonAction = 67,
    ShortMessage = 69,
    StationTypes = 70,
    StationFlex = 71,
};

// How long the whole command text must be for its keyword to count.
enum class LengthRule : std::uint8_t {
    Any,
    LongerThan,
    Exactly,
    AtLeast,
    ShorterThan,
};

struct Keyword {
    std::string_view word;
    CommandKind kind;
    LengthRule rule;
    std::size_t length;
};

// Every keyword in the order the texts are tried against them.
std::span<const Keyword> keywords();

struct Command {
    CommandKind kind = CommandKind::None;
    // Everything after the keyword: a separator, then the arguments.
    std::string_view argument;
};

// The first keyword that begins the text (ignoring case) decides; when the
// text breaks that keyword's length rule it is no command at all.
Command matchCommand(std::string_view text);

// Case-insensitive prefix test, shared by the keywords and sub-keywords.
bool startsWithWord(std::string_view text, std::string_view word);
bool equalsWord(std::string_view text, std::string_view word);

}  // namespace velkor::devspecific
