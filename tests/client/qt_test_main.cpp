// main() of the client's window tests: one QApplication for every case,
// drawn off screen, with the delivered catalogue in reach.

#include <cstdlib>

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The tests run from their own folder; the catalogue lies beside brisel.
    ::setenv("VELKOR_DATA_DIR", BRISEL_BIN_DIR, 0);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
