// Control persistence and the Options dialog: classes and Tag ranges, the
// monitor fit, values and window placement surviving a new window, the
// Options dialog's show, OK and Cancel, and two processes sharing the store.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QProcess>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTimer>
#include <memory>

#include "Autoconfig.h"
#include "Controls.h"
#include "FakeApi.h"
#include "MainWindow.h"
#include "OptionsForm.h"
#include "ViewerTestSupport.h"

namespace {

using kvxtest::waitFor;

// A value of a store file as text ("Section/Key"), read straight from the
// file (QSettings keeps a per-process copy that need not see a rewrite).
QString stored(const QString& file, const QString& sectionKey)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        return QString();
    }
    const QString section = sectionKey.section('/', 0, 0);
    const QString key = sectionKey.section('/', 1);
    QString current;
    for (const QString& line : QString::fromUtf8(f.readAll()).split('\n')) {
        if (line.startsWith('[')) {
            current = line.mid(1, line.size() - 2);
        } else if (current == section && line.startsWith(key + "=")) {
            return line.mid(key.size() + 1);
        }
    }
    return QString();
}

// The file of the viewer's native store.
QString nativeStoreFile()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Vantrel", "KVX").fileName();
}

TEST(Autoconfig, ExactClassesOnly)
{
    kvxtest::ensureApplication();
    QWidget form;
    auto* edit = new QLineEdit(&form);
    auto* group = new kvx::RadioGroup("G", "G", {"a", "b"}, 0, &form);
    auto* panel = new kvx::CaptionPanel("P", &form);  // derived from a panel class: not persistent
    auto* spin = new QSpinBox(&form);                // up-down: not persistent
    EXPECT_EQ(kvx::Autoconfig::classIndex(&form), 0);
    EXPECT_EQ(kvx::Autoconfig::classIndex(edit), 1);
    EXPECT_EQ(kvx::Autoconfig::classIndex(group), 5);
    EXPECT_EQ(kvx::Autoconfig::classIndex(panel), -1);
    EXPECT_EQ(kvx::Autoconfig::classIndex(spin), -1);
}

TEST(Autoconfig, FitToMonitors)
{
    const QList<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    // Strictly inside: unchanged.
    EXPECT_EQ(kvx::fitToMonitors(QRect(100, 100, 800, 600), two, 0), QRect(100, 100, 800, 600));
    // Touching the edge but within the monitor: stays.
    EXPECT_EQ(kvx::fitToMonitors(QRect(0, 100, 800, 600), two, 0), QRect(0, 100, 800, 600));
    // Equal to a monitor's bounds: no corner strictly inside, centred on the primary.
    EXPECT_EQ(kvx::fitToMonitors(QRect(1920, 0, 1280, 1024), two, 0), QRect(320, 28, 1280, 1024));
    // On a monitor no longer attached: centred on the primary.
    EXPECT_EQ(kvx::fitToMonitors(QRect(5000, 100, 800, 600), two, 0), QRect(560, 240, 800, 600));
    // Across both: the larger share wins (the second), moved inside it.
    EXPECT_EQ(kvx::fitToMonitors(QRect(1800, 100, 800, 600), two, 0), QRect(1920, 100, 800, 600));
    // Larger than the monitor holding its corner: shrunk to it and moved in.
    EXPECT_EQ(kvx::fitToMonitors(QRect(1900, 10, 2000, 2000), two, 0), QRect(0, 0, 1920, 1080));
    // Larger than every monitor and no corner inside any: keeps its size.
    EXPECT_EQ(kvx::fitToMonitors(QRect(-100, -100, 4000, 3000), two, 0), QRect(-1040, -960, 4000, 3000));
    // No primary monitor: unchanged.
    EXPECT_EQ(kvx::fitToMonitors(QRect(5000, 100, 800, 600), two, -1), QRect(5000, 100, 800, 600));
}

