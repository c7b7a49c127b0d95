#include "client/shell/single_instance.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/client/temp_folder.h"

namespace velkor::client {
namespace {

using test::TempFolder;

// Points XDG_RUNTIME_DIR at a folder of the test and restores it after.
class RuntimeFolder {
public:
    explicit RuntimeFolder(const std::filesystem::path& folder) {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) m_saved = old;
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    }
    ~RuntimeFolder() {
        if (m_saved) ::setenv("XDG_RUNTIME_DIR", m_saved->c_str(), 1);
        else ::unsetenv("XDG_RUNTIME_DIR");
    }

private:
    std::optional<std::string> m_saved;
};

TEST(SingleInstance, TheSecondHolderIsRefusedUntilTheFirstLetsGo) {
    TempFolder folder;
    RuntimeFolder runtime(folder.path());
    CSingleInstance first("Caldra");
    CSingleInstance second("Caldra");
    CSingleInstance other("Postling");

    EXPECT_EQ(first.acquire(), CSingleInstance::Result::Sole);
    EXPECT_EQ(first.lockFile(), folder / "Caldra.lock");
    EXPECT_EQ(second.acquire(), CSingleInstance::Result::AlreadyRunning);
    EXPECT_FALSE(second.held());
    EXPECT_EQ(other.acquire(), CSingleInstance::Result::Sole);

    first.release();
    EXPECT_EQ(second.acquire(), CSingleInstance::Result::Sole);
}

TEST(SingleInstance, ALockFileLeftBehindDoesNotBlock) {
    // A copy that crashed leaves its lock file; only a live holder counts.
    TempFolder folder;
    RuntimeFolder runtime(folder.path());
    { std::ofstream(folder / "Caldra.lock") << "stale"; }
    CSingleInstance instance("Caldra");
    EXPECT_EQ(instance.acquire(), CSingleInstance::Result::Sole);
}

TEST(SingleInstance, WithoutARuntimeFolderTheClientStillRuns) {
    TempFolder folder;
    RuntimeFolder runtime(folder / "does-not-exist");
    CSingleInstance instance("Caldra");
    EXPECT_EQ(instance.acquire(), CSingleInstance::Result::Unavailable);
}

}  // namespace
}  // namespace velkor::client
