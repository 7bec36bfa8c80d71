// The main window's workflow, driven offscreen against a scripted test
// library: search results, device and mode choice, pages, runs and closing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QClipboard>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <memory>

#include "ApiBinding.h"
#include "FakeApi.h"
#include "MainWindow.h"
#include "ViewerTestSupport.h"

namespace {

using kvxtest::waitFor;

class WorkflowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvxtest::ensureApplication();
        fake_ = dlopen(VIEWER_FAKE_API, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(fake_, nullptr);
    }
    void TearDown() override
    {
        window.reset();
        dlclose(fake_);
    }

    // Opens the window on a scenario and waits for the search to finish.
    void start(FakeScenario scenario, const QString& commandLine = QString())
    {
        reinterpret_cast<FakeApi_Reset_fn>(dlsym(fake_, "FakeApi_Reset"))(scenario);
        window = std::make_unique<kvx::TForm1>(commandLine, VIEWER_FAKE_API);
        ASSERT_TRUE(window->apiReady());
        window->show();
        // The first search runs from the deferred steps after the window is shown.
        ASSERT_TRUE(waitFor([&] { return count("VKVX_EnumDevices") > 0 && !window->InitTimer->isActive(); }));
    }
    int32_t count(const char* entry) const
    {
        return reinterpret_cast<FakeApi_Count_fn>(dlsym(fake_, "FakeApi_Count"))(entry);
    }
    QList<QPushButton*> buttons(QWidget* group) const
    {
        return group->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
    }
    QStringList captions(QWidget* group) const
    {
        QStringList list;
        for (QPushButton* b : buttons(group)) {
            list << b->text();
        }
        return list;
    }
    bool pageShown(QFrame* panel) const
    {
        return window->PG_Controls->isVisible() && window->PG_Controls->currentWidget() == panel->parentWidget();
    }

    void* fake_ = nullptr;
    kvxtest::DialogRecorder dialogs;
    std::unique_ptr<kvx::TForm1> window;
};

TEST_F(WorkflowTest, InitialMenusStatusBarAndTimers)
{
    start(kFakeNoDevices);
    kvx::TForm1& w = *window;
    EXPECT_EQ(w.windowTitle(), "Vantrel KVX Viewer");
    EXPECT_EQ(w.minimumSize(), QSize(600, 718));
    struct Item {
        const char* name;
        const char* caption;
        const char* shortcut;
        bool enabled;
    } items[] = {
        {"StopCapture1", "Stop Capture", "", false},  {"CloseDevice1", "Close Device", "", false},
        {"Savesnapshot1", "Save snapshot", "Ctrl+S", false}, {"Savevideosequence1", "Save video sequence", "", false},
        {"Exit1", "Exit", "Alt+F4", true},             {"Options", "Options", "", true},
        {"Reset1", "Reset", "", true},
        {"About1", "About", "", true},                 {"Zoom251", "Zoom 25%", "Alt+1", true},
        {"Zoom501", "Zoom 50%", "Alt+2", true},        {"Zoom1001", "Zoom 100%", "Alt+3", true},
        {"BorderlessMode1", "Borderless Mode", "", true}, {"Maximize1", "Maximize", "", true},
    };
    for (const Item& item : items) {
        auto* a = w.findChild<QAction*>(item.name);
        ASSERT_NE(a, nullptr) << item.name;
        EXPECT_EQ(a->text(), item.caption);
        EXPECT_EQ(a->shortcut().toString(), item.shortcut) << item.name;
        EXPECT_EQ(a->isEnabled(), item.enabled) << item.name;
    }
    EXPECT_FALSE(w.BorderlessMode1->isChecked());
    EXPECT_EQ(w.Timer1->interval(), 1000);
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.InitTimer->interval(), 10);
    EXPECT_EQ(w.StatusPanel[1]->width(), 150);
    EXPECT_EQ(w.StatusPanel[2]->width(), 250);
    EXPECT_EQ(w.statusPanelText(2), "Resolution:");
    ASSERT_TRUE(waitFor([&] { return w.statusPanelText(1) == "Device: -"; }, 3000));
    EXPECT_EQ(w.statusPanelText(2), "Resolution");
    EXPECT_EQ(w.statusPanelText(3), "Idle");
}

TEST_F(WorkflowTest, NoDevicesShowsTheTextWithoutDialog)
{
    start(kFakeNoDevices);
    EXPECT_EQ(window->PNL_DeviceSelector->caption(), "No devices found.");
    EXPECT_TRUE(window->BTN_RescanDevices->isEnabled());
    EXPECT_TRUE(buttons(window->BTGR_Devices).isEmpty());
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_TRUE(dialogs.infos.isEmpty());
    EXPECT_EQ(count("VKVX_EnumDevices"), 1);  // no second call for an empty list
}