TEST(Autoconfig, TagRangeStoreKindsAndHandlers)
{
    kvxtest::ensureApplication();
    QTemporaryDir dir;
    const QString ini = dir.path() + "/kvx.ini";
    QWidget form;
    form.setObjectName("TestForm");
    auto* inRange = new QLineEdit("a", &form);
    inRange->setObjectName("InRange");
    inRange->setProperty("Tag", 50);
    auto* untagged = new QLineEdit("b", &form);
    untagged->setObjectName("Untagged");
    auto* outside = new QLineEdit("c", &form);
    outside->setObjectName("Outside");
    outside->setProperty("Tag", 5000);
    auto* box = new QCheckBox(&form);
    box->setObjectName("Box");
    box->setProperty("Tag", 60);
    auto* combo = new QComboBox(&form);
    combo->setObjectName("Combo");
    combo->setProperty("Tag", 60);
    combo->setEditable(true);
    combo->addItems({"one", "two"});
    int clicks = 0;
    QObject::connect(box, &QCheckBox::clicked, [&] { ++clicks; });

    EXPECT_THROW(kvx::Autoconfig(&form, false, 7, ini, 1000, 10), kvx::AutoconfigError);
    EXPECT_EQ(kvx::Autoconfig::keeperCount(), 0);
    {
        kvx::Autoconfig keeper(&form, true, 1, ini, 1000, 10);
        EXPECT_THROW(kvx::Autoconfig(&form, false, 2, ini, 1000, 10), kvx::AutoconfigError);  // another kind
        EXPECT_EQ(clicks, 1);  // loaded with handlers, nothing stored yet
        inRange->setText("stored");
        box->setChecked(true);
        combo->setCurrentIndex(1);
        combo->setEditText("typed");
        untagged->setText("lost");
        outside->setText("lost");
    }
    EXPECT_EQ(stored(ini, "TestForm/InRange_Text"), "stored");
    EXPECT_EQ(stored(ini, "TestForm/Box_Checked"), "1");
    EXPECT_EQ(stored(ini, "TestForm/Combo_ItemIndex"), "1");
    EXPECT_TRUE(stored(ini, "TestForm/Untagged_Text").isNull());
    EXPECT_TRUE(stored(ini, "TestForm/Outside_Text").isNull());

    inRange->setText("x");
    box->setChecked(false);
    clicks = 0;
    {
        kvx::Autoconfig keeper(&form, false, 2, ini, 1000, 10);  // in-memory copy of the file
        keeper.LoadAll(false);
        EXPECT_EQ(inRange->text(), "stored");
        EXPECT_TRUE(box->isChecked());
        EXPECT_EQ(combo->currentText(), "typed");  // drop-down style: index, then the stored text
        EXPECT_EQ(clicks, 0);                       // no handlers
        inRange->setText("memory");
        keeper.SaveAll();
        EXPECT_EQ(stored(ini, "TestForm/InRange_Text"), "stored");  // not written yet
    }
    EXPECT_EQ(stored(ini, "TestForm/InRange_Text"), "memory");  // written by the last keeper
}

class PersistenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvxtest::ensureApplication();
        fake_ = dlopen(VIEWER_FAKE_API, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(fake_, nullptr);
        reinterpret_cast<FakeApi_Reset_fn>(dlsym(fake_, "FakeApi_Reset"))(kFakeSingleMode);
    }
    void TearDown() override { dlclose(fake_); }
    std::unique_ptr<kvx::TForm1> open()
    {
        auto w = std::make_unique<kvx::TForm1>(QString(), VIEWER_FAKE_API);
        w->show();
        return w;
    }
    void* fake_ = nullptr;
    kvxtest::DialogRecorder dialogs;
};

TEST_F(PersistenceTest, FirstRunDefaultsAndOptionsDialog)
{
    auto w = open();
    kvx::TOptionsForm& o = *w->OptionsForm;
    // The silent show: defaults, and the pictures folder as the save folder.
    o.FormShow();
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    EXPECT_EQ(o.EDT_SaveDirectory->text(), pictures);
    EXPECT_EQ(o.RGR_FileFormat->itemIndex(), 0);
    EXPECT_TRUE(o.CHK_LaneEnable->isChecked());
    EXPECT_EQ(o.EDT_Time_WarmUp->text(), "3");
    o.FormHide();

    // Cancel after edits: the stored values again, no handler called.
    QTimer::singleShot(0, &o, [&] {
        o.CHK_LaneEnable->click();  // the handler disables the parameters
        o.RGR_FileFormat->setItemIndex(2);
        o.EDT_Time_WarmUp->setText("9");
        o.BTN_Cancel->click();
    });
    w->Options->trigger();
    EXPECT_TRUE(o.CHK_LaneEnable->isChecked());
    EXPECT_FALSE(o.EDT_Lane_Parameters->isEnabled());  // the load itself calls no handler
    EXPECT_EQ(o.RGR_FileFormat->itemIndex(), 0);
    EXPECT_EQ(o.EDT_Time_WarmUp->text(), "3");

    // Browse: the chosen folder ends in "/"; an empty stored folder becomes
    // the pictures folder again at the next showing.
    kvx::TOptionsForm::setFolderChooser([](const QString&) { return QString("/data/shots"); });
    o.BNT_Browse->click();
    EXPECT_EQ(o.EDT_SaveDirectory->text(), "/data/shots/");
    kvx::TOptionsForm::setFolderChooser(nullptr);
    o.EDT_SaveDirectory->clear();
    o.FormShow();
    o.FormHide();
    EXPECT_EQ(o.EDT_SaveDirectory->text(), pictures);

    // OK with a bad warm-up: the texts are stored, the timing configuration
    // is left as it was.
    QTimer::singleShot(0, &o, [&] {
        o.EDT_Time_WarmUp->setText("x1");
        o.BTN_OK->click();
    });
    w->Options->trigger();
    EXPECT_TRUE(o.okPressed());
    EXPECT_EQ(dialogs.errors.last(), "'x1' is not a valid integer value");
    EXPECT_EQ(w->timingTests.warmUp, 3);
    o.FormShow();
    EXPECT_EQ(o.EDT_Time_WarmUp->text(), "x1");
    o.FormHide();
}

