// The main window against libVKVX.so.1 itself, found by the normal library
// search, with its emulated device.
#include <gtest/gtest.h>

#include <memory>

#include "ApiBinding.h"
#include "MainWindow.h"
#include "ViewerTestSupport.h"

namespace {

using kvxtest::waitFor;

QList<QPushButton*> deviceButtons(kvx::TForm1& w)
{
    return w.BTGR_Devices->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
}

TEST(EmulatedDevice, SearchChooseCaptureCloseAndSearchAgain)
{
    kvxtest::ensureApplication();
    kvxtest::DialogRecorder dialogs;
    auto window = std::make_unique<kvx::TForm1>();
    ASSERT_TRUE(window->apiReady()) << dialogs.errors.join("; ").toStdString();
    kvx::TForm1& w = *window;
    const kvx::ApiVersion v = kvx::ApiLibraryVersion();
    EXPECT_EQ(v.major, 1);
    EXPECT_GE(v.minor, 1);

    w.show();
    ASSERT_TRUE(waitFor([&] { return !deviceButtons(w).isEmpty(); }));
    EXPECT_TRUE(w.PNL_DeviceButtons->isVisible());
    EXPECT_TRUE(w.BTN_RescanDevices->isEnabled());
    QPushButton* emulated = nullptr;
    for (QPushButton* b : deviceButtons(w)) {
        if (b->text() == "SW Emulated device [EMU001]") {
            emulated = b;
        }
    }
    ASSERT_NE(emulated, nullptr);
    EXPECT_TRUE(w.AboutForm->infoText().contains("SW Emulated device [EMU001] rev: 0"));

    // One operation mode: opened at once in mode 0, which has no page, so a
    // run starts at once without a starter.
    emulated->click();
    EXPECT_EQ(w.deviceName(), "SW Emulated device");
    ASSERT_TRUE(waitFor([&] { return w.deviceHandle() != nullptr; }));
    ASSERT_NE(w.captureRun(), nullptr);
    EXPECT_EQ(w.captureRun()->starter, nullptr);
    EXPECT_TRUE(w.captureRun()->setup.options.empty());
    EXPECT_TRUE(w.captureRun()->setup.video);
    EXPECT_FALSE(w.captureRun()->setup.audio);
    EXPECT_EQ(w.captureRun()->deviceType & 0xFFFF, 0x7400u);
    EXPECT_EQ(w.captureRun()->previewWindow, w.PNL_Preview->winId());
    EXPECT_EQ(kvx::chainDeviceCount(), 1);
    EXPECT_TRUE(w.PNL_NoSignal->isVisible());
    EXPECT_FALSE(w.PG_Controls->isVisible());
    EXPECT_FALSE(w.PNL_DeviceSelector->isVisible());
    EXPECT_FALSE(w.StopCapture1->isEnabled());
    EXPECT_TRUE(w.CloseDevice1->isEnabled());
    ASSERT_TRUE(waitFor([&] { return w.statusPanelText(1) == "Device: SW Emulated device"; }, 3000));

    // "Reset Capture ..." restarts the same run.
    const kvx::CaptureRun* first = w.captureRun();
    w.BTN_ResetCapture->click();
    ASSERT_NE(w.captureRun(), nullptr);
    EXPECT_NE(w.captureRun(), first);
    EXPECT_EQ(w.captureRun()->starter, nullptr);

    // Close, and the device is found again (its in-use lock was released).
    w.CloseDevice1->trigger();
    EXPECT_EQ(w.deviceHandle(), nullptr);
    EXPECT_EQ(w.captureRun(), nullptr);
    EXPECT_TRUE(w.PNL_DeviceSelector->isVisible());
    ASSERT_TRUE(waitFor([&] { return !deviceButtons(w).isEmpty() && w.BTN_RescanDevices->isEnabled(); }));
    deviceButtons(w).last()->click();
    ASSERT_TRUE(waitFor([&] { return w.deviceHandle() != nullptr; }));
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();

    w.close();
    EXPECT_FALSE(kvx::ApiLibraryLoaded());
}

}  // namespace