TEST_F(WorkflowTest, EnumerationFailureIsReported)
{
    start(kFakeEnumFails);
    EXPECT_EQ(dialogs.errors, QStringList{"Device enumeration failed, Error code: -18"});
    EXPECT_EQ(window->PNL_DeviceSelector->caption(), "No devices found.");
}

TEST_F(WorkflowTest, SearchTextsArePaintedBeforeEachBlockingCall)
{
    start(kFakeDeadBesideGood);
    dialogs.errors.clear();
    window->BTN_RescanDevicesClick();
    EXPECT_EQ(window->PNL_DeviceSelector->caption(), "Please wait -- Searching devices ..");
    EXPECT_FALSE(window->BTN_RescanDevices->isEnabled());
    EXPECT_EQ(window->InitTimerTag, 1);
    window->InitTimerTimer();  // step 1 counts
    EXPECT_EQ(window->PNL_DeviceSelector->caption(), "Please wait -- Searching devices ....");
    EXPECT_EQ(window->InitTimerTag, 2);
    EXPECT_TRUE(window->InitTimer->isActive());
    window->InitTimerTimer();  // step 2 fetches
    EXPECT_EQ(window->PNL_DeviceSelector->caption(), "");
    EXPECT_TRUE(window->BTN_RescanDevices->isEnabled());
}

TEST_F(WorkflowTest, SilentDeviceGetsNoButtonButTheOthersDo)
{
    start(kFakeDeadBesideGood);
    EXPECT_EQ(dialogs.errors, QStringList{"The device 'Dead LVDS' is not responding."});
    EXPECT_EQ(captions(window->BTGR_Devices), QStringList{"KVX LVDS [L001]"});
    EXPECT_TRUE(window->PNL_DeviceButtons->isVisible());
    const QString about = window->AboutForm->infoText();
    EXPECT_TRUE(about.startsWith("Application Version "));
    EXPECT_TRUE(about.contains("VKVX API Version 1.7 [R9]"));
    EXPECT_TRUE(about.contains("- Device 0 -\nKVX LVDS [L001] rev: 3\n"));
    EXPECT_TRUE(about.contains("Operation mode 1: 'MLC Capture'.\nFirmware version 2.1, Software version 1.0\n"));
    EXPECT_FALSE(about.contains("Dead LVDS"));
    window->AboutForm->Button1->click();
    EXPECT_EQ(QApplication::clipboard()->text(), about);
}

