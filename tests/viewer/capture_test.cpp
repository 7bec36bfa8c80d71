// The capture worker against the scripted test library: the outer loop and
// the capture loop with their restart rules, lost connections, the trigger
// wait, pause on error, protected content, snapshots and sequences, zoom; and
// the column map of multi-lane panels.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QStatusBar>
#include <QTimer>
#include <functional>
#include <memory>

#include "ApiBinding.h"
#include "FakeApi.h"
#include "GfxDisplay.h"
#include "MainWindow.h"
#include "ViewerTestSupport.h"
#include "Workers.h"

namespace {

using kvxtest::waitFor;

TEST(ColumnMap, TwoSectionsOfFourLanes)
{
    std::array<int32_t, 16> identity{};
    for (int i = 0; i < 16; ++i) {
        identity[static_cast<size_t>(i)] = i;
    }
    EXPECT_EQ(kvx::buildColumnMap(8, 4, 2, identity), (std::vector<int32_t>{0, 1, 4, 5, 2, 3, 6, 7}));
    // One section and the identity: nothing moves.
    EXPECT_EQ(kvx::buildColumnMap(6, 2, 1, identity), (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
    // Swapped lanes: columns 0 and 1 trade places in each pair.
    std::array<int32_t, 16> swapped = identity;
    swapped[0] = 1;
    swapped[1] = 0;
    EXPECT_EQ(kvx::buildColumnMap(4, 2, 1, swapped), (std::vector<int32_t>{1, 0, 3, 2}));
}

TEST(ColumnMap, BadMapsStayInsideTheLine)
{
    std::array<int32_t, 16> wild{};
    wild.fill(0);  // not a permutation: every lane names lane 0
    wild[1] = 1000;
    for (const auto& [w, n, s] : std::vector<std::tuple<int32_t, int32_t, int32_t>>{
             {8, 4, 2}, {7, 4, 8}, {33, 20, 3}, {100, 1 << 30, 1}, {40000, 16, 8}, {5, 3, 0}}) {
        const std::vector<int32_t> map = kvx::buildColumnMap(w, n, s, wild);
        EXPECT_EQ(map.size(), static_cast<size_t>(std::min(w, kvx::kMaxMapColumns)));
        for (int32_t c : map) {
            EXPECT_GE(c, 0);
            EXPECT_LE(c, std::min(w, kvx::kMaxMapColumns));  // the width itself means "dropped"
        }
    }
    // Copying through such a map writes inside the destination only.
    const std::vector<int32_t> map = kvx::buildColumnMap(8, 4, 2, wild);
    std::vector<uint32_t> src(8 * 2), dst(8 * 2 + 4, 0xABABABABu);
    for (size_t i = 0; i < src.size(); ++i) {
        src[i] = static_cast<uint32_t>(i);
    }
    VKVX_FRAME a{}, b{};
    a.Width = b.Width = 8;
    a.Height = b.Height = 2;
    a.Format = b.Format = 1;
    a.BytesPerElement = b.BytesPerElement = 4;
    a.Buffer = src.data();
    b.Buffer = dst.data();
    kvx::copyThroughColumnMap(a, b, map);
    for (size_t i = 16; i < dst.size(); ++i) {
        EXPECT_EQ(dst[i], 0xABABABABu);
    }
}

TEST(ColumnMap, CopyMovesWholePixels)
{
    std::array<int32_t, 16> identity{};
    for (int i = 0; i < 16; ++i) {
        identity[static_cast<size_t>(i)] = i;
    }
    const std::vector<int32_t> map = kvx::buildColumnMap(8, 4, 2, identity);
    std::vector<uint64_t> src(8), dst(8, 0);
    for (size_t i = 0; i < 8; ++i) {
        src[i] = 0x0101010101010101ull * i;
    }
    VKVX_FRAME a{}, b{};
    a.Width = b.Width = 8;
    a.Height = b.Height = 1;
    a.Format = b.Format = 2;
    a.BytesPerElement = b.BytesPerElement = 8;
    a.Buffer = src.data();
    b.Buffer = dst.data();
    kvx::copyThroughColumnMap(a, b, map);
    EXPECT_EQ(dst, (std::vector<uint64_t>{src[0], src[1], src[4], src[5], src[2], src[3], src[6], src[7]}));
}

TEST(FileNames, SnapshotAndSequenceNames)
{
    EXPECT_EQ(kvx::snapshotName("/pics/", 2) + kvx::fileFormatExtension(0), "/pics/KVX_Snap_2.ppm");
    EXPECT_EQ(kvx::sequenceName("/pics//", 1) + kvx::fileFormatExtension(2), "/pics//KVX_Seq_001.jpg");
    EXPECT_EQ(kvx::sequenceName("/p/", 1234), "/p/KVX_Seq_1234");
    EXPECT_EQ(kvx::fileFormatExtension(1), ".bmp");
    EXPECT_TRUE(kvx::fileFormatExtension(3).isEmpty());
}

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvxtest::ensureApplication();
        fake_ = dlopen(VIEWER_FAKE_API, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(fake_, nullptr);
        fn<FakeApi_Reset_fn>("FakeApi_Reset")(kFakeSingleMode);
    }
    void TearDown() override
    {
        window.reset();
        kvx::setRendererChoice(kvx::kRendererAny);
        dlclose(fake_);
    }
    template <typename F>
    F fn(const char* name)
    {
        return reinterpret_cast<F>(dlsym(fake_, name));
    }
    int32_t count(const char* entry) { return fn<FakeApi_Count_fn>("FakeApi_Count")(entry); }
    void script(std::vector<int32_t> results)
    {
        fn<FakeApi_ScriptGetFrame_fn>("FakeApi_ScriptGetFrame")(results.data(), static_cast<int32_t>(results.size()));
    }
    int32_t scriptLeft() { return fn<FakeApi_ScriptLeft_fn>("FakeApi_ScriptLeft")(); }
    QString savedFile(int i)
    {
        char name[512];
        return fn<FakeApi_SavedFile_fn>("FakeApi_SavedFile")(i, name, sizeof name) < 0 ? QString() : QString(name);
    }

    // Opens the MLC device (its LVDS page) and starts a real-time run.
    void startRun()
    {
        window = std::make_unique<kvx::TForm1>(QString(), VIEWER_FAKE_API);
        ASSERT_TRUE(window->apiReady());
        window->show();
        ASSERT_TRUE(waitFor([&] {
            return !window->BTGR_Devices->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly).isEmpty();
        }));
        window->BTGR_Devices->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly).at(0)->click();
        ASSERT_TRUE(waitFor([&] { return window->deviceHandle() != nullptr; }));
        window->pages.BitBtn7->click();
        ASSERT_NE(window->captureWorker(), nullptr);
    }
    bool framesPass(int64_t n = 3)
    {
        const int64_t start = window->captureWorker()->framesTaken();
        return waitFor([&] { return window->captureWorker()->framesTaken() >= start + n; });
    }

