#include "tapi/host/provider_list.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <vector>

#include "tapi.h"
#include "tests/support/temp_folder.h"

namespace velkor::tapi {
namespace {

class ProviderListTest : public ::testing::Test {
protected:
    void TearDown() override {
        unsetenv("VELKOR_PROVIDER_PATH");
        unsetenv("VELKOR_REGISTRY_DIR");
    }
    ::velkor::testing::TempFolder folder;
    const std::filesystem::path& root = folder.path();
};

TEST_F(ProviderListTest, AddReadRemoveKeepsIdsUnique) {
    ProviderList list{platform::Registry(root / "reg")};
    const auto first = list.add("velkorsp.tsp");
    const auto second = list.add("/opt/other.tsp");
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    ASSERT_EQ(list.read().size(), 2u);
    EXPECT_TRUE(list.remove(*first));
    EXPECT_FALSE(list.remove(*first));
    const auto entries = list.read();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].fileName, "/opt/other.tsp");
    EXPECT_EQ(entries[0].permanentId, *second);
    const auto third = list.add("velkorsp.tsp");
    EXPECT_GT(*third, *second) << "a removed provider's ID is not handed out again";
}

TEST_F(ProviderListTest, BareNamesAreFoundAlongTheSearchPathIgnoringCase) {
    std::filesystem::create_directories(root / "a");
    std::filesystem::create_directories(root / "b");
    std::ofstream(root / "b" / "velkorsp.tsp") << "x";
    setenv("VELKOR_PROVIDER_PATH", ((root / "a").string() + ":" + (root / "b").string()).c_str(), 1);
    EXPECT_EQ(resolveProviderFile("VelkorSp.tsp"), root / "b" / "velkorsp.tsp");
    EXPECT_EQ(resolveProviderFile("C:\\Windows\\System32\\velkorsp.tsp"), root / "b" / "velkorsp.tsp")
        << "only the file-name part of a Windows path counts";
    EXPECT_EQ(resolveProviderFile((root / "b" / "velkorsp.tsp").string()), root / "b" / "velkorsp.tsp");
    EXPECT_FALSE(resolveProviderFile((root / "a" / "velkorsp.tsp").string()))
        << "an absolute path is taken as it stands";
    EXPECT_FALSE(resolveProviderFile("missing.tsp"));
}

TEST_F(ProviderListTest, ProviderListGrowsToTheSizeItNeeds) {
    setenv("VELKOR_REGISTRY_DIR", (root / "reg").c_str(), 1);
    ProviderList list{platform::Registry(root / "reg")};
    list.add("unimodem.tsp");
    list.add("VelkorSp.tsp");

    LINEPROVIDERLIST fixed{};
    fixed.dwTotalSize = sizeof fixed;
    ASSERT_EQ(lineGetProviderList(TAPI_VERSION2_0, &fixed), 0);
    EXPECT_EQ(fixed.dwNumProviders, 0u);
    ASSERT_GT(fixed.dwNeededSize, sizeof fixed);

    std::vector<std::uint8_t> buffer(fixed.dwNeededSize);
    auto* full = reinterpret_cast<LINEPROVIDERLIST*>(buffer.data());
    full->dwTotalSize = fixed.dwNeededSize;
    ASSERT_EQ(lineGetProviderListA(TAPI_VERSION2_0, full), 0);
    ASSERT_EQ(full->dwNumProviders, 2u);
    EXPECT_EQ(full->dwUsedSize, full->dwNeededSize);
    const auto* entries =
        reinterpret_cast<const LINEPROVIDERENTRY*>(buffer.data() + full->dwProviderListOffset);
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data() + entries[1].dwProviderFilenameOffset),
                 "VelkorSp.tsp");

    LINEPROVIDERLIST tooSmall{};
    tooSmall.dwTotalSize = 8;
    EXPECT_EQ(lineGetProviderList(TAPI_VERSION2_0, &tooSmall), LINEERR_STRUCTURETOOSMALL);
}

}  // namespace
}  // namespace velkor::tapi
