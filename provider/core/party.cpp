#include "provider/core/party.h"

namespace velkor::core {

std::string trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\0'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

PartyId stationParty(std::string_view num4) {
    const std::string number = trimmed(num4);
    return {number, "STA" + number};
}

std::string coDigits(std::string_view co3) {
    std::string digits(co3);
    for (char& c : digits) {
        if (c == ' ') c = '0';
    }
    return digits;
}

PartyId coParty(std::string_view co3, std::string_view callerId, PartyKind* kind) {
    PartyId party{{}, "CO" + coDigits(co3)};
    const std::string id = trimmed(callerId);
    if (!id.empty() && id.front() == 'N') {
        party.name = id.substr(1);
        if (kind) *kind = PartyKind::CoWithName;
    } else {
        party.number = id;
        if (kind) *kind = PartyKind::Co;
    }
    return party;
}

DWORD coTrunk(std::string_view co3) {
    DWORD value = 0;
    for (const char c : co3) {
        if (c >= '0' && c <= '9') value = value * 10 + static_cast<DWORD>(c - '0');
    }
    return value;
}

}  // namespace velkor::core
