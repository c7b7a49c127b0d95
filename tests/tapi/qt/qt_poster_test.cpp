#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <thread>
#include <vector>

#include "tapi/host/host.h"
#include "tapi/host/provider_list.h"
#include "tapi/qt/tapi_qt.h"
#include "tests/support/temp_folder.h"
#include "tspi.h"

namespace velkor::tapi {
namespace {

std::vector<std::pair<DWORD, std::thread::id>> g_seen;

void recordCallback(DWORD, DWORD msg, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    g_seen.emplace_back(msg, std::this_thread::get_id());
}

TEST(QtCallbackPosterTest, CallbacksRunOnTheApplicationThreadInOrder) {
    int argc = 1;
    char name[] = "qt_poster_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    ::velkor::testing::TempFolder folder;
    setenv("VELKOR_REGISTRY_DIR", folder.path().c_str(), 1);
    const DWORD permanentId = *ProviderList{platform::Registry(folder.path())}.add(FAKE_PROVIDER_PATH);
    installQtCallbackPoster();

    HLINEAPP lineApp = 0;
    DWORD numDevs = 0;
    DWORD version = TAPI_CURRENT_VERSION;
    ASSERT_EQ(lineInitializeExA(&lineApp, nullptr, &recordCallback, "qt", &numDevs, &version, nullptr), 0);
    HLINE line = 0;
    ASSERT_EQ(lineOpenA(lineApp, 0, &line, TAPI_CURRENT_VERSION, 0, 0, LINECALLPRIVILEGE_OWNER, 0, nullptr), 0);
    auto raise = reinterpret_cast<void (*)(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(
        Host::instance().providerSymbol(permanentId, "fakeLineEvent"));
    ASSERT_NE(raise, nullptr);

    // Raised from another thread, as a provider's receive thread does.
    std::thread provider([&] {
        raise(0, LINE_DEVSPECIFIC, 1, 0, 0);
        raise(0, LINE_DEVSPECIFIC, 2, 0, 0);
    });
    provider.join();
    EXPECT_TRUE(g_seen.empty()) << "nothing is delivered outside the event loop";

    QElapsedTimer waited;
    waited.start();
    while (g_seen.size() < 2 && waited.elapsed() < 10000) QCoreApplication::processEvents();
    ASSERT_EQ(g_seen.size(), 2u);
    for (const auto& [msg, thread] : g_seen) {
        EXPECT_EQ(msg, LINE_DEVSPECIFIC);
        EXPECT_EQ(thread, std::this_thread::get_id());
    }
    EXPECT_EQ(lineShutdown(lineApp), 0);
    tapiSetCallbackPoster(nullptr);
    unsetenv("VELKOR_REGISTRY_DIR");
}

}  // namespace
}  // namespace velkor::tapi
