// The client's windows on Qt's off-screen platform.

#include <atomic>
#include <thread>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "client/resources/images.h"
#include "client/resources/resource.h"
#include "client/shell/about_dlg.h"
#include "client/shell/alert_dlg.h"
#include "client/shell/caldra_app.h"
#include "client/shell/caldra_doc.h"
#include "client/shell/caldra_view.h"
#include "client/shell/main_frame.h"
#include "client/shell/messages.h"
#include "client/shell/modal.h"
#include "client/shell/settings.h"
#include "platform/registry/registry.h"
#include "tests/client/temp_folder.h"

namespace velkor::client {
namespace {

using platform::Hive;
using platform::Registry;
using test::TempFolder;

QString pictureFolder() {
    QDir().mkpath(QStringLiteral(BRISEL_PICTURE_DIR));
    return QStringLiteral(BRISEL_PICTURE_DIR);
}

template <typename T>
T* child(QWidget& parent, int id) {
    return parent.findChild<T*>(QString::number(id));
}

// What a modal box showed before the preset answer closed it.
struct ShownBox {
    QString objectName;
    QString title;
    QString line;
    QSize size;
    QString ok;
};

class ModalRecorder {
public:
    explicit ModalRecorder(QString pictureName = {}) {
        setModalAnswerer([this, pictureName](QDialog& dialog) {
            ShownBox box;
            box.objectName = dialog.objectName();
            box.title = dialog.windowTitle();
            if (auto* line = child<QLabel>(dialog, IDC_ALERT_TEXT)) box.line = line->text();
            if (auto* ok = child<QPushButton>(dialog, IDOK)) box.ok = ok->text();
            box.size = dialog.size();
            if (!pictureName.isEmpty()) dialog.grab().save(pictureFolder() + "/" + pictureName);
            m_shown.push_back(box);
            return IDOK;
        });
    }
    ~ModalRecorder() { setModalAnswerer({}); }
    const std::vector<ShownBox>& shown() const { return m_shown; }

private:
    std::vector<ShownBox> m_shown;
};

// ---- Alert box -----------------------------------------------------------

TEST(AlertBox, ShowsTheCatalogueTextWithOk) {
    g_nLanguageMode = 1;
    bool checked = false;
    setModalAnswerer([&checked](QDialog& dialog) {
        EXPECT_EQ(dialog.objectName(), QString::number(IDD_ALERT));
        EXPECT_EQ(dialog.size(), QSize(400, 100));
        auto* line = child<QLabel>(dialog, IDC_ALERT_TEXT);
        auto* ok = child<QPushButton>(dialog, IDOK);
        EXPECT_TRUE(line && ok);
        if (!line || !ok) return IDOK;
        EXPECT_EQ(line->text(), QStringLiteral("Caldra is already running."));
        EXPECT_EQ(line->geometry(), QRect(2, 25, 390, 20));
        EXPECT_TRUE(line->alignment() & Qt::AlignHCenter);
        EXPECT_EQ(ok->text(), QStringLiteral("OK"));
        EXPECT_EQ(ok->geometry(), QRect(165, 60, 66, 20));
        auto* picture = child<QLabel>(dialog, IDC_ALERT_PICTURE);
        EXPECT_TRUE(picture && !picture->pixmap().isNull());
        const QImage image = dialog.grab().toImage();
        EXPECT_EQ(image.pixelColor(5, 90), QColor(227, 225, 218));
        image.save(pictureFolder() + "/alert_box.png");
        checked = true;
        return IDOK;
    });
    showMessage("#:notify_message_caldra_now_running");
    setModalAnswerer({});
    EXPECT_TRUE(checked);
}

TEST(AlertBox, TextsFollowTheLanguageAndAMissingKeyShowsAnEmptyLine) {
    struct Case {
        int language;
        const char* key;
        const char* line;
        const char* ok;
    } const cases[] = {
        {1, "#:error_message_dial_failed", "The number could not be dialled.", "OK"},
        {2, "#:error_message_dial_failed", "No se pudo marcar el número.", "Aceptar"},
        {1, "#:no_such_key_anywhere", "", "OK"},
        {1, "not a key", "", "OK"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        g_nLanguageMode = c.language;
        ModalRecorder recorder;
        showMessage(c.key);
        ASSERT_EQ(recorder.shown().size(), 1u);
        EXPECT_EQ(recorder.shown()[0].line, QString::fromUtf8(c.line));
        EXPECT_EQ(recorder.shown()[0].ok, QString::fromUtf8(c.ok));
    }
    g_nLanguageMode = 1;
}

TEST(AlertBox, MarkupInATextIsShownAsItStands) {
    ModalRecorder recorder;
    showAlert("<b>1 < 2</b>");
    ASSERT_EQ(recorder.shown().size(), 1u);
    EXPECT_EQ(recorder.shown()[0].line, QStringLiteral("<b>1 < 2</b>"));
}

// ---- About box -------------------------------------------------------------

TEST(AboutBox, ShowsProgramVersionCopyrightAndCompany) {
    g_nLanguageMode = 1;
    g_strVersion = kVersionDesignator;
    bool checked = false;
    setModalAnswerer([&checked](QDialog& dialog) {
        EXPECT_EQ(dialog.objectName(), QString::number(IDD_ABOUTBOX));
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Caldra"));
        auto text = [&dialog](int id) {
            auto* label = child<QLabel>(dialog, id);
            return label ? label->text() : QStringLiteral("<none>");
        };
        EXPECT_EQ(text(IDC_ABOUT_MODEL), QStringLiteral("Caldra desktop client, version TRAMO - 1.0Bi"));
        EXPECT_EQ(text(IDC_ABOUT_COPYRIGHT),
                  QStringLiteral("Copyright (C) Ostrel Pellix click. All rights reserved."));
        EXPECT_EQ(text(IDC_ABOUT_COMPANY), QStringLiteral("Ostrel Pellix click"));
        auto* ok = child<QPushButton>(dialog, IDOK);
        EXPECT_TRUE(ok && ok->text() == QStringLiteral("OK"));
        const QImage image = dialog.grab().toImage();
        EXPECT_EQ(image.pixelColor(3, dialog.height() - 3), QColor(227, 225, 218));
        image.save(pictureFolder() + "/about_box.png");
        checked = true;
        return IDOK;
    });
    CAboutDlg dialog;
    EXPECT_EQ(dialog.doModal(), IDOK);
    setModalAnswerer({});
    EXPECT_TRUE(checked);
}

// ---- Application start-up and exit ------------------------------------------

class ApplicationRun : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_RUNTIME_DIR", m_runtime.path().c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("XDG_RUNTIME_DIR");
    }

