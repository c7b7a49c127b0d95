#include "tools/pbxsim/pbx_config.h"

#include <gtest/gtest.h>

#include "tools/pbxsim/model_table.h"

namespace velkor::pbxsim {
namespace {

TEST(PbxsimConfigTest, EveryModelHasAWorkingExample) {
    const char* files[] = {"model24-small.pbx", "model90-medium.pbx", "model30-office.pbx",
                           "model80-hotel.pbx", "model60-large.pbx"};
    for (const ModelInfo& model : modelTable()) {
        bool found = false;
        for (const char* f : files) {
            const ConfigResult r = loadConfig(std::string(PBXSIM_EXAMPLES_DIR) + "/" + f);
            ASSERT_TRUE(r.errors.empty()) << r.errors.front();
            if (r.config->modelCode != model.code) continue;
            found = true;
            EXPECT_EQ(r.config->stationCount, model.stationCount) << f;
            EXPECT_EQ(r.config->stationDirectorySize(), model.stationCount - 1) << f;
            EXPECT_EQ(r.config->parkSlots.size(), model.parkSlots) << f;
            EXPECT_EQ(r.config->version.substr(2, 2), model.code) << f;
        }
        EXPECT_TRUE(found) << "no example for model " << model.code;
    }
}

TEST(PbxsimConfigTest, RangesCountNumbersAndPortsUp) {
    const ConfigResult r = parseConfig("model 90\nstations 3-5 098 SLT port 010 name \"Lab\"\n");
    ASSERT_TRUE(r.errors.empty()) << r.errors.front();
    const StationConfig* s = r.config->station(5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->number, "100");
    EXPECT_EQ(s->port, 12);
    EXPECT_EQ(s->name, "Lab 100");
    EXPECT_EQ(s->type, station_type::Slt);
}

TEST(PbxsimConfigTest, BrokenFilesAreReportedLineByLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"model 3\n", "config:1: the model code has two digits"},
        {"model 30\nstation 1 20a DKT\n", "config:2: station number '20a'"},
        {"station 1 200 PHONE\n", "unknown station type 'PHONE'"},
        {"station 1 200 DKT\nstation 2 200 DKT\n", "station number 200 given twice"},
        {"station 400 200 DKT\n", "station index 400 is beyond the station table of 301"},
        {"model 24\nversion \"VK30-0105A1\"\n", "not the model code 24"},
        {"version short\n", "has 11 characters"},
        {"co 1 1234\n", "CO number '1234'"},
        {"co 1 001 ref 3\n", "refers to name-table entry 3"},
        {"model 24\npark 1-9\n", "has 8 park slots, 9 given"},
        {"hello world\n", "unknown directive 'hello'"},
        {"station 1 200 DKT port\n", "port is 1 to 3 digits"},
        {"model 77\n", "not in the model table"},
        {"station 1 200 DKT name \"unclosed\n", "unclosed quote"},
    };
    for (const Case& c : cases) {
        const ConfigResult r = parseConfig(c.text);
        ASSERT_FALSE(r.errors.empty()) << c.text;
        EXPECT_FALSE(r.config);
        EXPECT_NE(r.errors[0].find(c.error), std::string::npos) << c.text << " -> " << r.errors[0];
    }
}

}  // namespace
}  // namespace velkor::pbxsim
