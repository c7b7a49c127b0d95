#include "provider/devspecific/command_keywords.h"

namespace velkor::devspecific {

namespace {

using K = CommandKind;
using R = LengthRule;

constexpr Keyword kKeywords[] = {
    {"page", K::Paging, R::LongerThan, 8},
    {"dvu", K::VoiceUnit, R::LongerThan, 7},
    {"smdr", K::CallRecords, R::Exactly, 6},
    {"other_data", K::OtherData, R::Exactly, 12},
    {"gettime", K::GetTime, R::Any, 0},
    {"sta_num", K::StationNumber, R::LongerThan, 10},
    {"co_hold", K::CoHold, R::LongerThan, 10},
    {"all_sta_status", K::AllStationStatus, R::Any, 0},
    {"sta_status", K::StationStatus, R::Exactly, 12},
    {"all_col_status", K::AllCoStatus, R::Any, 0},
    {"col_status", K::CoStatus, R::Exactly, 12},
    {"sta_info", K::StationInfo, R::Exactly, 12},
    {"col_info", K::CoInfo, R::Exactly, 12},
    {"all_sta_num", K::AllStationNumbers, R::Any, 0},
    {"all_park_num", K::AllParkNumbers, R::Any, 0},
    {"offnet_forward", K::OffnetForward, R::AtLeast, 29},
    {"push_btn", K::PushButton, R::ShorterThan, 40},
    {"followme", K::FollowMe, R::ShorterThan, 20},
    {"flex_btn_read", K::FlexButtonRead, R::Any, 0},
    {"flex_btn_write", K::FlexButtonWrite, R::Any, 0},
    {"flex_btn_action", K::FlexButtonAction, R::Any, 0},
    {"sms", K::ShortMessage, R::Any, 0},
    {"sta_type", K::StationTypes, R::Any, 0},
    {"sta_flex", K::StationFlex, R::Any, 0},
};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool holds(const Keyword& k, std::size_t size) {
    switch (k.rule) {
    case R::Any: return true;
    case R::LongerThan: return size > k.length;
    case R::Exactly: return size == k.length;
    case R::AtLeast: return size >= k.length;
    case R::ShorterThan: return size < k.length;
    }
    return false;
}

}  // namespace

std::span<const Keyword> keywords() { return kKeywords; }

bool startsWithWord(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (lower(text[i]) != lower(word[i])) return false;
    }
    return true;
}

bool equalsWord(std::string_view text, std::string_view word) {
    return text.size() == word.size() && startsWithWord(text, word);
}

Command matchCommand(std::string_view text) {
    for (const Keyword& k : kKeywords) {
        if (!startsWithWord(text, k.word)) continue;
        if (!holds(k, text.size())) return {};
        return {k.kind, text.substr(k.word.size())};
    }
    return {};
}

}  // namespace velkor::devspecific