    void* fake_ = nullptr;
    kvxtest::DialogRecorder dialogs;
    std::unique_ptr<kvx::TForm1> window;
};

TEST_F(CaptureTest, RealTimeRunDrawsFramesAndStopJoins)
{
    kvx::setRendererChoice(kvx::kRendererRaster);
    startRun();
    kvx::TForm1& w = *window;
    ASSERT_TRUE(framesPass());
    EXPECT_EQ(count("VKVX_AllocateFrameBuffers"), 1);
    // Options in order, once; each real-time frame starts and stops the device.
    int32_t pairs[6] = {};
    ASSERT_EQ(fn<FakeApi_Options_fn>("FakeApi_Options")(pairs, 6), 6);
    EXPECT_EQ(std::vector<int32_t>(pairs, pairs + 6), (std::vector<int32_t>{1, 2, 3, 2, 2, 0}));
    EXPECT_GE(count("VKVX_StopCapture"), 3);
    ASSERT_TRUE(waitFor([&] { return w.statusPanelText(2) == "64x48"; }, 3000));
    EXPECT_EQ(w.statusPanelText(3), "Real Time Capturing... ");
    EXPECT_FALSE(w.PNL_NoSignal->isVisible());
    EXPECT_TRUE(w.Savesnapshot1->isEnabled());
    EXPECT_TRUE(w.Savevideosequence1->isEnabled());

    // The raster view shows the gradient: dark at the top, bright red below.
    kvx::GFX_Display* r = w.captureWorker()->renderer();
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->kind(), "Raster");
    ASSERT_TRUE(waitFor([&] { return r->framesDrawn() > 0; }));
    const QImage shot = r->widget()->grab().toImage();
    ASSERT_GT(shot.height(), 10);
    const QColor top = shot.pixelColor(shot.width() / 2, 1);
    const QColor bottom = shot.pixelColor(shot.width() / 2, shot.height() - 2);
    EXPECT_LT(top.red(), 40);
    EXPECT_GT(bottom.red(), 200);
    EXPECT_LT(bottom.green(), 20);
    EXPECT_LT(bottom.blue(), 20);

    // Stop joins the worker; the buffers are freed, the save items disabled.
    w.StopCapture1->trigger();
    EXPECT_EQ(w.captureWorker(), nullptr);
    EXPECT_EQ(fn<FakeApi_LiveBuffers_fn>("FakeApi_LiveBuffers")(), 0);
    EXPECT_FALSE(w.Savesnapshot1->isEnabled());
    EXPECT_FALSE(w.Savevideosequence1->isEnabled());
    const int32_t frames = count("VKVX_GetFrame");
    QTest::qWait(50);
    EXPECT_EQ(count("VKVX_GetFrame"), frames);
    EXPECT_TRUE(dialogs.infos.isEmpty()) << dialogs.infos.join("|").toStdString();
}

