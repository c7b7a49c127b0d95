// The provider's start-up exchange, driven step by step through the
// provider's own link against the PBX core.
#include <fstream>
#include <sstream>

#include "provider/link/encodings.h"
#include "tests/tools/pbxsim/sim_fixture.h"
#include "tools/pbxsim/model_table.h"

namespace velkor::pbxsim::testing {
namespace {

using namespace std::chrono_literals;
using link::atd::CoDetails;
namespace code = link::code;
namespace atdc = link::atd;

std::string example(const std::string& name) {
    std::ifstream in(std::string(PBXSIM_EXAMPLES_DIR) + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::uint16_t be16(const std::vector<std::uint8_t>& d, std::size_t at) {
    return static_cast<std::uint16_t>(d.at(at) << 8 | d.at(at + 1));
}

class PbxsimStartupTest : public SimFixture {};

TEST_F(PbxsimStartupTest, Model30StartsUpWithSessionStationsAndAtdDirectory) {
    makePbx(example("model30-office.pbx"));

    // System session: '6' then '#' for the extended dialect.
    cti(link::kSystemIndex, code::SessionControl, bytes("##"));
    ASSERT_EQ(heard.replies.size(), 1u);
    EXPECT_EQ(heard.replies[0].data, bytes("6#"));
    EXPECT_EQ(link::dialectFromSessionReply(heard.replies[0].data), link::Dialect::Extended);

    // Identification: 11 characters whose 3rd and 4th are the model code.
    cti(link::kSystemIndex, code::Query, bytes("!"));
    ASSERT_EQ(heard.replies.size(), 2u);
    const std::string version(heard.replies[1].data.begin() + 1, heard.replies[1].data.end());
    ASSERT_EQ(version.size(), 11u);
    const ModelInfo* model = findModel(version.substr(2, 2));
    ASSERT_NE(model, nullptr);
    ASSERT_EQ(model->stationCount, 301);

    // Station descriptions for indexes 1 .. N-1.
    heard.clear();
    for (std::uint16_t i = 1; i < model->stationCount; ++i) {
        cti(link::kSystemIndex, code::Query,
            {0x22, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i & 0xFF)});
    }
    ASSERT_EQ(heard.replies.size(), 300u);
    int devices = 0;
    for (std::size_t n = 0; n < heard.replies.size(); ++n) {
        const auto& d = heard.replies[n].data;
        ASSERT_GE(d.size(), 8u);
        EXPECT_EQ(d[0], 0x22);
        EXPECT_EQ(be16(d, 5), n + 1) << "replies come in the order asked";
        const std::uint8_t type = d[7];
        if (type == 0x21 || type == 0x24 || type == 0x25) ++devices;
    }
    EXPECT_EQ(devices, 290) << "240 DKT + 30 SLT + 20 WKT";
    // Index 1 carries its port digits (payload 15), the WKT at 271 has none.
    EXPECT_EQ(heard.replies[0].data, (std::vector<std::uint8_t>{0x22, ' ', '2', '0', '0', 0, 1, 0x21, '0', '0', '1'}));
    EXPECT_EQ(heard.replies[270].data.size(), 8u);
    EXPECT_EQ(heard.replies[299].data[7], 0xA1) << "index 300 is unplugged";

    // ATD session.
    heard.clear();
    atd(atdc::OpenSession);
    ASSERT_EQ(heard.atd.size(), 1u);
    EXPECT_EQ(heard.atd[0].code, atdc::SessionAccepted);
    atd(atdc::SystemValue);
    EXPECT_EQ(heard.atd.back().data, (std::vector<std::uint8_t>{0x00, 0x03, 0x00, 0x12}));
    atd(atdc::Version);
    EXPECT_EQ(heard.atd.back().data, (std::vector<std::uint8_t>{11, 'V', 'K', '3', '0', '-', '0', '1', '0', '5', 'A', '1'}));
    atd(atdc::OwnStationIndex);
    EXPECT_EQ(be16(heard.atd.back().data, 0), 1);
    atd(atdc::StationDirectorySize);
    const std::uint16_t stations = be16(heard.atd.back().data, 0);
    EXPECT_EQ(stations, 300);
    atd(atdc::CoDirectorySize);
    EXPECT_EQ(be16(heard.atd.back().data, 0), 17);

    // Directory in blocks of ten; every entry arrives once, in order.
    heard.clear();
    for (std::uint16_t first = 1; first <= stations; first += 10) {
        atd(atdc::DirectoryEntry, {static_cast<std::uint8_t>(first >> 8), static_cast<std::uint8_t>(first & 0xFF)});
    }
    ASSERT_EQ(heard.atd.size(), 300u);
    for (std::size_t n = 0; n < heard.atd.size(); ++n) {
        const auto& d = heard.atd[n].data;
        ASSERT_EQ(heard.atd[n].code, atdc::DirectoryEntry);
        ASSERT_EQ(d.size(), d[0] + 1u) << "the length byte counts what follows";
        EXPECT_EQ(be16(d, 1), n + 1);
    }
    // Entry 1: index, slot, BCD 0200, type and extra byte, then the name.
    const auto& operatorEntry = heard.atd[0].data;
    EXPECT_EQ(link::decodeBcd4(std::span(operatorEntry).subspan(4, 2)), 200);
    EXPECT_EQ(operatorEntry[6], 0x21);
    EXPECT_EQ(std::string(operatorEntry.begin() + 8, operatorEntry.end()), "Operator");

    // Status reporting: the options bring the whole status, then changes.
    heard.clear();
    atd(atdc::StartStatus);
    atd(atdc::StatusOptions, {0x03, 0x01, 0x0E});
    ASSERT_FALSE(heard.atd.empty());
    std::size_t reported = 0;
    for (const auto& m : heard.atd) {
        if (m.code == atdc::StationStatus) reported += m.data[0];
    }
    EXPECT_EQ(reported, 300u);
    EXPECT_EQ(heard.atd.back().code, atdc::AttendantStatus);

    heard.clear();
    EXPECT_EQ(pbx->setStationStatus(42, 3), "reported");
    pump();
    ASSERT_EQ(heard.atd.size(), 1u);
    EXPECT_EQ(heard.atd[0].code, atdc::StationStatus);
    EXPECT_EQ(heard.atd[0].data, (std::vector<std::uint8_t>{1, 0, 42, 3}));

    // Keep-alive from the provider is not answered (it answers ours).
    heard.clear();
    cti(link::kSystemIndex, code::KeepAlive, {});
    EXPECT_TRUE(heard.replies.empty());

    // Shutdown: ATD close, then the system session.
    atd(atdc::Close);
    EXPECT_EQ(heard.atd.back().code, atdc::Close);
    atd(atdc::Close);
    EXPECT_EQ(heard.atd.back().code, atdc::CloseAcknowledged) << "already ended";
    cti(link::kSystemIndex, code::SessionControl, bytes("$"));
    EXPECT_FALSE(pbx->sessionOpen());
}

TEST_F(PbxsimStartupTest, DetailsOfAStationAndACoLine) {
    makePbx(example("model30-office.pbx"));
    atd(atdc::OpenSession);
    heard.clear();
    atd(atdc::StationDetails, {0, 1});
    atd(atdc::StationAttributes, {0, 1});
    atd(CoDetails, {0, 17});
    atd(atdc::CoName, {0, 17});
    atd(atdc::CoNameReference, {0, 17});
    atd(atdc::NameTableEntry, {0, 1});
    ASSERT_EQ(heard.atd.size(), 6u);
    EXPECT_EQ(heard.atd[0].data, (std::vector<std::uint8_t>{10, 0, 1, 'O', 'p', 'e', 'r', 'a', 't', 'o', 'r'}));
    EXPECT_EQ(heard.atd[1].data, (std::vector<std::uint8_t>{0, 1, 0, 0, 0}));
    EXPECT_EQ(heard.atd[2].data, (std::vector<std::uint8_t>{0, 17, 2, 0, 1}));
    EXPECT_EQ(std::string(heard.atd[3].data.begin() + 3, heard.atd[3].data.end()), "Trunk group");
    EXPECT_EQ(heard.atd[4].data, (std::vector<std::uint8_t>{0, 17, 0, 1}));
    EXPECT_EQ(std::string(heard.atd[5].data.begin() + 3, heard.atd[5].data.end()), "Outside line group");
}

TEST_F(PbxsimStartupTest, LegacyDirectoryEntryHasNoTypeBytes) {
    makePbx("model 24\nversion \"VS24-0203B1\"\ndialect legacy\nstation 1 10 DKT name \"Reception\"\n");
    cti(link::kSystemIndex, code::SessionControl, bytes("##"));
    EXPECT_EQ(link::dialectFromSessionReply(heard.replies.at(0).data), link::Dialect::Legacy);
    atd(atdc::OpenSession);
    heard.clear();
    atd(atdc::DirectoryEntry, {0, 1});
    ASSERT_EQ(heard.atd.size(), 1u);
    const auto& d = heard.atd[0].data;
    EXPECT_EQ(d[0], 5 + 9) << "legacy: length = 5 + name";
    EXPECT_EQ(std::string(d.begin() + 6, d.end()), "Reception");
}

TEST_F(PbxsimStartupTest, RefusedAtdSessionAnswersNothingElse) {
    makePbx("model 30\natd refuse\nstation 1 200 DKT\n");
    atd(atdc::OpenSession);
    ASSERT_EQ(heard.atd.size(), 1u);
    EXPECT_EQ(heard.atd[0].code, atdc::SessionRefused);
    atd(atdc::StationDirectorySize);
    EXPECT_EQ(heard.atd.back().code, atdc::SessionEnded) << "no session, no directory";
    atd(atdc::Poll);
    EXPECT_EQ(heard.atd.back().code, atdc::SessionEnded);
}

TEST_F(PbxsimStartupTest, RefusedSessionIsRejectedWithTheSessionCause) {
    makePbx("model 30\nsession refuse\n");
    cti(link::kSystemIndex, code::SessionControl, bytes("##"));
    ASSERT_EQ(heard.rejections.size(), 1u);
    EXPECT_EQ(heard.rejections[0].code, link::rejectionCode(code::SessionControl));
    EXPECT_EQ(heard.rejections[0].cause, 0x36);
    EXPECT_FALSE(heard.rejections[0].timedOut);
}

TEST_F(PbxsimStartupTest, MonitoringStartsAndStopsPerStation) {
    makePbx("model 30\nstation 5 205 SLT\n");
    cti(5, code::SessionControl, bytes("!#"));
    ASSERT_EQ(heard.replies.size(), 1u);
    EXPECT_EQ(heard.replies[0].station, 5);
    EXPECT_EQ(heard.replies[0].data, bytes("4"));
    EXPECT_TRUE(pbx->monitored(5));
    cti(5, code::SessionControl, {0x22});
    EXPECT_EQ(heard.replies.size(), 2u);
    EXPECT_FALSE(pbx->monitored(5));
    cti(6, code::SessionControl, bytes("!#"));
    ASSERT_EQ(heard.rejections.size(), 1u) << "no station at index 6";
    EXPECT_EQ(heard.rejections[0].cause, '/');
}

TEST_F(PbxsimStartupTest, SingleStationStartUpOverStxEtx) {
    makePbx(example("model24-small.pbx"), link::Framing::StxEtx);
    cti(0, code::SessionControl, bytes("!#"));
    ASSERT_EQ(heard.replies.size(), 1u);
    // '4', the served station's number, dialect '!' (legacy), type DKT.
    EXPECT_EQ(heard.replies[0].data, (std::vector<std::uint8_t>{'4', ' ', ' ', '1', '0', '!', 0x21}));
    cti(0, code::SessionControl, {0x22});
    ASSERT_EQ(heard.replies.size(), 2u);
    EXPECT_EQ(heard.replies[1].data, bytes("5"));
    EXPECT_TRUE(pbx->records().back().stx);
}

TEST_F(PbxsimStartupTest, ServiceRequestsAreEchoedOrAnsweredWith0xCC) {
    makePbx("model 30\n");
    const std::vector<std::uint8_t> request = {4, 2, 0, 7};
    cti(link::kSystemIndex, code::ServiceRequest, request);
    ASSERT_EQ(heard.services.size(), 1u);
    EXPECT_EQ(heard.services[0].first, link::ServiceAnswerSource::Echo);
    EXPECT_EQ(heard.services[0].second, request);
    pbx->faults().addRule({Way::Cti, code::ServiceRequest, AnswerAction::Reject, 0, {}, 1});
    cti(link::kSystemIndex, code::ServiceRequest, request);
    ASSERT_EQ(heard.services.size(), 2u);
    EXPECT_EQ(heard.services[1].first, link::ServiceAnswerSource::Rejected);
}

TEST_F(PbxsimStartupTest, PbxKeepAliveRunsOnItsPeriod) {
    makePbx("model 30\nkeepalive 20000\n");
    advance(19s);
    EXPECT_TRUE(heard.replies.empty());
    advance(1s);
    ASSERT_EQ(heard.replies.size(), 1u);
    EXPECT_EQ(heard.replies[0].code, code::KeepAlive);
    advance(20s);
    EXPECT_EQ(heard.replies.size(), 2u);
}

TEST_F(PbxsimStartupTest, UnknownStationAndUnhandledRequestAreRejected) {
    makePbx("model 24\nstation 1 10 DKT\n");
    cti(link::kSystemIndex, code::Query, {0x22, 0, 40});
    ASSERT_EQ(heard.rejections.size(), 1u) << "index 40 is beyond the 33 of model 24";
    EXPECT_EQ(heard.rejections[0].code, link::rejectionCode(code::Query));
    cti(1, 0x76, {0x21});  // a request the PBX has no function for
    ASSERT_EQ(heard.rejections.size(), 2u);
    EXPECT_EQ(heard.rejections[1].cause, '!');
}

}  // namespace
}  // namespace velkor::pbxsim::testing