TEST_F(PersistenceTest, OptionsReachTheRunningWorkerAndTheNextCapture)
{
    auto w = open();
    ASSERT_TRUE(waitFor([&] { return !w->BTGR_Devices->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly).isEmpty(); }));
    w->BTGR_Devices->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly).at(0)->click();
    ASSERT_TRUE(waitFor([&] { return w->deviceHandle() != nullptr; }));
    kvx::TOptionsForm& o = *w->OptionsForm;
    // Values set while no worker runs reach the next capture through the store.
    o.FormShow();
    o.RGR_FileFormat->setItemIndex(2);
    o.EDT_SaveDirectory->setText("/tmp/kvx-shots");
    o.FormHide();
    w->pages.BitBtn7->click();
    ASSERT_NE(w->captureWorker(), nullptr);
    EXPECT_EQ(w->captureWorker()->fileFormat(), 2);
    EXPECT_EQ(w->captureWorker()->saveFolder(), "/tmp/kvx-shots/");
    EXPECT_FALSE(w->captureWorker()->pauseOnError());
    // OK while it runs: folder, pause on error and file format at once.
    QTimer::singleShot(0, &o, [&] {
        o.RGR_FileFormat->setItemIndex(1);
        o.CB_StopOnError->setChecked(true);
        o.CHK_TimeEnable->setChecked(false);
        o.EDT_Time_Duration->setText("25");
        o.BTN_OK->click();
    });
    w->Options->trigger();
    EXPECT_EQ(w->captureWorker()->fileFormat(), 1);
    EXPECT_TRUE(w->captureWorker()->pauseOnError());
    EXPECT_EQ(w->timingTests.duration, 25);
    EXPECT_TRUE(w->timingTests.timeParameters.isEmpty());
    EXPECT_EQ(w->timingTests.laneParameters, "5,8,11,14,17,20,23,26,32,34,36,38,40,41");
}