TEST_F(CaptureTest, NoSignalSixTimesToleratedSeventhRestarts)
{
    startRun();
    ASSERT_TRUE(framesPass());
    const int32_t options = count("VKVX_SetOption");
    script({-24, -24, -24, -24, -24, -24, 0});
    ASSERT_TRUE(waitFor([&] { return scriptLeft() == 0; }));
    ASSERT_TRUE(framesPass());
    EXPECT_EQ(count("VKVX_AllocateFrameBuffers"), 1);
    EXPECT_EQ(count("VKVX_SetOption"), options);

    script({-24, -24, -24, -24, -24, -24, -24});
    ASSERT_TRUE(waitFor([&] { return scriptLeft() == 0; }));
    ASSERT_TRUE(framesPass());
    EXPECT_EQ(count("VKVX_AllocateFrameBuffers"), 2);
    EXPECT_EQ(count("VKVX_FreeFrameBuffers"), 1);
    EXPECT_EQ(count("VKVX_SetOption"), 2 * options);  // the options again, from the start

    // Any other error restarts at once.
    script({-22});
    ASSERT_TRUE(waitFor([&] { return scriptLeft() == 0; }));
    ASSERT_TRUE(framesPass());
    EXPECT_EQ(count("VKVX_AllocateFrameBuffers"), 3);
    EXPECT_TRUE(dialogs.infos.isEmpty());
}