    std::string stored(const char* section, const char* name) const {
        return m_registry.readString(Hive::CurrentUser, profileSectionKey(section), name).value_or("<missing>");
    }
    std::uint32_t storedDword(const char* section, const char* name) const {
        return m_registry.readDword(Hive::CurrentUser, profileSectionKey(section), name).value_or(0xDEAD);
    }

    // Starts the client, lets `whileRunning` act on its frame, closes the
    // frame as the user would and ends the client.
    void runOnce(const std::function<void(CMainFrame&)>& whileRunning = {}) {
        CCaldraApp app(m_registry);
        ASSERT_TRUE(app.initInstance({QStringLiteral("brisel")}));
        ASSERT_NE(app.mainFrame(), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(app.mainFrame()));
        if (whileRunning) whileRunning(*app.mainFrame());
        app.mainFrame()->close();
        EXPECT_EQ(app.exitInstance(), 0);
    }

    TempFolder m_runtime;
    TempFolder m_folder;
    Registry m_registry{m_folder.path()};
    ModalRecorder m_boxes;
};

TEST_F(ApplicationRun, FirstStartShowsTheFrameAndSavesEverySetting) {
    runOnce([](CMainFrame& frame) {
        EXPECT_EQ(frame.size(), QSize(800, 604));
        EXPECT_EQ(frame.windowTitle(), QStringLiteral("(Station ....) - Caldra"));
        EXPECT_EQ(g_nPopupWindowKind, 2);
        EXPECT_EQ(g_nLanguageMode, 1);
        EXPECT_EQ(g_strUnknownName, "Unknown");
        EXPECT_EQ(g_strVersion, "TRAMO - 1.0Bi");
        EXPECT_TRUE(g_bIdle);
        EXPECT_FALSE(g_bOutlookConnected);
        frame.grab().save(pictureFolder() + "/main_frame.png");
    });
    EXPECT_TRUE(m_boxes.shown().empty());
    EXPECT_EQ(stored("ADDRESS", "g_ColumnInfo").size(), 15u);
    EXPECT_EQ(stored("ADDRESS", "g_ColumnInfoLen").size(), 60u);
    EXPECT_EQ(stored("MAINWND", "g_rectMainWnd"), "08000604");
    EXPECT_EQ(storedDword("OPTION", "g_nPopupWindowKind"), 2u);
    EXPECT_EQ(storedDword("LANGUAGE", "g_nLanguageMode"), 1u);
}

TEST_F(ApplicationRun, TheWindowSizeIsKeptFromRunToRun) {
    runOnce([](CMainFrame& frame) { frame.resize(900, 700); });
    EXPECT_EQ(stored("MAINWND", "g_rectMainWnd"), "09000700");
    runOnce([](CMainFrame& frame) { EXPECT_EQ(frame.size(), QSize(900, 700)); });
}

TEST_F(ApplicationRun, ClosingWhileMinimisedStoresTheDefaultSize) {
    runOnce([](CMainFrame& frame) {
        frame.resize(1000, 700);
        frame.showMinimized();
        QTRY_VERIFY(frame.isMinimized());
    });
    EXPECT_EQ(stored("MAINWND", "g_rectMainWnd"), "08000604");
}

TEST_F(ApplicationRun, AStoredSecondLanguageStillStartsInTheFirst) {
    ASSERT_TRUE(m_registry.writeDword(Hive::CurrentUser, profileSectionKey("LANGUAGE"), "g_nLanguageMode", 2));
    runOnce([](CMainFrame& frame) {
        EXPECT_EQ(g_nLanguageMode, 1);
        EXPECT_EQ(g_strUnknownName, "Unknown");
        EXPECT_EQ(frame.windowTitle(), QStringLiteral("(Station ....) - Caldra"));
    });
    EXPECT_EQ(storedDword("LANGUAGE", "g_nLanguageMode"), 1u);
}

TEST_F(ApplicationRun, AStoredPopupKindOneIsSavedAsTwo) {
    ASSERT_TRUE(m_registry.writeDword(Hive::CurrentUser, profileSectionKey("OPTION"), "g_nPopupWindowKind", 1));
    runOnce([](CMainFrame&) { EXPECT_EQ(g_nPopupWindowKind, 2); });
    EXPECT_EQ(storedDword("OPTION", "g_nPopupWindowKind"), 2u);
}

TEST_F(ApplicationRun, AnUnusableStoredSizeOpensAtTheDefault) {
    ASSERT_TRUE(m_registry.writeString(Hive::CurrentUser, profileSectionKey("MAINWND"), "g_rectMainWnd", "0000abcd"));
    runOnce([](CMainFrame& frame) { EXPECT_EQ(frame.size(), QSize(800, 604)); });
    EXPECT_EQ(stored("MAINWND", "g_rectMainWnd"), "08000604");
}

TEST_F(ApplicationRun, ASecondCopyIsRefusedWithTheRunningText) {
    CSingleInstance first(kAppTitle);
    ASSERT_EQ(first.acquire(), CSingleInstance::Result::Sole);
    {
        CCaldraApp second(m_registry);
        EXPECT_FALSE(second.initInstance({QStringLiteral("brisel")}));
        EXPECT_EQ(second.mainFrame(), nullptr);
        EXPECT_EQ(second.exitInstance(), 0);
    }
    ASSERT_EQ(m_boxes.shown().size(), 1u);
    EXPECT_EQ(m_boxes.shown()[0].objectName, QString::number(IDD_ALERT));
    EXPECT_EQ(m_boxes.shown()[0].line, QStringLiteral("Caldra is already running."));
    // The refused copy writes nothing.
    EXPECT_FALSE(std::filesystem::exists(m_registry.hiveFile(Hive::CurrentUser)));
}

TEST_F(ApplicationRun, TheAboutCommandShowsTheAboutBox) {
    runOnce([](CMainFrame& frame) {
        EXPECT_TRUE(frame.onCommand(ID_APP_ABOUT));
        EXPECT_FALSE(frame.onCommand(ID_HOLD));
    });
    ASSERT_EQ(m_boxes.shown().size(), 1u);
    EXPECT_EQ(m_boxes.shown()[0].objectName, QString::number(IDD_ABOUTBOX));
}

// ---- Window messages ---------------------------------------------------------

struct Record {
    explicit Record(int* alive) : m_alive(alive) { ++*m_alive; }
    ~Record() { --*m_alive; }
    int* m_alive;
};

LPARAM toParam(Record* record) {
    return reinterpret_cast<LPARAM>(record);
}

void discardRecord(WPARAM, LPARAM lParam) {
    delete reinterpret_cast<Record*>(lParam);
}

TEST(WindowMessages, NumbersFromWmUser) {
    EXPECT_EQ(WM_DIAL_REQUEST, 0x40Au);
    EXPECT_EQ(WM_VIEW_COMMAND, 0x40Du);
    EXPECT_EQ(WM_CALL_ITEM_ACTION, 0x40Eu);
    EXPECT_EQ(WM_CALL_STATE, 0x40Fu);
    EXPECT_EQ(WM_CALL_INFO, 0x410u);
    EXPECT_EQ(WM_CALL_ACTION, 0x412u);
    EXPECT_EQ(WM_PHONE_REQUEST, 0x413u);
    EXPECT_EQ(WM_LOG_ADD_ENTRY, 0x416u);
    EXPECT_EQ(WM_CALLER_RECORD, 0x417u);
    EXPECT_EQ(WM_SET_ENTRY_CHAR, 0x418u);
    EXPECT_EQ(WM_TRAY_NOTIFY, 0x5F4u);
}

TEST(WindowMessages, SendIsSynchronousAndReturnsTheResult) {
    QWidget window;
    auto* map = new CMessageMap(&window);
    WPARAM seen = 0;
    map->on(WM_VIEW_COMMAND, [&seen](WPARAM wParam, LPARAM lParam) {
        seen = wParam;
        return lParam * 2;
    });
    EXPECT_EQ(sendMessage(&window, WM_VIEW_COMMAND, kViewCommandRefreshTexts, 21), 42);
    EXPECT_EQ(seen, kViewCommandRefreshTexts);
    EXPECT_EQ(sendMessage(&window, WM_CALL_STATE, 1, 2), 0);  // no handler
    EXPECT_EQ(sendMessage(nullptr, WM_VIEW_COMMAND), 0);
}

TEST(WindowMessages, PostedRecordsReachTheReceiverOrAreFreed) {
    int alive = 0;
    {
        // Delivered later, on the event loop; the receiver takes the record.
        QWidget window;
        auto* map = new CMessageMap(&window);
        std::unique_ptr<Record> taken;
        map->on(WM_LOG_ADD_ENTRY, [&taken](WPARAM, LPARAM lParam) {
            taken.reset(reinterpret_cast<Record*>(lParam));
            return LRESULT{0};
        });
        ASSERT_TRUE(postMessage(&window, WM_LOG_ADD_ENTRY, 0, toParam(new Record(&alive)), discardRecord));
        EXPECT_EQ(taken, nullptr);
        QCoreApplication::sendPostedEvents(&window);
        EXPECT_NE(taken, nullptr);
        EXPECT_EQ(alive, 1);
    }
    EXPECT_EQ(alive, 0);
    {
        // The window goes away before the message arrives.
        auto* window = new QWidget;
        new CMessageMap(window);
        postMessage(window, WM_LOG_ADD_ENTRY, 0, toParam(new Record(&alive)), discardRecord);
        EXPECT_EQ(alive, 1);
        delete window;
        EXPECT_EQ(alive, 0);
    }
    {
        // Nobody handles the message.
        QWidget window;
        postMessage(&window, WM_CALLER_RECORD, 0, toParam(new Record(&alive)), discardRecord);
        QCoreApplication::sendPostedEvents(&window);
        EXPECT_EQ(alive, 0);
        // No window at all.
        EXPECT_FALSE(postMessage(nullptr, WM_CALLER_RECORD, 0, toParam(new Record(&alive)), discardRecord));
        EXPECT_EQ(alive, 0);
    }
}

TEST(WindowMessages, APostFromAnotherThreadIsHandledOnTheGuiThread) {
    QWidget window;
    auto* map = new CMessageMap(&window);
    std::atomic<bool> onGuiThread{false};
    bool delivered = false;
    map->on(WM_CALL_STATE, [&](WPARAM wParam, LPARAM) {
        onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        delivered = wParam == 7;
        return LRESULT{0};
    });
    std::thread worker([&window] { postMessage(&window, WM_CALL_STATE, 7, 0); });
    worker.join();
    QTRY_VERIFY(delivered);
    EXPECT_TRUE(onGuiThread);
}

// ---- Pictures ----------------------------------------------------------------

TEST(Pictures, EveryIconAndBitmapIsThere) {
    for (int id : kIconIds) {
        SCOPED_TRACE(id);
        for (int size : {16, 32}) {
            const QPixmap pixmap = loadIconPixmap(id, size);
            ASSERT_FALSE(pixmap.isNull());
            EXPECT_EQ(pixmap.size(), QSize(size, size));
        }
        EXPECT_FALSE(loadIcon(id).isNull());
    }
    for (int id : kBitmapIds) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(loadBitmap(id).isNull());
    }
    EXPECT_TRUE(loadBitmap(9999).isNull());
    EXPECT_TRUE(loadIcon(9999).isNull());
}

TEST(Pictures, BitmapsHaveTheSizesTheWindowsPlaceThemAt) {
    const struct {
        int id;
        QSize size;
    } cases[] = {
        {IDB_SPLASH, {401, 301}},        {IDB_LOGO, {88, 28}},          {IDB_SHORTCUT_KEYS, {192, 135}},
        {IDB_SHORTCUT_CTRL, {190, 23}},  {IDB_SHORTCUT_SHIFT, {190, 25}}, {IDB_TRANSFER_SMALL, {15, 14}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(loadBitmap(c.id).size(), c.size);
    }
}

}  // namespace
}  // namespace velkor::client
