#include "tools/pbxsim/message_names.h"

#include <cctype>

#include "provider/link/catalogue.h"

namespace velkor::pbxsim {

namespace {

struct Named {
    std::uint16_t code;
    std::string_view name;
};

#define PBXSIM_CTI_ROW(value, name, text) Named{value, #name},
#define PBXSIM_ATD_ROW(value, width, dir, name, text) Named{value, #name},
constexpr Named kCti[] = {VELKOR_LINK_MESSAGES(PBXSIM_CTI_ROW, PBXSIM_CTI_ROW, VELKOR_LINK_IGNORE)};
constexpr Named kAtd[] = {VELKOR_LINK_MESSAGES(VELKOR_LINK_IGNORE, VELKOR_LINK_IGNORE, PBXSIM_ATD_ROW)};
#undef PBXSIM_CTI_ROW
#undef PBXSIM_ATD_ROW

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

template <std::size_t N>
std::optional<std::uint16_t> byName(const Named (&table)[N], std::string_view name) {
    for (const Named& row : table) {
        if (sameName(row.name, name)) return row.code;
    }
    return std::nullopt;
}

template <std::size_t N>
std::string_view byCode(const Named (&table)[N], std::uint16_t code) {
    for (const Named& row : table) {
        if (row.code == code) return row.name;
    }
    return {};
}

}  // namespace

std::optional<std::uint8_t> ctiCodeByName(std::string_view name) {
    const auto code = byName(kCti, name);
    if (!code) return std::nullopt;
    return static_cast<std::uint8_t>(*code);
}

std::optional<std::uint16_t> atdCodeByName(std::string_view name) { return byName(kAtd, name); }

std::string_view ctiIdentifier(std::uint8_t code) { return byCode(kCti, code); }
std::string_view atdIdentifier(std::uint16_t code) { return byCode(kAtd, code); }

}  // namespace velkor::pbxsim