TEST_F(WorkflowTest, Vx1ChainModesPageAndLaneLabels)
{
    start(kFakeVx1Chain);
    kvx::TForm1& w = *window;
    ASSERT_EQ(captions(w.BTGR_Devices), QStringList{"KVX Vx1 [V001] +2"});
    EXPECT_TRUE(w.AboutForm->infoText().contains("Slaves: 2\n -> V002\n -> V003\n"));

    buttons(w.BTGR_Devices).at(0)->click();
    EXPECT_EQ(w.deviceName(), "KVX Vx1");
    EXPECT_TRUE(w.PNL_ModeSelect->isVisible());
    EXPECT_FALSE(w.PNL_DeviceButtons->isVisible());
    EXPECT_TRUE(w.BTN_BackToDeviceSelector->isVisible());
    EXPECT_FALSE(w.BTN_RescanDevices->isVisible());
    EXPECT_EQ(captions(w.BTGR_Modes), (QStringList{"Vx1 Capture (FW 2.1, SW 1.0)", "Vx1 Generic (FW 2.1, SW 1.0)",
                                                   "Timing (FW 2.1, SW 1.0)"}));

    w.pages.RG_Vx1_LanesA->setItemIndex(2);
    buttons(w.BTGR_Modes).at(0)->click();
    EXPECT_EQ(w.PNL_DeviceSelector->caption(), "Please wait -- Opening device ..");
    EXPECT_FALSE(w.PNL_ModeSelect->isVisible());
    ASSERT_TRUE(waitFor([&] { return w.deviceHandle() != nullptr; }));
    EXPECT_EQ(reinterpret_cast<FakeApi_LastOpenMode_fn>(dlsym(fake_, "FakeApi_LastOpenMode"))(), 0);
    EXPECT_TRUE(pageShown(w.pages.PNL_Vx1));
    EXPECT_FALSE(w.PNL_DeviceSelector->isVisible());
    EXPECT_TRUE(w.CloseDevice1->isEnabled());
    const QStringList lanes = {"3 Lanes", "6 Lanes", "12 Lanes", "24 Lanes"};
    EXPECT_EQ(w.pages.RG_Vx1_LanesA->items(), lanes);
    EXPECT_EQ(w.pages.RG_Vx1_LanesB->items(), lanes);
    EXPECT_EQ(w.pages.RG_Vx1_LanesC->items(), lanes);
    EXPECT_EQ(w.pages.RG_Vx1_LanesA->itemIndex(), 2);

    // A start with the external trigger: buffered, waiting text in navy.
    w.pages.RG_Vx1_ExtTriggerA->setItemIndex(1);
    w.pages.BitBtn1->click();
    ASSERT_NE(w.captureRun(), nullptr);
    EXPECT_EQ(w.captureRun()->starter, w.pages.BitBtn1);
    EXPECT_EQ(w.captureRun()->setup.options.at(0), std::make_pair(6, 4));
    EXPECT_EQ(w.captureRun()->setup.options.at(5), std::make_pair(5, 3000));
    EXPECT_TRUE(w.captureRun()->setup.buffered);
    EXPECT_EQ(w.captureRun()->deviceType & 0xFFFF, 0x7200u);
    EXPECT_EQ(kvx::chainDeviceCount(), 3);
    EXPECT_EQ(w.PNL_NoSignal->caption(), "Waiting for External Trigger");
    EXPECT_FALSE(w.pages.RG_CaptureModeA->isEnabled());
    EXPECT_TRUE(w.PNL_NoSignal->isVisible());
    EXPECT_FALSE(w.PG_Controls->isVisible());
    EXPECT_TRUE(w.StopCapture1->isEnabled());

    // Stop: the page again; then close: a new search, the mode list kept.
    w.StopCapture1->trigger();
    EXPECT_EQ(w.captureRun(), nullptr);
    EXPECT_TRUE(pageShown(w.pages.PNL_Vx1));
    EXPECT_FALSE(w.PNL_NoSignal->isVisible());
    EXPECT_FALSE(w.StopCapture1->isEnabled());
    w.pages.RG_Vx1_ExtTriggerA->setItemIndex(0);
    EXPECT_EQ(w.PNL_NoSignal->caption(), "No Signal");
    EXPECT_TRUE(w.pages.RG_CaptureModeA->isEnabled());

    w.CloseDevice1->trigger();
    EXPECT_EQ(count("VKVX_CloseDevice"), 1);
    EXPECT_EQ(w.deviceHandle(), nullptr);
    EXPECT_FALSE(w.CloseDevice1->isEnabled());
    EXPECT_FALSE(w.PG_Controls->isVisible());
    EXPECT_TRUE(w.PNL_DeviceSelector->isVisible());
    EXPECT_TRUE(w.BTN_RescanDevices->isVisible());
    EXPECT_FALSE(w.BTN_BackToDeviceSelector->isVisible());
    EXPECT_EQ(w.PNL_DeviceSelector->caption(), "Please wait -- Searching devices ..");
    ASSERT_TRUE(waitFor([&] { return w.BTN_RescanDevices->isEnabled(); }));
    EXPECT_EQ(captions(w.BTGR_Devices), QStringList{"KVX Vx1 [V001] +2"});
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(WorkflowTest, BackToDeviceSelection)
{
    start(kFakeVx1Chain);
    buttons(window->BTGR_Devices).at(0)->click();
    window->BTN_BackToDeviceSelector->click();
    EXPECT_TRUE(window->PNL_DeviceButtons->isVisible());
    EXPECT_FALSE(window->PNL_ModeSelect->isVisible());
    EXPECT_FALSE(window->BTN_BackToDeviceSelector->isVisible());
    EXPECT_TRUE(window->BTN_RescanDevices->isVisible());
    EXPECT_EQ(window->deviceName(), "-");
    window->BTGR_ModesButtonClicked(0);  // no mode list: nothing opens
    EXPECT_FALSE(window->InitTimer->isActive());
}

TEST_F(WorkflowTest, Usb3DeviceIsRefused)
{
    start(kFakeUsb3);
    ASSERT_EQ(captions(window->BTGR_Devices), (QStringList{"KVX-P42 [P001]", "KVX LVDS [L001]"}));
    const int32_t modeCalls = count("VKVX_EnumOperationModes");  // the About box lines
    buttons(window->BTGR_Devices).at(0)->click();
    EXPECT_EQ(dialogs.errors, QStringList{"Please use KVX Console for KVX-Pxx devices."});
    EXPECT_TRUE(window->PNL_DeviceButtons->isVisible());
    EXPECT_TRUE(window->BTN_RescanDevices->isVisible());
    EXPECT_FALSE(window->BTN_BackToDeviceSelector->isVisible());
    EXPECT_EQ(window->deviceName(), "-");
    EXPECT_EQ(count("VKVX_EnumOperationModes"), modeCalls);
}

TEST_F(WorkflowTest, SingleModeOpensAtOnce)
{
    start(kFakeSingleMode);
    buttons(window->BTGR_Devices).at(0)->click();
    EXPECT_FALSE(window->PNL_ModeSelect->isVisible());
    ASSERT_TRUE(waitFor([&] { return window->deviceHandle() != nullptr; }));
    EXPECT_EQ(reinterpret_cast<FakeApi_LastOpenMode_fn>(dlsym(fake_, "FakeApi_LastOpenMode"))(), 0);
    EXPECT_TRUE(pageShown(window->pages.PNL_LVDS));  // mini-LVDS device, mode 0

    window->pages.BitBtn7->click();
    ASSERT_NE(window->captureRun(), nullptr);
    EXPECT_EQ(window->captureRun()->setup.options, (kvx::OptionList{{1, 2}, {3, 2}, {2, 0}}));
    EXPECT_EQ(kvx::chainDeviceCount(), 1);

    // Reset sends option 35 with 1 while a device is open (after the three
    // options the capture worker applied).
    auto options = reinterpret_cast<FakeApi_Options_fn>(dlsym(fake_, "FakeApi_Options"));
    int32_t pairs[8] = {};
    ASSERT_TRUE(waitFor([&] { return options(pairs, 8) == 6; }));
    window->Reset1->trigger();
    ASSERT_EQ(options(pairs, 8), 8);
    EXPECT_EQ(pairs[6], 35);
    EXPECT_EQ(pairs[7], 1);
}

TEST_F(WorkflowTest, ModeAndOpenFailures)
{
    start(kFakeModeEnumFails);
    buttons(window->BTGR_Devices).at(0)->click();
    EXPECT_EQ(dialogs.errors.last(), "Operation mode enumeration failed, Error code: -6");
    EXPECT_TRUE(window->PNL_DeviceButtons->isVisible());
    EXPECT_TRUE(window->BTN_BackToDeviceSelector->isVisible());
    EXPECT_FALSE(window->BTN_RescanDevices->isVisible());
    window.reset();
    dialogs.errors.clear();

    start(kFakeOpenFails);
    buttons(window->BTGR_Devices).at(0)->click();
    buttons(window->BTGR_Modes).at(1)->click();
    ASSERT_TRUE(waitFor([&] { return !dialogs.errors.isEmpty(); }));
    EXPECT_EQ(dialogs.errors, QStringList{"Device open failed:\r\n(-34) Device already in use"});
    EXPECT_TRUE(window->PNL_DeviceButtons->isVisible());
    EXPECT_TRUE(window->BTN_RescanDevices->isEnabled());
    EXPECT_EQ(window->PNL_DeviceSelector->caption(), "Please wait -- Opening device ..");
    EXPECT_FALSE(window->CloseDevice1->isEnabled());
}

TEST_F(WorkflowTest, ModeWithoutPageIsNotSupportedAndNotOpened)
{
    start(kFakeUnsupportedMode);
    EXPECT_TRUE(window->AboutForm->infoText().contains("Plugin GUID {ab 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01}\n"));
    buttons(window->BTGR_Devices).at(0)->click();
    buttons(window->BTGR_Modes).at(0)->click();  // id 3, type 5 (audio capture)
    ASSERT_TRUE(waitFor([&] { return window->PNL_NotSupported->isVisible(); }));
    EXPECT_FALSE(window->PNL_DeviceSelector->isVisible());
    EXPECT_EQ(count("VKVX_OpenDevice"), 0);
    window->BTN_Back->click();
    EXPECT_FALSE(window->PNL_NotSupported->isVisible());
    EXPECT_TRUE(window->PNL_DeviceSelector->isVisible());
    EXPECT_TRUE(window->PNL_ModeSelect->isVisible());

    buttons(window->BTGR_Modes).at(1)->click();  // id 4, type 3: the MLC page
    ASSERT_TRUE(waitFor([&] { return window->deviceHandle() != nullptr; }));
    EXPECT_TRUE(pageShown(window->pages.PNL_MLC));
    EXPECT_EQ(reinterpret_cast<FakeApi_LastOpenMode_fn>(dlsym(fake_, "FakeApi_LastOpenMode"))(), 4);
}

TEST_F(WorkflowTest, AudioStartReinitialisesUnlessKeepFpga)
{
    for (bool keep : {false, true}) {
        SCOPED_TRACE(keep);
        dialogs.infos.clear();
        start(kFakeEmulatedModes, keep ? "KVX_Viewer -keepfpga" : "KVX_Viewer");
        EXPECT_EQ(window->keepFpga(), keep);
        EXPECT_EQ(dialogs.infos, keep ? QStringList{"Disabled FPGA reload"} : QStringList{});
        buttons(window->BTGR_Devices).at(0)->click();
        buttons(window->BTGR_Modes).at(1)->click();
        ASSERT_TRUE(waitFor([&] { return window->deviceHandle() != nullptr; }));
        EXPECT_TRUE(pageShown(window->pages.PNL_KVX3_Audio));
        EXPECT_EQ(window->pages.LB_KVX3_Audio_Devs->item(0)->text(), "Default Audio");
        window->pages.EDT_KVX3_AudioBuffer->setText("8192");
        window->pages.BitBtn5->click();
        EXPECT_EQ(count("VKVX_ReInitDevice"), keep ? 0 : 1);
        EXPECT_EQ(count("VKVX_SelectConnector"), 1);
        ASSERT_NE(window->captureRun(), nullptr);
        EXPECT_EQ(window->captureRun()->setup.options, (kvx::OptionList{{29, 0}, {3, 101}, {32, 8192}}));
        EXPECT_FALSE(window->captureRun()->setup.video);
        EXPECT_TRUE(window->captureRun()->setup.audio);
        window.reset();
    }
}

TEST_F(WorkflowTest, ClosingReleasesTheDeviceAndTheLibrary)
{
    start(kFakeSingleMode);
    buttons(window->BTGR_Devices).at(0)->click();
    ASSERT_TRUE(waitFor([&] { return window->deviceHandle() != nullptr; }));
    window->close();
    EXPECT_EQ(count("VKVX_CloseDevice"), 1);
    EXPECT_EQ(count("VKVX_CleanUp"), 1);  // matches the one initialisation
    EXPECT_FALSE(kvx::ApiLibraryLoaded());
    window.reset();
    EXPECT_EQ(count("VKVX_CleanUp"), 1);
}

TEST_F(WorkflowTest, UnacceptableLibraryEndsTheProgram)
{
    window = std::make_unique<kvx::TForm1>(QString(), VIEWER_FAKE_V21);
    EXPECT_FALSE(window->apiReady());
    EXPECT_EQ(dialogs.errors, QStringList{"Failed to open VKVX API, Error code: -3"});
}

TEST_F(WorkflowTest, MaximiseTwiceAndBorderlessMode)
{
    start(kFakeNoDevices);
    kvx::TForm1& w = *window;
    w.Maximize1->trigger();
    EXPECT_EQ(w.Maximize1->text(), "Restore down");
    EXPECT_TRUE(w.isMaximized());
    w.Maximize1->trigger();
    EXPECT_EQ(w.Maximize1->text(), "Maximize");
    EXPECT_FALSE(w.isMaximized());

    w.BorderlessMode1->trigger();
    EXPECT_TRUE(w.BorderlessMode1->isChecked());
    EXPECT_FALSE(w.statusBar()->isVisible());
    EXPECT_FALSE(w.menuBar()->isVisible());
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    w.BorderlessMode1->trigger();
    EXPECT_TRUE(w.statusBar()->isVisible());
    EXPECT_TRUE(w.menuBar()->isVisible());
    EXPECT_FALSE(w.windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(WorkflowTest, DraggingTheClientAreaMovesTheWindow)
{
    start(kFakeNoDevices);
    QWidget* client = window->centralWidget();
    const QPoint before = window->pos();
    auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, client->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
        QApplication::sendEvent(client, &e);
    };
    const QPoint start = client->mapToGlobal(QPoint(5, 5));
    send(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, start + QPoint(30, 20), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start + QPoint(30, 20), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(window->pos(), before + QPoint(30, 20));
    // Other buttons do not drag.
    send(QEvent::MouseButtonPress, start, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, start + QPoint(50, 50), Qt::NoButton, Qt::RightButton);
    send(QEvent::MouseButtonRelease, start + QPoint(50, 50), Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(window->pos(), before + QPoint(30, 20));
}

}  // namespace