TEST_F(CaptureTest, PauseOnErrorShowsErrorAndKeepsTheLoop)
{
    startRun();
    ASSERT_TRUE(framesPass());
    window->captureWorker()->setPauseOnError(true);
    script({-24});
    ASSERT_TRUE(waitFor([&] { return scriptLeft() == 0; }));
    ASSERT_TRUE(framesPass());
    EXPECT_EQ(dialogs.infos, QStringList{"Error"});
    // A failing start keeps the frame buffers while pausing on errors.
    fn<FakeApi_SetResult_fn>("FakeApi_SetResult")("VKVX_StartCapture", -22);
    const int32_t starts = count("VKVX_StartCapture");
    ASSERT_TRUE(waitFor([&] { return count("VKVX_StartCapture") > starts + 5; }));
    EXPECT_EQ(count("VKVX_AllocateFrameBuffers"), 1);
    ASSERT_TRUE(waitFor([&] { return window->captureWorker()->statusText() == "StartCapture Timeout" ||
                                     window->captureWorker()->statusText().startsWith("StartCapture "); }));
    // Without the pause it restarts.
    window->captureWorker()->setPauseOnError(false);
    ASSERT_TRUE(waitFor([&] { return count("VKVX_AllocateFrameBuffers") > 1 || count("VKVX_SetOption") > 3; }));
}

TEST_F(CaptureTest, LostConnectionClosesTheDevice)
{
    startRun();
    ASSERT_TRUE(framesPass());
    script({-17});
    ASSERT_TRUE(waitFor([&] { return window->deviceHandle() == nullptr; }, 4000));
    EXPECT_EQ(window->statusPanelText(3), "Connection Lost");
    EXPECT_EQ(window->statusPanelText(2), "Resolution");
    EXPECT_EQ(window->captureWorker(), nullptr);
    EXPECT_EQ(count("VKVX_CloseDevice"), 1);
    EXPECT_TRUE(window->PNL_DeviceSelector->isVisible());
}

TEST_F(CaptureTest, IoErrorWhileApplyingOptionsGivesUp)
{
    fn<FakeApi_SetResult_fn>("FakeApi_SetResult")("VKVX_SetOption", -23);
    startRun();
    ASSERT_TRUE(waitFor([&] { return window->deviceHandle() == nullptr; }, 4000));
    EXPECT_EQ(window->statusPanelText(3), "Connection Lost");
    EXPECT_EQ(count("VKVX_SetOption"), 1);  // the first failure ends the list
    EXPECT_EQ(count("VKVX_StartCapture"), 0);
}

TEST_F(CaptureTest, TriggerTimeoutShowsTheWaitingTextAndRetries)
{
    fn<FakeApi_SetResult_fn>("FakeApi_SetResult")("VKVX_StartCapture", -32);
    startRun();
    ASSERT_TRUE(waitFor([&] { return count("VKVX_StartCapture") >= 3; }));
    EXPECT_EQ(window->PNL_NoSignal->caption(), "Waiting for External Trigger");
    EXPECT_TRUE(window->PNL_NoSignal->isVisible());
    EXPECT_EQ(count("VKVX_AllocateFrameBuffers"), 0);
    EXPECT_EQ(window->captureWorker()->statusText(), QString::fromStdString(kvx::ApiStatusText(-32)));
    // The trigger comes: frames flow.
    fn<FakeApi_SetResult_fn>("FakeApi_SetResult")("VKVX_StartCapture", 0);
    ASSERT_TRUE(framesPass());
    EXPECT_FALSE(window->PNL_NoSignal->isVisible());
}

TEST_F(CaptureTest, ProtectedContentHoldsSnapshots)
{
    fn<FakeApi_SetFrame_fn>("FakeApi_SetFrame")(64, 48, 1, 0x4);
    startRun();
    kvx::TForm1& w = *window;
    ASSERT_TRUE(framesPass());
    ASSERT_TRUE(waitFor([&] { return w.IMG_BlockedHDCP->isVisible(); }));
    EXPECT_FALSE(w.Savesnapshot1->isEnabled());
    EXPECT_FALSE(w.Savevideosequence1->isEnabled());
    EXPECT_EQ(w.PNL_Preview->size(), QSize(800, 600));
    EXPECT_EQ(w.captureWorker()->statusText(), "HDCP Real Time Capturing... ");
    w.captureWorker()->requestSnapshot();  // held back while bit 3 is clear
    ASSERT_TRUE(framesPass());
    EXPECT_EQ(count("VKVX_SaveFrameToFile"), 0);
    fn<FakeApi_SetFrame_fn>("FakeApi_SetFrame")(64, 48, 1, 0xC);
    ASSERT_TRUE(waitFor([&] { return count("VKVX_SaveFrameToFile") == 1; }));
    EXPECT_FALSE(w.captureWorker()->snapshotRequested());
    fn<FakeApi_SetFrame_fn>("FakeApi_SetFrame")(64, 48, 1, 0);
    ASSERT_TRUE(waitFor([&] { return !w.IMG_BlockedHDCP->isVisible(); }));
    EXPECT_TRUE(w.Savesnapshot1->isEnabled());
    EXPECT_EQ(w.PNL_Preview->size(), w.centralWidget()->size());
}

