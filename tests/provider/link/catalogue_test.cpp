#include "provider/link/catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace velkor::link {
namespace {

// A code entered twice would make one of the two names unreachable and the
// logs lie.
TEST(Catalogue, EveryCodeOnce) {
    std::set<std::pair<int, int>> cti;
    std::set<std::pair<int, int>> atdCodes;
    for (const MessageInfo& m : messageCatalogue()) {
        SCOPED_TRACE(m.name);
        if (m.kind == MessageKind::Atd) {
            EXPECT_TRUE(atdCodes.insert({m.code, m.codeWidth}).second);
        } else {
            EXPECT_TRUE(cti.insert({m.code, 1}).second);
        }
    }
}

// Codes decide routing: events below 0x50, requests 0x50..0x98 so that their
// rejections (code + 0x50) stay within 0xA0..0xE8.
TEST(Catalogue, CodesLieInTheirKindsRange) {
    for (const MessageInfo& m : messageCatalogue()) {
        SCOPED_TRACE(m.name);
        switch (m.kind) {
            case MessageKind::CtiEvent:
                EXPECT_LT(m.code, kFirstReplyCode);
                break;
            case MessageKind::CtiRequest:
                EXPECT_GE(m.code, 0x50);
                EXPECT_LE(m.code, 0x98);
                break;
            case MessageKind::CtiRejection:
                EXPECT_GE(m.code, 0xA0);
                EXPECT_LE(m.code, 0xE8);
                break;
            case MessageKind::Atd:
                // One-byte ATD codes are told by bit 7 on the wire.
                if (m.codeWidth == 1 && m.code != atd::Ignored0C) {
                    EXPECT_TRUE(m.code & 0x80);
                }
                if (m.codeWidth == 2) {
                    EXPECT_LT(m.code >> 8, 0x80);
                }
                break;
        }
        EXPECT_FALSE(m.name.empty());
    }
}

TEST(Catalogue, NamesForLogs) {
    EXPECT_EQ(ctiMessageName(code::CallStation), "call a station");
    EXPECT_EQ(ctiMessageName(event::IncomingCall), "incoming call notice");
    EXPECT_EQ(ctiMessageName(rejectionCode(code::ServiceRequest)), "rejected: service request");
    EXPECT_EQ(ctiMessageName(0xCC), "rejected: service request");
    EXPECT_EQ(ctiMessageName(0x30), "unknown");
    EXPECT_EQ(atdMessageName(atd::OpenSession, 2), "open ATD session");
    EXPECT_EQ(atdMessageName(atd::StationStatus, 1), "station status changes");
    EXPECT_EQ(atdMessageName(0x0083, 2), "unknown");
}

}  // namespace
}  // namespace velkor::link
