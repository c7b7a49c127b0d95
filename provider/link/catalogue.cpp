#include "provider/link/catalogue.h"

#include <algorithm>
#include <array>

namespace velkor::link {

namespace {

#define VELKOR_LINK_REQ_ROW(value, name, text) \
    MessageInfo{value, MessageKind::CtiRequest, Direction::ToPbx, 1, text},
#define VELKOR_LINK_REJ_ROW(value, name, text)                                                 \
    MessageInfo{rejectionCode(value), MessageKind::CtiRejection, Direction::FromPbx, 1, \
                "rejected: " text},
#define VELKOR_LINK_EVT_ROW(value, name, text) \
    MessageInfo{value, MessageKind::CtiEvent, Direction::FromPbx, 1, text},
#define VELKOR_LINK_ATD_ROW(value, width, dir, name, text) \
    MessageInfo{value, MessageKind::Atd, Direction::dir, width, text},

constexpr MessageInfo kCatalogue[] = {
    VELKOR_LINK_MESSAGES(VELKOR_LINK_REQ_ROW, VELKOR_LINK_EVT_ROW, VELKOR_LINK_ATD_ROW)
    VELKOR_LINK_MESSAGES(VELKOR_LINK_REJ_ROW, VELKOR_LINK_IGNORE, VELKOR_LINK_IGNORE)
};

#undef VELKOR_LINK_REQ_ROW
#undef VELKOR_LINK_REJ_ROW
#undef VELKOR_LINK_EVT_ROW
#undef VELKOR_LINK_ATD_ROW

bool isCti(const MessageInfo& m) { return m.kind != MessageKind::Atd; }

// Direct lookup for the CTI codes, which fill one byte.
constexpr auto kCtiIndex = [] {
    std::array<const MessageInfo*, 256> index{};
    for (const MessageInfo& m : kCatalogue) {
        if (m.kind != MessageKind::Atd) index[m.code & 0xFF] = &m;
    }
    return index;
}();

}  // namespace

std::span<const MessageInfo> messageCatalogue() { return kCatalogue; }

const MessageInfo* findCtiMessage(std::uint8_t code) { return kCtiIndex[code]; }

const MessageInfo* findAtdMessage(std::uint16_t code, std::uint8_t codeWidth) {
    const auto it = std::find_if(std::begin(kCatalogue), std::end(kCatalogue),
                                 [&](const MessageInfo& m) {
                                     return !isCti(m) && m.code == code &&
                                            m.codeWidth == codeWidth;
                                 });
    return it == std::end(kCatalogue) ? nullptr : &*it;
}

std::string_view ctiMessageName(std::uint8_t code) {
    const MessageInfo* m = findCtiMessage(code);
    return m ? m->name : "unknown";
}

std::string_view atdMessageName(std::uint16_t code, std::uint8_t codeWidth) {
    const MessageInfo* m = findAtdMessage(code, codeWidth);
    return m ? m->name : "unknown";
}

}  // namespace velkor::link
