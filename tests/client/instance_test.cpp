// Two copies of the client started one after the other as processes.

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include "client/shell/settings.h"
#include "platform/registry/registry.h"
#include "tests/client/temp_folder.h"

namespace velkor::client {
namespace {

using test::TempFolder;

constexpr int kStartMs = 30000;

class TwoCopies : public ::testing::Test {
protected:
    void start(QProcess& process) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_runtime.path().string()));
        environment.insert("VELKOR_REGISTRY_DIR", QString::fromStdString(m_registryFolder.path().string()));
        environment.insert("VELKOR_DATA_DIR", QStringLiteral(BRISEL_BIN_DIR));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(PROBE_PATH), {QStringLiteral("--no-splash")});
        ASSERT_TRUE(process.waitForStarted(kStartMs));
    }

    // Reads the probe's output until `word` appears or it ends.
    static bool waitFor(QProcess& process, const QByteArray& word, QByteArray& output) {
        while (!output.contains(word)) {
            if (!process.waitForReadyRead(kStartMs)) return output.contains(word);
            output += process.readAllStandardOutput();
        }
        return true;
    }

    TempFolder m_runtime;
    TempFolder m_registryFolder;
};

TEST_F(TwoCopies, TheSecondIsRefusedAndTheFirstRunsOn) {
    QProcess first;
    start(first);
    QByteArray firstOutput;
    ASSERT_TRUE(waitFor(first, "STARTED", firstOutput)) << firstOutput.constData();

    QProcess second;
    start(second);
    ASSERT_TRUE(second.waitForFinished(kStartMs));
    const QByteArray secondOutput = second.readAllStandardOutput();
    EXPECT_EQ(second.exitCode(), 3);
    EXPECT_TRUE(secondOutput.contains("ALERT:Caldra is already running.\n")) << secondOutput.constData();
    EXPECT_TRUE(secondOutput.contains("REFUSED"));

    // The first copy is untouched and ends normally, writing its settings.
    EXPECT_EQ(first.state(), QProcess::Running);
    first.write("quit\n");
    ASSERT_TRUE(first.waitForFinished(kStartMs));
    EXPECT_EQ(first.exitCode(), 0);
    platform::Registry registry(m_registryFolder.path());
    EXPECT_EQ(registry.readString(platform::Hive::CurrentUser, profileSectionKey("ADDRESS"), "g_ColumnInfoLen")
                  .value_or("")
                  .size(),
              60u);

    // With the first copy gone the name is free again.
    QProcess third;
    start(third);
    QByteArray thirdOutput;
    EXPECT_TRUE(waitFor(third, "STARTED", thirdOutput)) << thirdOutput.constData();
    third.closeWriteChannel();
    ASSERT_TRUE(third.waitForFinished(kStartMs));
    EXPECT_EQ(third.exitCode(), 0);
}

}  // namespace
}  // namespace velkor::client