TEST_F(CaptureTest, SequenceSkipsTheCurrentFrameAndNumbersFromOne)
{
    startRun();
    kvx::TForm1& w = *window;
    ASSERT_TRUE(framesPass());
    w.captureWorker()->setSaveFolder("/seq/");
    w.captureWorker()->setFileFormat(1);
    // The dialog: cancel changes nothing, OK starts the sequence.
    QTimer::singleShot(0, w.Form2, [&] { w.Form2->BitBtn2->click(); });
    w.Savevideosequence1->trigger();
    EXPECT_EQ(w.captureWorker()->sequenceFramesLeft(), 0);
    QTimer::singleShot(0, w.Form2, [&] {
        w.Form2->UpDown1->setValue(5);
        w.Form2->BitBtn1->click();
    });
    w.Savevideosequence1->trigger();
    ASSERT_TRUE(waitFor([&] { return count("VKVX_SaveFrameToFile") == 5 && w.captureWorker()->sequenceFramesLeft() == 0; }));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(savedFile(i), QString("/seq/KVX_Seq_%1.bmp|1").arg(i + 1, 3, 10, QChar('0')));
    }
    // A second sequence starts at 001 again; a format without a writer saves nothing.
    w.captureWorker()->setFileFormat(7);
    w.captureWorker()->requestSequence(2, false);
    ASSERT_TRUE(waitFor([&] { return w.captureWorker()->sequenceFramesLeft() == 0; }));
    EXPECT_EQ(count("VKVX_SaveFrameToFile"), 5);
}

TEST_F(CaptureTest, ZoomSizesTheClientToTheFrame)
{
    fn<FakeApi_SetFrame_fn>("FakeApi_SetFrame")(1919, 1080, 1, 0);
    startRun();
    kvx::TForm1& w = *window;
    ASSERT_TRUE(framesPass(1));
    w.Zoom501->trigger();
    ASSERT_TRUE(waitFor([&] { return w.centralWidget()->width() == 959; }, 2000)) << w.centralWidget()->width();
    w.Zoom1001->trigger();
    ASSERT_TRUE(waitFor([&] { return w.centralWidget()->width() == 1919; }, 2000)) << w.centralWidget()->width();
}

TEST(Renderers, FailuresGiveTheirCodes)
{
    kvxtest::ensureApplication();
    auto direct = [](const std::function<void()>& f) { f(); };
    int32_t status = 0;
    // No window: the GL renderer and then the raster renderer refuse.
    EXPECT_EQ(kvx::createRenderer(64, 48, nullptr, direct, &status), nullptr);
    EXPECT_EQ(status, -900);
    EXPECT_EQ(kvx::createRenderer(0, 48, nullptr, direct, &status), nullptr);
    EXPECT_EQ(status, -906);
    QWidget window;
    window.resize(64, 48);
    kvx::setRendererChoice(kvx::kRendererRaster);
    auto raster = kvx::createRenderer(64, 48, &window, direct, &status);
    kvx::setRendererChoice(kvx::kRendererAny);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->Render(nullptr), -8);
    VKVX_FRAME audio{};
    std::vector<int16_t> samples(64 * 2);
    audio.Width = 64;
    audio.Height = 2;
    audio.BytesPerElement = 2;
    audio.Buffer = samples.data();
    EXPECT_EQ(raster->Render(&audio), -8);  // 2-byte elements are no picture
    // A frame larger than the picture is clipped, a smaller one fills part.
    std::vector<uint32_t> big(128 * 96, 0x00FF0000u);
    VKVX_FRAME f{};
    f.Width = 128;
    f.Height = 96;
    f.Format = 1;
    f.BytesPerElement = 4;
    f.Buffer = big.data();
    EXPECT_EQ(raster->Render(&f), 0);
    f.Width = 8;
    f.Height = 8;
    EXPECT_EQ(raster->Render(&f), 0);
}