TEST_F(PersistenceTest, ValuesAndPlacementSurviveANewWindow)
{
    {
        auto w = open();
        w->pages.RG_LVDS_Lanes->setItemIndex(2);
        w->pages.CHK_NoFSync->setChecked(true);
        w->pages.EDT_MLC_BytesPerLine->setText("2000");
        w->findChild<QLineEdit*>("Map3")->setText("7");
        w->OptionsForm->FormShow();
        w->OptionsForm->RGR_FileFormat->setItemIndex(1);
        w->OptionsForm->EDT_Time_Parameters->setText("5,8");
        w->OptionsForm->FormHide();
        QTimer::singleShot(0, w->AboutForm, [&] { w->AboutForm->accept(); });
        w->About1->trigger();
        w->setGeometry(120, 90, 900, 760);
        QTest::qWait(20);
        w->showMaximized();
        QTest::qWait(20);
    }
    EXPECT_EQ(kvx::Autoconfig::keeperCount(), 0);
    {
        // The restored placement of the maximised window; the dialogs keep
        // their own sections.
        const QString store = nativeStoreFile();
        EXPECT_TRUE(stored(store, "Form1/AboutForm_Left").isNull());
        EXPECT_TRUE(stored(store, "Form1/RGR_FileFormat_ItemIndex").isNull());
        EXPECT_EQ(stored(store, "OptionsForm/RGR_FileFormat_ItemIndex"), "1");
        EXPECT_EQ(stored(store, "Form1/Form1_Maximize"), "1");
        EXPECT_EQ(stored(store, "Form1/Form1_Left"), "120");
        EXPECT_EQ(stored(store, "Form1/Form1_Top"), "90");
        EXPECT_EQ(stored(store, "Form1/Form1_Width"), "900");
        EXPECT_EQ(stored(store, "Form1/Form1_Height"), "760");
        EXPECT_EQ(stored(store, "Form1/RG_LVDS_Lanes_ItemIndex"), "2");
        // The About box keeps its position only (a dialog border); the
        // Options dialog keeps none (its Tag is 0).
        EXPECT_FALSE(stored(store, "AboutForm/AboutForm_Left").isNull());
        EXPECT_TRUE(stored(store, "AboutForm/AboutForm_Width").isNull());
        EXPECT_TRUE(stored(store, "OptionsForm/OptionsForm_Left").isNull());
    }
    auto w = open();
    EXPECT_EQ(w->pages.RG_LVDS_Lanes->itemIndex(), 2);
    EXPECT_TRUE(w->pages.CHK_NoFSync->isChecked());
    EXPECT_EQ(w->pages.EDT_MLC_BytesPerLine->text(), "2000");
    EXPECT_EQ(w->findChild<QLineEdit*>("Map3")->text(), "7");
    EXPECT_TRUE(w->isMaximized());
    w->OptionsForm->FormShow();
    EXPECT_EQ(w->OptionsForm->RGR_FileFormat->itemIndex(), 1);
    EXPECT_EQ(w->OptionsForm->EDT_Time_Parameters->text(), "5,8");
    w->OptionsForm->FormHide();
}

TEST(Autoconfig, FormInsideAMonitorComesBackWhereItWas)
{
    kvxtest::ensureApplication();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect placed(screen.x() + 50, screen.y() + 60, 300, 200);
    {
        QWidget form;
        form.setObjectName("SmallForm");
        form.setProperty("Tag", 100);
        form.show();
        form.setGeometry(placed);
        kvx::Autoconfig keeper(&form, false, 3, kvx::kViewerSettingsKey, 1000, 100);
        keeper.SaveAll();
    }
    QWidget form;
    form.setObjectName("SmallForm");
    form.setProperty("Tag", 100);
    form.show();
    kvx::Autoconfig keeper(&form, true, 3, kvx::kViewerSettingsKey, 1000, 100);
    EXPECT_EQ(form.geometry(), placed);
    EXPECT_FALSE(form.isMaximized());
}

TEST(Autoconfig, TwoProcessesShareTheStore)
{
    kvxtest::ensureApplication();
    QTemporaryDir dir;
    QProcess a, b;
    const QStringList argsA = {dir.path(), "FormA", "40"};
    const QStringList argsB = {dir.path(), "FormB", "40"};
    a.start(AUTOCONFIG_WRITER, argsA);
    b.start(AUTOCONFIG_WRITER, argsB);
    ASSERT_TRUE(a.waitForFinished(60000));
    ASSERT_TRUE(b.waitForFinished(60000));
    EXPECT_EQ(a.exitCode(), 0) << a.readAllStandardError().toStdString();
    EXPECT_EQ(b.exitCode(), 0) << b.readAllStandardError().toStdString();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString store = nativeStoreFile();
    for (const char* form : {"FormA", "FormB"}) {
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(stored(store, QString("%1/E%2_Text").arg(form).arg(i)), QString("%1-40-%2").arg(form).arg(i));
        }
    }

    // The store's lock holds across processes: a writer waits while another
    // process holds the program's lock file.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QString folder = runtime.isEmpty() ? QString("/tmp/vkvx-%1").arg(getuid()) : QString(runtime) + "/vkvx";
    ::mkdir(folder.toLocal8Bit().constData(), 0700);
    const QString lockFile = folder + "/viewer_autoconfig_writer_autoconfig.lock";
    const int fd = ::open(lockFile.toLocal8Bit().constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    QProcess c;
    c.start(AUTOCONFIG_WRITER, QStringList{dir.path(), "FormC", "1"});
    EXPECT_FALSE(c.waitForFinished(1500));  // waits for the lock
    ::flock(fd, LOCK_UN);
    ::close(fd);
    ASSERT_TRUE(c.waitForFinished(60000));
    EXPECT_EQ(c.exitCode(), 0);
}

}  // namespace
