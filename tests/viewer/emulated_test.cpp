// The main window against libVKVX.so.1 itself, found by the normal library
// search, with its emulated device.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QStatusBar>
#include <QTemporaryDir>
#include <memory>

#include "ApiBinding.h"
#include "GfxDisplay.h"
#include "MainWindow.h"
#include "ViewerTestSupport.h"

namespace {

// The library stays mapped for the whole test process: each window loads and
// unloads it, and the leak checker would take what the library's own
// dependencies keep for their lifetime (freed with the mapping) for leaks.
[[maybe_unused]] void* const g_pinned = dlopen("libVKVX.so.1", RTLD_NOW | RTLD_NODELETE);

using kvxtest::waitFor;

// Level of the gradient in row y of a picture: the brightest channel (the
// emulated picture turns red, green, blue in turn).
int levelAt(const QImage& img, int y)
{
    const QColor c = img.pixelColor(img.width() / 2, y);
    return std::max({c.red(), c.green(), c.blue()});
}

QList<QPushButton*> deviceButtons(kvx::TForm1& w)
{
    return w.BTGR_Devices->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
}

TEST(EmulatedDevice, SearchChooseCaptureCloseAndSearchAgain)
{
    kvxtest::ensureApplication();
    kvxtest::DialogRecorder dialogs;
    kvx::setRendererChoice(kvx::kRendererRaster);  // read back through the raster view
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

    // The worker draws the emulated picture (a vertical gradient) and shows
    // its size.
    ASSERT_NE(w.captureWorker(), nullptr);
    ASSERT_TRUE(waitFor([&] { return w.statusPanelText(2) == "1920x1080"; }, 4000)) << w.statusPanelText(2).toStdString();
    EXPECT_EQ(w.statusPanelText(3), "Real Time Capturing... ");
    kvx::GFX_Display* renderer = w.captureWorker()->renderer();
    ASSERT_NE(renderer, nullptr);
    ASSERT_TRUE(waitFor([&] { return renderer->framesDrawn() > 0; }));
    const QImage shot = renderer->widget()->grab().toImage();
    ASSERT_GT(shot.height(), 100);
    auto level = [](const QImage& img, int y) {
        const QColor c = img.pixelColor(img.width() / 2, y);
        return std::max({c.red(), c.green(), c.blue()});
    };
    EXPECT_LT(level(shot, 1), 30);
    EXPECT_GT(level(shot, shot.height() - 2), 220);
    EXPECT_NEAR(level(shot, shot.height() / 2), 128, 20);

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
    kvx::setRendererChoice(kvx::kRendererAny);
}

void expectGradient(const QString& file)
{
    QImage img(file);
    ASSERT_FALSE(img.isNull()) << file.toStdString();
    EXPECT_EQ(img.size(), QSize(1920, 1080)) << file.toStdString();
    for (int y : {0, 270, 540, 810, 1079}) {
        EXPECT_NEAR(levelAt(img, y), 255 * y / 1080, 6) << file.toStdString() << " row " << y;
    }
}

TEST(EmulatedDevice, SnapshotsAndSequencesInEachFormat)
{
    kvxtest::ensureApplication();
    kvxtest::DialogRecorder dialogs;
    auto window = std::make_unique<kvx::TForm1>();
    ASSERT_TRUE(window->apiReady());
    kvx::TForm1& w = *window;
    w.show();
    ASSERT_TRUE(waitFor([&] { return !deviceButtons(w).isEmpty(); }));
    deviceButtons(w).last()->click();
    ASSERT_TRUE(waitFor([&] { return w.captureWorker() != nullptr && w.captureWorker()->framesTaken() > 0; }));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + "/";
    const char* ext[3] = {"ppm", "bmp", "jpg"};
    kvx::CaptureWorkerClass* worker = w.captureWorker();
    worker->setSaveFolder(folder);
    for (int format = 0; format < 3; ++format) {
        worker->setFileFormat(format);
        const int32_t number = kvx::snapshotCounter();
        w.Savesnapshot1->trigger();
        ASSERT_TRUE(waitFor([&] { return !worker->snapshotRequested(); }));
        EXPECT_EQ(kvx::snapshotCounter(), number + 1);
        expectGradient(folder + QString("KVX_Snap_%1.%2").arg(number).arg(ext[format]));

        worker->requestSequence(5, false);
        ASSERT_TRUE(waitFor([&] { return worker->sequenceFramesLeft() == 0; }));
        for (int i = 1; i <= 5; ++i) {
            expectGradient(folder + QString("KVX_Seq_%1.%2").arg(i, 3, 10, QChar('0')).arg(ext[format]));
        }
        EXPECT_FALSE(QFile::exists(folder + QString("KVX_Seq_006.%1").arg(ext[format])));
        EXPECT_FALSE(QFile::exists(folder + QString("KVX_Seq_000.%1").arg(ext[format])));
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 18);
    EXPECT_TRUE(dialogs.infos.isEmpty()) << dialogs.infos.join("|").toStdString();
}

TEST(EmulatedDevice, ZoomFollowsTheFrameSize)
{
    kvxtest::ensureApplication();
    kvxtest::DialogRecorder dialogs;
    auto window = std::make_unique<kvx::TForm1>();
    ASSERT_TRUE(window->apiReady());
    kvx::TForm1& w = *window;
    w.show();
    ASSERT_TRUE(waitFor([&] { return !deviceButtons(w).isEmpty(); }));
    deviceButtons(w).last()->click();
    ASSERT_TRUE(waitFor([&] { return w.captureWorker() != nullptr; }));
    // A run on a 1919 x 1080 frame (the emulated device's frame-size option).
    kvx::RunSetup setup;
    setup.options = {{VKVX_OPTION_FRAME_SIZE, (1919 << 16) | 1080}};
    w.StartCaptureWith(setup);
    ASSERT_TRUE(waitFor([&] { return w.captureWorker()->frameWidth() == 1919 && w.captureWorker()->framesTaken() > 0; }));
    w.Zoom501->trigger();
    ASSERT_TRUE(waitFor([&] { return w.centralWidget()->width() == 959; }, 2000)) << w.centralWidget()->width();

    // Frames of 16-bit components (colour mode 2) are reduced to 8 bits
    // before they are drawn: the same gradient.
    kvx::setRendererChoice(kvx::kRendererRaster);
    kvx::RunSetup wide;
    wide.options = {{VKVX_OPTION_COLOUR_MODE, 2}};
    w.StartCaptureWith(wide);
    ASSERT_TRUE(waitFor([&] { return w.captureWorker()->renderer() && w.captureWorker()->renderer()->framesDrawn() > 2; }));
    const QImage shot = w.captureWorker()->renderer()->widget()->grab().toImage();
    kvx::setRendererChoice(kvx::kRendererAny);
    EXPECT_LT(levelAt(shot, 1), 30);
    EXPECT_GT(levelAt(shot, shot.height() - 2), 220);
    w.CloseDevice1->trigger();
    EXPECT_EQ(w.captureWorker(), nullptr);
    EXPECT_EQ(w.deviceHandle(), nullptr);
}

}  // namespace