TEST_F(CaptureTest, DefaultRendererNeedsNoMessage)
{
    startRun();
    ASSERT_TRUE(framesPass());
    ASSERT_NE(window->captureWorker()->renderer(), nullptr);
    // Without OpenGL (the offscreen platform) the raster view is used silently.
    EXPECT_TRUE(dialogs.infos.isEmpty());
}

TEST_F(CaptureTest, RendererFailureIsReportedOnEveryFrame)
{
    fn<FakeApi_SetFrame_fn>("FakeApi_SetFrame")(0, 0, 1, 0);
    startRun();
    ASSERT_TRUE(waitFor([&] { return dialogs.infos.size() >= 2; }));
    EXPECT_EQ(dialogs.infos.at(0), "Graphics preview error");
    EXPECT_EQ(dialogs.infos.at(1), "Graphics preview error");
    EXPECT_EQ(window->captureWorker()->lastRendererStatus(), -906);
    EXPECT_EQ(window->captureWorker()->renderer(), nullptr);
}

TEST_F(CaptureTest, BufferedRunCountsFramesPerCaptureLoop)
{
    startRun();
    ASSERT_TRUE(framesPass());
    kvx::RunSetup setup;
    setup.buffered = true;
    window->StartCaptureWith(setup);
    kvx::CaptureWorkerClass* worker = window->captureWorker();
    ASSERT_TRUE(worker->buffered());
    const int32_t starts = count("VKVX_StartCapture");
    const int32_t stops = count("VKVX_StopCapture");
    ASSERT_TRUE(framesPass(20));
    // Buffered: the device runs on, no start and stop around each frame.
    EXPECT_EQ(count("VKVX_StartCapture"), starts + 1);
    EXPECT_EQ(count("VKVX_StopCapture"), stops);
    auto number = [&] {
        const QString text = worker->statusText();
        EXPECT_TRUE(text.startsWith("Capturing... ")) << text.toStdString();
        return text.mid(13).toInt();
    };
    const int before = number();
    EXPECT_GE(before, 15);
    // A buffered sequence stops and starts the device before its first and
    // after its last frame.
    worker->requestSequence(3, true);
    ASSERT_TRUE(waitFor([&] { return worker->sequenceFramesLeft() == 0; }));
    EXPECT_EQ(count("VKVX_StartCapture"), starts + 3);
    EXPECT_EQ(count("VKVX_StopCapture"), stops + 2);
    // A restart begins the count from 0 again.
    script({-24, -24, -24, -24, -24, -24, -24});
    ASSERT_TRUE(waitFor([&] { return scriptLeft() == 0; }));
    ASSERT_TRUE(framesPass(2));
    EXPECT_LT(number(), before);
}

TEST_F(CaptureTest, CloseWhileCapturingJoinsBeforeClosing)
{
    startRun();
    ASSERT_TRUE(framesPass());
    window->CloseDevice1->trigger();
    EXPECT_EQ(window->captureWorker(), nullptr);
    EXPECT_EQ(count("VKVX_CloseDevice"), 1);
    EXPECT_EQ(fn<FakeApi_LiveBuffers_fn>("FakeApi_LiveBuffers")(), 0);
}

}  // namespace
