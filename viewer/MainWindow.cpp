#include "MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScrollArea>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "ApiBinding.h"
#include "Dialogs.h"
#include "platform/VersionNote.h"

namespace kvx {
namespace {

int g_chainDevices = 1;

constexpr uint32_t kProductLvds = 0x7100;
constexpr uint32_t kProductVx1 = 0x7200;
constexpr uint32_t kProductMlc = 0x7300;
constexpr uint32_t kProductUsb3 = 0x7350;
constexpr uint32_t kProductDummy = 0x7400;

const QColor kNoSignalRed(0xFF, 0x00, 0x00);  // 0x0000FF as a BGR colour
const QColor kTriggerNavy(0x00, 0x00, 0x80);  // 0x800000 as a BGR colour

void setPanelColour(CaptionPanel* panel, const QColor& colour)
{
    QPalette pal = panel->captionLabel()->palette();
    pal.setColor(QPalette::WindowText, colour);
    panel->captionLabel()->setPalette(pal);
}

QFrame* makeFrame(const QString& name, QWidget* parent)
{
    auto* f = new QFrame(parent);
    f->setObjectName(name);
    return f;
}

}  // namespace

int chainDeviceCount() { return g_chainDevices; }

TForm1::TForm1(const QString& commandLine, const char* apiLibrary, QWidget* parent) : QMainWindow(parent)
{
    setObjectName("Form1");
    setWindowTitle("Vantrel KVX Viewer");
    buildWindow();
    buildMenus();

    // Construction: load the library before anything else touches it.
    const int32_t r = LoadApiLibrary(apiLibrary);
    if (r < 0) {
        dialogs().error(this, QString("Failed to open VKVX API, Error code: %1").arg(r));
        return;  // the program ends (see apiReady)
    }
    apiReady_ = true;
    BindExtendedEntries();  // missing extended entries answer -5
    if (commandLine.contains("-keepfpga")) {
        dialogs().information(this, "Disabled FPGA reload");
        keepFpga_ = true;
    }
}

TForm1::~TForm1()
{
    releaseLibrary();
    keeper_.reset();  // FormDestroy: saves the window's persistent controls
}

void TForm1::buildWindow()
{
    setMinimumSize(600, 718);
    resize(1286, 1028);

    auto* client = new QWidget(this);
    client->setObjectName("ClientArea");
    setCentralWidget(client);
    client->installEventFilter(this);
    client->setContextMenuPolicy(Qt::DefaultContextMenu);

    // Preview: the window the preview renderer draws into.
    PNL_Preview = makeFrame("PNL_Preview", client);
    PNL_Preview->setAutoFillBackground(true);
    QPalette dark = PNL_Preview->palette();
    dark.setColor(QPalette::Window, Qt::black);
    PNL_Preview->setPalette(dark);
    PNL_Preview->setAttribute(Qt::WA_NativeWindow);  // its window id is handed to the renderer
    (new QVBoxLayout(PNL_Preview))->setContentsMargins(0, 0, 0, 0);  // the renderer's view fills it

    // No-signal panel with the reset button.
    PNL_NoSignal = new CaptionPanel("PNL_NoSignal", client);
    PNL_NoSignal->setAutoFillBackground(true);
    PNL_NoSignal->setCaption("No Signal");
    QFont big = PNL_NoSignal->captionLabel()->font();
    big.setPointSizeF(big.pointSizeF() * 2.0);
    big.setBold(true);
    PNL_NoSignal->captionLabel()->setFont(big);
    setPanelColour(PNL_NoSignal, kNoSignalRed);
    BTN_ResetCapture = new QPushButton("Reset Capture ...", PNL_NoSignal);
    BTN_ResetCapture->setObjectName("BTN_ResetCapture");
    BTN_ResetCapture->resize(160, 32);
    BTN_ResetCapture->hide();
    PNL_NoSignal->hide();
    connect(BTN_ResetCapture, &QPushButton::clicked, this, [this] { BTN_ResetCaptureClick(); });

    IMG_BlockedHDCP = new QLabel("Protected content", client);
    IMG_BlockedHDCP->setObjectName("IMG_BlockedHDCP");
    IMG_BlockedHDCP->hide();

    // Device selector.
    PNL_DeviceSelector = new CaptionPanel("PNL_DeviceSelector", client);
    PNL_DeviceSelector->setFrameShape(QFrame::StyledPanel);
    PNL_DeviceSelector->setAutoFillBackground(true);
    QFont captionFont = PNL_DeviceSelector->captionLabel()->font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 1.2);
    PNL_DeviceSelector->captionLabel()->setFont(captionFont);
    auto* selector = static_cast<QVBoxLayout*>(PNL_DeviceSelector->layout());
    selector->setContentsMargins(16, 12, 16, 12);
    selector->setSpacing(8);

    PNL_Info = makeFrame("PNL_Info", PNL_DeviceSelector);
    auto* info = new QVBoxLayout(PNL_Info);
    info->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel("Vantrel KVX Viewer", PNL_Info);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    LBL_Version = new QLabel(PNL_Info);
    LBL_Version->setObjectName("LBL_Version");
    LBL_Version->setAlignment(Qt::AlignCenter);
    VantrelLink = new QLabel(QString("<a href=\"%1\">%1</a>").arg(kMakerWebSite), PNL_Info);
    VantrelLink->setObjectName("VantrelLink");
    VantrelLink->setAlignment(Qt::AlignCenter);
    VantrelLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(VantrelLink, &QLabel::linkActivated, this,
            [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    info->addWidget(title);
    info->addWidget(LBL_Version);
    info->addWidget(VantrelLink);
    selector->insertWidget(0, PNL_Info);
    selector->setStretch(1, 0);

    auto makeButtonPanel = [this](const QString& panelName, const QString& groupName, const QString& heading,
                                  QWidget*& group) {
        QFrame* panel = makeFrame(panelName, PNL_DeviceSelector);
        auto* column = new QVBoxLayout(panel);
        column->setContentsMargins(0, 0, 0, 0);
        auto* label = new QLabel(heading, panel);
        label->setAlignment(Qt::AlignCenter);
        column->addWidget(label);
        auto* scroll = new QScrollArea(panel);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        group = new QWidget;
        group->setObjectName(groupName);
        auto* buttons = new QVBoxLayout(group);
        buttons->setSpacing(6);
        buttons->addStretch(1);
        scroll->setWidget(group);
        column->addWidget(scroll, 1);
        return panel;
    };
    PNL_DeviceButtons = makeButtonPanel("PNL_DeviceButtons", "BTGR_Devices", "Devices", BTGR_Devices);
    PNL_ModeSelect = makeButtonPanel("PNL_ModeSelect", "BTGR_Modes", "Operation modes", BTGR_Modes);
    PNL_DeviceButtons->hide();
    PNL_ModeSelect->hide();
    selector->addWidget(PNL_DeviceButtons, 4);
    selector->addWidget(PNL_ModeSelect, 4);

    auto* bottom = new QHBoxLayout;
    BTN_RescanDevices = new QPushButton("Re-scan devices", PNL_DeviceSelector);
    BTN_RescanDevices->setObjectName("BTN_RescanDevices");
    BTN_BackToDeviceSelector = new QPushButton("Back to device selection", PNL_DeviceSelector);
    BTN_BackToDeviceSelector->setObjectName("BTN_BackToDeviceSelector");
    BTN_BackToDeviceSelector->hide();
    for (QPushButton* b : {BTN_RescanDevices, BTN_BackToDeviceSelector}) {
        b->setMinimumHeight(32);
        b->setMinimumWidth(180);
    }
    bottom->addStretch(1);
    bottom->addWidget(BTN_RescanDevices);
    bottom->addWidget(BTN_BackToDeviceSelector);
    bottom->addStretch(1);
    selector->addLayout(bottom);
    connect(BTN_RescanDevices, &QPushButton::clicked, this, [this] { BTN_RescanDevicesClick(); });
    connect(BTN_BackToDeviceSelector, &QPushButton::clicked, this, [this] { BTN_BackToDeviceSelectorClick(); });

    // Not-supported panel.
    PNL_NotSupported = new CaptionPanel("PNL_NotSupported", client);
    PNL_NotSupported->setFrameShape(QFrame::StyledPanel);
    PNL_NotSupported->setAutoFillBackground(true);
    PNL_NotSupported->setCaption("This operation mode is not supported by KVX Viewer.");
    BTN_Back = new QPushButton("Back", PNL_NotSupported);
    BTN_Back->setObjectName("BTN_Back");
    BTN_Back->setMinimumWidth(120);
    auto* backRow = new QHBoxLayout;
    backRow->addStretch(1);
    backRow->addWidget(BTN_Back);
    backRow->addStretch(1);
    static_cast<QVBoxLayout*>(PNL_NotSupported->layout())->addLayout(backRow);
    PNL_NotSupported->resize(420, 160);
    PNL_NotSupported->hide();
    connect(BTN_Back, &QPushButton::clicked, this, [this] { BTN_BackClick(); });

    // Configuration pages: button-style tabs, all tabs hidden.
    PG_Controls = new QTabWidget(client);
    PG_Controls->setObjectName("PG_Controls");
    PG_Controls->tabBar()->hide();
    PG_Controls->setDocumentMode(true);
    buildConfigPages(PG_Controls, pages);
    for (QWidget* tab : {pages.TAB_MLC, pages.TAB_LVDS, pages.TAB_Vx1_Gen, pages.TAB_Vx1, pages.TAB_Time,
                         pages.TAB_KVX3_Audio}) {
        tab->installEventFilter(this);  // re-centre the page's panel
    }
    PG_Controls->hide();
    for (QPushButton* start : {pages.BitBtn1, pages.BitBtn2, pages.BitBtn3, pages.BitBtn5, pages.BitBtn7}) {
        connect(start, &QPushButton::clicked, this, [this, start] { StartCapture(start); });
    }
    // The timing measurement is started by its own worker, added with it.
    pages.BitBtn4->setEnabled(false);
    pages.BitBtn4->setToolTip("Timing measurement is not available in this build");
    connect(pages.RG_Vx1_ExtTriggerA, &RadioGroup::clicked, this, [this] { RG_Vx1_ExtTriggerAClick(); });
    connect(pages.RG_Vx1_ExtTriggerB, &RadioGroup::clicked, this, [this] { RG_Vx1_ExtTriggerBClick(); });
    connect(pages.RG_MLC_Capture, &RadioGroup::clicked, this, [this] { RG_MLC_CaptureClick(); });
    connect(pages.RG_KVX3_Audio_Inputs, &RadioGroup::clicked, this, [this] { RG_KVX3_Audio_InputsClick(); });
    connect(pages.BTN_KVX3_Audio_Devs_Refresh, &QPushButton::clicked, this,
            [this] { BTN_KVX3_Audio_Devs_RefreshClick(); });

    // Timing data and audio level panels (filled by the timing and audio
    // workers).
    PNL_Time_Data = new CaptionPanel("PNL_Time_Data", client);
    PNL_Time_Data->setCaption("Timing Measurement");
    PNL_Time_Data->hide();
    PNL_Volume = new CaptionPanel("PNL_Volume", client);
    PNL_Volume->resize(300, 160);
    PNL_Volume->hide();

    // Status bar.
    const int widths[4] = {70, 150, 250, 150};
    const char* texts[4] = {"", "Device:", "Resolution:", "Idle"};
    statusBar()->setObjectName("StatusBar1");
    for (int i = 0; i < 4; ++i) {
        StatusPanel[i] = new QLabel(texts[i], statusBar());
        StatusPanel[i]->setObjectName(QString("StatusBar1_Panel%1").arg(i));
        StatusPanel[i]->setFrameShape(QFrame::StyledPanel);
        if (i < 3) {
            StatusPanel[i]->setFixedWidth(widths[i]);
            statusBar()->addWidget(StatusPanel[i]);
        } else {
            // The last panel takes what is left, so that nothing is cut at
            // the window's minimum width.
            StatusPanel[i]->setMinimumWidth(100);
            StatusPanel[i]->resize(widths[i], StatusPanel[i]->height());
            statusBar()->addWidget(StatusPanel[i], 1);
        }
    }

    // Timers.
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
    InitTimer = new QTimer(this);
    InitTimer->setObjectName("InitTimer");
    InitTimer->setInterval(10);
    connect(InitTimer, &QTimer::timeout, this, [this] { InitTimerTimer(); });

    Form2 = new TForm2(this);
    AboutForm = new TAboutForm(this);
    OptionsForm = new TOptionsForm(this);
    assignTags();
}

void TForm1::assignTags()
{
    // Persistent controls of the window (Tags 100 to 1000).
    setProperty("Tag", 100);
    const QStringList tag100 = {
        "RG_MLC_Lanes", "RG_MLC_ColorDepth", "RG_MLC_Capture", "CHK_MLC_Invert1", "CHK_MLC_Invert2",
        "CHK_MLC_Invert3", "CHK_MLC_Invert4", "CHK_MLC_Invert5", "CHK_MLC_Invert6", "CHK_MLC_InvertClock",
        "RG_LVDS_Lanes", "RG_LVDS_ColorDepth", "RG_LVDS_Mapping", "RG_Vx1_LanesB", "RG_Vx1_ColDepthB",
        "RG_Vx1_LanesA", "RG_Vx1_ColDepthA", "RG_Vx1_Sections", "RG_Vx1_Mapping", "RG_Vx1_LanesC",
        "RG_Vx1_ColDepthC", "RG_KVX3_Audio_Inputs"};
    const QStringList tag110 = {"RG_CaptureModeC", "RadioGroup1", "RG_CaptureModeB",
                                "RG_CaptureModeA", "RG_Vx1_MeasurementMode", "RadioGroup2"};
    const QStringList tag120 = {"EDT_MLC_NumPairs", "EDT_MLC_BytesPerLine", "EDT_MLC_LinesPerFrame",
                                "EDT_MLC_LineOffset", "EDT_MLC_ResetPair", "EDT_MLC_NumSections", "CHK_NoFSync",
                                "CHK_UseSyncDelay", "CHK_LsyncNoForceLend", "CHK_BUsesSyncA", "CHK_NoLSync",
                                "CMB_MLC_FrameEdge", "CMB_MLC_LineEdge"};
    auto tag = [this](const QString& name, int value) {
        // Only the window's own controls (not those of its dialogs).
        for (QObject* o : findChildren<QObject*>(name)) {
            QObject* p = o;
            while (p && p != this && !(p->isWidgetType() && static_cast<QWidget*>(p)->isWindow())) {
                p = p->parent();
            }
            if (p == this) {
                o->setProperty("Tag", value);
            }
        }
    };
    for (const QString& n : tag100) {
        tag(n, 100);
    }
    for (int i = 1; i <= 16; ++i) {
        tag(QString("Map%1").arg(i), 100);
    }
    tag("EDT_KVX3_AudioBuffer", 105);
    for (const QString& n : tag110) {
        tag(n, 110);
    }
    for (const QString& n : tag120) {
        tag(n, 120);
    }
}

void TForm1::buildMenus()
{
    auto action = [this](const char* name, const QString& caption, void (TForm1::*handler)(),
                         const QKeySequence& shortcut = QKeySequence()) {
        auto* a = new QAction(caption, this);
        a->setObjectName(name);
        if (!shortcut.isEmpty()) {
            a->setShortcut(shortcut);
        }
        if (handler) {
            connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        }
        addAction(a);  // short cuts work whatever menu holds the item
        return a;
    };
    menuBar()->setObjectName("MainMenu1");
    QMenu* file = menuBar()->addMenu("File");
    file->setObjectName("File1");
    StopCapture1 = action("StopCapture1", "Stop Capture", &TForm1::StopCapture1Click);
    CloseDevice1 = action("CloseDevice1", "Close Device", &TForm1::CloseDevice1Click);
    // Snapshots and sequences are served by the capture worker, which enables
    // these items while it runs.
    Savesnapshot1 = action("Savesnapshot1", "Save snapshot", &TForm1::Savesnapshot1Click, QKeySequence("Ctrl+S"));
    Savevideosequence1 = action("Savevideosequence1", "Save video sequence", &TForm1::Savevideosequence1Click);
    Exit1 = action("Exit1", "Exit", nullptr, QKeySequence("Alt+F4"));
    connect(Exit1, &QAction::triggered, this, &QWidget::close);
    StopCapture1->setEnabled(false);
    CloseDevice1->setEnabled(false);
    Savesnapshot1->setEnabled(false);
    Savevideosequence1->setEnabled(false);
    file->addAction(StopCapture1);
    file->addSeparator();
    file->addAction(CloseDevice1);
    file->addSeparator();
    file->addAction(Savesnapshot1);
    file->addAction(Savevideosequence1);
    file->addSeparator();
    file->addAction(Exit1);

    QMenu* tools = menuBar()->addMenu("Tools");
    tools->setObjectName("Tools");
    Options = action("Options", "Options", &TForm1::OptionsClick);
    Reset1 = action("Reset1", "Reset", &TForm1::Reset1Click);
    tools->addAction(Options);
    tools->addAction(Reset1);

    QMenu* help = menuBar()->addMenu("Help");
    help->setObjectName("Help1");
    About1 = action("About1", "About", &TForm1::About1Click);
    help->addAction(About1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    Zoom251 = action("Zoom251", "Zoom 25%", &TForm1::Zoom251Click, QKeySequence("Alt+1"));
    Zoom501 = action("Zoom501", "Zoom 50%", &TForm1::Zoom501Click, QKeySequence("Alt+2"));
    Zoom1001 = action("Zoom1001", "Zoom 100%", &TForm1::Zoom1001Click, QKeySequence("Alt+3"));
    BorderlessMode1 = action("BorderlessMode1", "Borderless Mode", &TForm1::BorderlessMode1Click);
    BorderlessMode1->setCheckable(true);
    BorderlessMode1->setChecked(false);
    Maximize1 = action("Maximize1", "Maximize", &TForm1::Maximize1Click);
    PopupMenu1->addAction(Zoom251);
    PopupMenu1->addAction(Zoom501);
    PopupMenu1->addAction(Zoom1001);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(BorderlessMode1);
    PopupMenu1->addAction(Maximize1);
}

QString TForm1::statusPanelText(int panel) const
{
    return panel >= 0 && panel < 4 ? StatusPanel[panel]->text() : QString();
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

void TForm1::FormShow()
{
    try {
        keeper_ = std::make_unique<Autoconfig>(this, true, kViewerIniType, kViewerSettingsKey, 1000, 100);
    } catch (const AutoconfigError& e) {
        dialogs().error(this, QString::fromUtf8(e.what()));
    }
    const ApiVersion v = ApiLibraryVersion();
    AboutForm->setLibraryVersion(v.major, v.minor, v.build);

    PG_Controls->hide();
    PNL_Volume->hide();
    IMG_BlockedHDCP->move(5, 5);
    RG_MLC_CaptureClick();

    // The program's own version, from the version note of its file.
    vkvx::VersionNumbers own;
    if (vkvx::readVersionNote("/proc/self/exe", own)) {
        appVersion_ = QString::asprintf("%d.%d [R%d]", own.major, own.minor, own.build);
        LBL_Version->setText("V" + appVersion_);
        StatusPanel[0]->setText("V" + appVersion_);
        AboutForm->setApplicationVersion(appVersion_);
    }

    BTN_KVX3_Audio_Devs_RefreshClick();
    FormResize();
    if (apiReady_) {
        armInitTimer(1);  // the device search begins 10 ms later
    }
}

void TForm1::armInitTimer(int tag)
{
    InitTimerTag = tag;
    InitTimer->start();
}

void TForm1::InitTimerTimer()
{
    InitTimer->stop();
    switch (InitTimerTag) {
    case 1:
        searchCount();
        break;
    case 2:
        searchFetch();
        break;
    case 3:
        openStep();
        break;
    default:
        break;
    }
}

void TForm1::BTN_RescanDevicesClick()
{
    clearButtons(BTGR_Devices);
    PNL_DeviceSelector->setCaption("Please wait -- Searching devices ..");
    deviceName_ = "-";
    armInitTimer(1);
    BTN_RescanDevices->setEnabled(false);
}

void TForm1::searchFailed()
{
    PNL_DeviceSelector->setCaption("No devices found.");
    BTN_RescanDevices->setEnabled(true);
}

void TForm1::searchCount()
{
    devices_.clear();
    devicesCapacity_ = 0;
    const int32_t n = kvx::VKVX_EnumDevices(nullptr, 0);
    if (n <= 0) {
        if (n < 0) {
            dialogs().error(this, QString("Device enumeration failed, Error code: %1").arg(n));
        }
        searchFailed();
        return;
    }
    devicesCapacity_ = static_cast<size_t>(n);
    PNL_DeviceSelector->setCaption("Please wait -- Searching devices ....");
    armInitTimer(2);
}

void TForm1::searchFetch()
{
    devices_.assign(devicesCapacity_, VKVX_DEVICE_INFO{});
    const int32_t m = kvx::VKVX_EnumDevices(devices_.data(), static_cast<int32_t>(devicesCapacity_));
    if (m <= 0) {
        devices_.clear();
        if (m < 0) {
            dialogs().error(this, QString("Device enumeration failed, Error code: %1").arg(m));
        }
        searchFailed();
        return;
    }
    devices_.resize(std::min(devicesCapacity_, static_cast<size_t>(m)));
    PNL_DeviceSelector->setCaption(QString());
    buildDeviceButtons();
    PNL_DeviceButtons->show();
    BTN_RescanDevices->setEnabled(true);
}

void TForm1::clearButtons(QWidget* group)
{
    for (QPushButton* b : group->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        delete b;
    }
}

QPushButton* TForm1::addButton(QWidget* group, const QString& caption, int index, bool devices)
{
    auto* b = new QPushButton(caption, group);
    b->setObjectName(QString("%1_Button%2").arg(group->objectName()).arg(index));
    b->setMinimumHeight(40);
    auto* column = static_cast<QVBoxLayout*>(group->layout());
    column->insertWidget(column->count() - 1, b);  // before the closing stretch
    connect(b, &QPushButton::clicked, this, [this, index, devices] {
        if (devices) {
            BTGR_DevicesButtonClicked(index);
        } else {
            BTGR_ModesButtonClicked(index);
        }
    });
    return b;
}

void TForm1::buildDeviceButtons()
{
    clearButtons(BTGR_Devices);
    AboutForm->resetInfo();
    for (size_t i = 0; i < devices_.size(); ++i) {
        const VKVX_DEVICE_INFO& d = devices_[i];
        const QString description = recordText(d.Description, sizeof d.Description);
        if (d.Revision == 255) {
            dialogs().error(this, QString("The device '%1' is not responding.").arg(description));
            continue;
        }
        AboutForm->addDevice(d);
        QString caption = description + " [" + recordText(d.SerialNumber, sizeof d.SerialNumber) + "]";
        if (d.SlaveCount != 0) {
            caption += QString(" +%1").arg(d.SlaveCount);
        }
        addButton(BTGR_Devices, caption, static_cast<int>(i), true);
    }
}

void TForm1::BTGR_DevicesButtonClicked(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= devices_.size()) {
        return;
    }
    const VKVX_DEVICE_INFO& d = devices_[static_cast<size_t>(index)];
    if ((d.DeviceType & 0xFFFF) == kProductUsb3) {
        dialogs().error(this, "Please use KVX Console for KVX-Pxx devices.");
        return;
    }
    PNL_DeviceButtons->hide();
    BTN_RescanDevices->hide();
    BTN_BackToDeviceSelector->show();
    PNL_ModeSelect->hide();
    chosen_ = index;
    deviceName_ = recordText(d.Description, sizeof d.Description);
    const int32_t n = kvx::VKVX_EnumOperationModes(&d, nullptr, 0);
    if (n < 0) {
        dialogs().error(this, QString("Operation mode enumeration failed, Error code: %1").arg(n));
        PNL_DeviceButtons->show();
        BTN_RescanDevices->setEnabled(true);
        return;
    }
    if (n == 1) {
        openWithMode(0, 0);
        return;
    }
    if (n > 1) {
        modes_.assign(static_cast<size_t>(n), VKVX_OPERATION_MODE{});
        const int32_t m = kvx::VKVX_EnumOperationModes(&d, modes_.data(), n);
        if (m < 0) {
            dialogs().error(this, QString("Operation mode enumeration failed, Error code: %1").arg(m));
            PNL_DeviceButtons->show();
            BTN_BackToDeviceSelector->hide();
            BTN_RescanDevices->show();
            modes_.clear();
            haveModes_ = false;
            return;
        }
        modes_.resize(std::min(static_cast<size_t>(n), static_cast<size_t>(m)));
        haveModes_ = true;
        clearButtons(BTGR_Modes);
        for (size_t i = 0; i < modes_.size(); ++i) {
            const VKVX_OPERATION_MODE& mode = modes_[i];
            addButton(BTGR_Modes,
                      QString::asprintf("%s (FW %d.%d, SW %d.%d)", recordText(mode.Name, sizeof mode.Name).toLatin1().constData(),
                                        mode.FirmwareMajor, mode.FirmwareMinor, mode.SoftwareMajor, mode.SoftwareMinor),
                      static_cast<int>(i), false);
        }
        PNL_ModeSelect->show();
    }
}

void TForm1::BTGR_ModesButtonClicked(int index)
{
    if (!haveModes_ || index < 0 || static_cast<size_t>(index) >= modes_.size()) {
        return;
    }
    openWithMode(modes_[static_cast<size_t>(index)].ModeId, modes_[static_cast<size_t>(index)].ModeType);
}

void TForm1::openWithMode(uint32_t modeId, uint32_t modeType)
{
    modeId_ = modeId;
    modeType_ = modeType;
    PNL_ModeSelect->hide();
    BTN_RescanDevices->setEnabled(false);
    PNL_DeviceSelector->setCaption("Please wait -- Opening device ..");
    armInitTimer(3);
    BTN_KVX3_Audio_Devs_RefreshClick();
}

QFrame* TForm1::pageFor(uint32_t productCode, uint32_t modeId, uint32_t modeType) const
{
    if (modeId >= 3) {
        switch (modeType) {
        case 1:
            return pages.PNL_Vx1_Gen;
        case 2:
            return pages.PNL_Time_Params;
        case 3:
            return pages.PNL_MLC;
        default:
            // Mode types without a page of their own (audio capture, video
            // source, ...) are not supported by the viewer.
            return PNL_NotSupported;
        }
    }
    switch (productCode) {
    case kProductLvds:
        return modeId == 1 ? pages.PNL_MLC : pages.PNL_LVDS;
    case kProductVx1:
        return modeId == 0 ? pages.PNL_Vx1 : modeId == 1 ? pages.PNL_Vx1_Gen : pages.PNL_Time_Params;
    case kProductMlc:
        return modeId == 0 ? pages.PNL_LVDS : pages.PNL_MLC;
    case kProductDummy:
        return modeId == 0 ? nullptr : modeId == 1 ? pages.PNL_KVX3_Audio : pages.PNL_Time_Params;
    default:
        return nullptr;
    }
}

void TForm1::relabelLaneGroups()
{
    const int32_t slaves = devices_[static_cast<size_t>(chosen_)].SlaveCount;
    const int devices = slaves >= 0 && slaves < 1024 ? slaves + 1 : 1;  // a bad count labels single devices
    QStringList items;
    for (int k = 0; k < 4; ++k) {
        items << QString::fromStdString(laneItemText(k, devices));
    }
    for (RadioGroup* g : {pages.RG_Vx1_LanesA, pages.RG_Vx1_LanesB, pages.RG_Vx1_LanesC}) {
        g->setItems(items);
    }
}

void TForm1::openStep()
{
    if (chosen_ < 0 || static_cast<size_t>(chosen_) >= devices_.size()) {
        return;
    }
    const VKVX_DEVICE_INFO& d = devices_[static_cast<size_t>(chosen_)];
    const uint32_t product = d.DeviceType & 0xFFFF;
    if (product == kProductVx1) {
        relabelLaneGroups();
    }
    QFrame* page = pageFor(product, modeId_, modeType_);
    if (page == PNL_NotSupported) {
        PNL_NotSupported->show();
        PNL_DeviceSelector->hide();
        PNL_DeviceSelector->setCaption(QString());
        FormResize();
        return;  // the device is not opened
    }
    int32_t status = 0;
    VKVX_HANDLE h = kvx::VKVX_OpenDevice(&d, static_cast<int32_t>(modeId_), &status);
    if (!h) {
        dialogs().error(this, "Device open failed:\r\n" + QString::fromStdString(ApiStatusText(status)));
        PNL_DeviceButtons->show();
        BTN_RescanDevices->setEnabled(true);
        return;
    }
    handle_ = h;
    CloseDevice1->setEnabled(true);
    page_ = page;
    PNL_DeviceSelector->hide();
    if (page_) {
        showPage(page_);
    } else {
        StartCapture(nullptr);
    }
}

void TForm1::showPage(QFrame* panel)
{
    QWidget* tab = panel->parentWidget();
    if (!tab || PG_Controls->indexOf(tab) < 0) {
        dialogs().information(this, "Unknown tab " + panel->objectName());
        return;
    }
    PG_Controls->setCurrentWidget(tab);
    PG_Controls->show();
    FormResize();
}

void TForm1::BTN_BackToDeviceSelectorClick()
{
    PNL_DeviceSelector->show();
    PNL_DeviceButtons->show();
    PNL_ModeSelect->hide();
    BTN_BackToDeviceSelector->hide();
    BTN_RescanDevices->show();
    deviceName_ = "-";
    modes_.clear();
    haveModes_ = false;
}

void TForm1::BTN_BackClick()
{
    PNL_NotSupported->hide();
    PNL_DeviceSelector->show();
    PNL_ModeSelect->show();
}

void TForm1::StartCapture(QWidget* starter)
{
    auto run = std::make_unique<CaptureRun>();
    run->starter = starter;
    run->handle = handle_;
    starter_ = starter;
    if (starter) {
        switch (starter->property("Tag").toInt()) {
        case kTagVx1:
            run->setup = buildVx1Run(readVx1Page(pages));
            RG_Vx1_ExtTriggerAClick();
            break;
        case kTagVx1Generic:
            run->setup = buildVx1GenericRun(readVx1GenericPage(pages));
            RG_Vx1_ExtTriggerBClick();
            break;
        case kTagLvds:
            run->setup = buildLvdsRun(readLvdsPage(pages));
            break;
        case kTagMlc:
            run->setup = buildMlcRun(readMlcPage(pages));
            break;
        case kTagAudio:
            if (!keepFpga_) {
                kvx::VKVX_ReInitDevice(handle_, 0, 0);  // result not used
            }
            kvx::VKVX_SelectConnector(handle_, 0);
            run->setup = buildAudioRun(readAudioPage(pages));
            break;
        default:
            break;
        }
    }

    beginRun(std::move(run));
}

void TForm1::StartCaptureWith(const RunSetup& setup)
{
    auto run = std::make_unique<CaptureRun>();
    run->setup = setup;
    run->handle = handle_;
    starter_ = nullptr;
    beginRun(std::move(run));
}

void TForm1::beginRun(std::unique_ptr<CaptureRun> run)
{
    QWidget* starter = run->starter;
    // The Options dialog's controls to their stored values (not shown).
    OptionsForm->FormShow();
    OptionsForm->FormHide();
    // Common part, for every start.
    PNL_Time_Data->hide();
    PG_Controls->hide();
    PNL_DeviceSelector->hide();
    PNL_NoSignal->show();
    PNL_NoSignal->raise();
    CloseDevice1->setEnabled(true);
    StopCapture1->setEnabled(starter != nullptr);
    BTN_ResetCapture->hide();
    FormResize();
    repaint();
    const VKVX_DEVICE_INFO* d =
        chosen_ >= 0 && static_cast<size_t>(chosen_) < devices_.size() ? &devices_[static_cast<size_t>(chosen_)] : nullptr;
    g_chainDevices = d ? d->SlaveCount + 1 : 1;
    run->deviceType = d ? d->DeviceType : 0;
    run->previewWindow = PNL_Preview->winId();
    // At most one capture worker: a run started again (reset) ends the old
    // worker first.
    worker_.reset();
    protected_ = false;
    if (run->setup.video) {
        worker_ = std::make_unique<CaptureWorkerClass>(handle_, run->setup.laneMap, run->colourConversion,
                                                       run->setup.sections, run->setup.customLaneMap,
                                                       run->setup.options, PNL_Preview, run->deviceType, this);
        worker_->setBuffered(run->setup.buffered);
        worker_->setPauseOnError(run->setup.pauseOnError);
        worker_->setFileFormat(captureFileFormat());
        worker_->setSaveFolder(captureSaveFolder());
        worker_->start();
    }
    // Audio runs (the audio worker) are not part of this build: such a run
    // is recorded but fetches nothing.
    run_ = std::move(run);
}

void TForm1::BTN_ResetCaptureClick() { StartCapture(starter_); }

void TForm1::endRun()
{
    worker_.reset();  // joins the worker's thread
    run_.reset();
    if (protected_) {
        protected_ = false;
        FormResize();
    }
}

int32_t TForm1::captureFileFormat() const { return OptionsForm->RGR_FileFormat->itemIndex(); }

QString TForm1::captureSaveFolder() const { return OptionsForm->saveFolder(); }

void TForm1::OptionsClick()
{
    if (OptionsForm->exec() != QDialog::Accepted) {
        return;
    }
    TimingTestConfig config;
    config.laneParameters = OptionsForm->CHK_LaneEnable->isChecked() ? OptionsForm->EDT_Lane_Parameters->text() : QString();
    config.timeParameters = OptionsForm->CHK_TimeEnable->isChecked() ? OptionsForm->EDT_Time_Parameters->text() : QString();
    // Strict decimal conversion: a bad text stops here, nothing changes.
    for (QLineEdit* e : {OptionsForm->EDT_Time_Duration, OptionsForm->EDT_Time_WarmUp}) {
        bool ok = false;
        const int v = e->text().trimmed().toInt(&ok, 10);
        if (!ok) {
            dialogs().error(this, QString("'%1' is not a valid integer value").arg(e->text()));
            return;
        }
        (e == OptionsForm->EDT_Time_Duration ? config.duration : config.warmUp) = v;
    }
    timingTests = config;
    if (worker_) {
        worker_->setSaveFolder(OptionsForm->saveFolder());
        worker_->setPauseOnError(OptionsForm->CB_StopOnError->isChecked());
        const int format = OptionsForm->RGR_FileFormat->itemIndex();
        if (format >= 0 && format <= 2) {
            worker_->setFileFormat(format);
        }
    }
}

void TForm1::StopCapture1Click()
{
    PNL_Time_Data->hide();
    PNL_DeviceSelector->hide();
    if (page_) {
        showPage(page_);
    }
    PNL_NoSignal->hide();
    CloseDevice1->setEnabled(true);
    StopCapture1->setEnabled(false);
    endRun();
    IMG_BlockedHDCP->hide();
}

void TForm1::CloseDevice1Click()
{
    endRun();
    if (handle_) {
        kvx::VKVX_CloseDevice(handle_);  // result not checked
    }
    handle_ = nullptr;
    page_ = nullptr;
    PNL_DeviceSelector->show();
    PNL_NoSignal->hide();
    BTN_BackToDeviceSelector->hide();
    BTN_RescanDevices->show();
    deviceName_ = "-";
    CloseDevice1->setEnabled(false);
    StopCapture1->setEnabled(false);
    IMG_BlockedHDCP->hide();
    PNL_Time_Data->hide();
    PG_Controls->hide();
    FormResize();
    repaint();
    BTN_RescanDevicesClick();
}

void TForm1::triggerClick(RadioGroup* trigger, RadioGroup* captureMode)
{
    if (trigger->itemIndex() != 0) {
        PNL_NoSignal->setCaption("Waiting for External Trigger");
        setPanelColour(PNL_NoSignal, kTriggerNavy);
    } else {
        PNL_NoSignal->setCaption("No Signal");
        setPanelColour(PNL_NoSignal, kNoSignalRed);
    }
    captureMode->setEnabled(trigger->itemIndex() == 0);
}

void TForm1::RG_Vx1_ExtTriggerAClick() { triggerClick(pages.RG_Vx1_ExtTriggerA, pages.RG_CaptureModeA); }
void TForm1::RG_Vx1_ExtTriggerBClick() { triggerClick(pages.RG_Vx1_ExtTriggerB, pages.RG_CaptureModeB); }

void TForm1::RG_MLC_CaptureClick()
{
    const bool frame = pages.RG_MLC_Capture->itemIndex() == 1;
    pages.EDT_MLC_LineOffset->setEnabled(frame);
    pages.EDT_MLC_LinesPerFrame->setEnabled(frame);
}

void TForm1::RG_KVX3_Audio_InputsClick()
{
    uint32_t connectors[16] = {};
    kvx::VKVX_EnumConnectors(handle_, connectors, 16);  // result not used
}

void TForm1::BTN_KVX3_Audio_Devs_RefreshClick()
{
    // "Default Audio" plays through the system's default output.  Listing
    // the further output devices and their formats belongs to the audio
    // playback, which is added with the audio worker.
    pages.LB_KVX3_Audio_Devs->clear();
    pages.LB_KVX3_Audio_Devs->addItem("Default Audio");
    pages.LB_KVX3_Audio_Devs->setCurrentRow(0);
}

void TForm1::Reset1Click()
{
    if (handle_) {
        kvx::VKVX_SetOption(handle_, 35, 1);  // result not used
    }
}

void TForm1::About1Click() { AboutForm->exec(); }

void TForm1::Timer1Timer()
{
    StatusPanel[1]->setText("Device: " + deviceName_);
    if (!worker_) {
        StatusPanel[2]->setText("Resolution");
        StatusPanel[3]->setText("Idle");
        return;
    }
    if (worker_->connectionLost()) {
        StatusPanel[2]->setText("Resolution");
        StatusPanel[3]->setText("Connection Lost");
        CloseDevice1Click();
        return;
    }
    StatusPanel[2]->setText(worker_->resolutionText());
    StatusPanel[3]->setText(worker_->statusText());
}

void TForm1::zoom(int divisor)
{
    if (!worker_) {
        return;
    }
    showNormal();
    const auto [cw, ch] =
        zoomClientSize(worker_->frameWidth(), worker_->frameHeight(), statusBar()->isVisible() ? statusBar()->height() : 0,
                       divisor);
    // The client area of the window: the central widget and the status bar.
    const int other = height() - centralWidget()->height() - (statusBar()->isVisible() ? statusBar()->height() : 0);
    resize(cw + (width() - centralWidget()->width()), ch + other);
}

void TForm1::Savesnapshot1Click()
{
    if (worker_) {
        worker_->requestSnapshot();
    }
}

void TForm1::Savevideosequence1Click()
{
    if (!worker_) {
        return;
    }
    Form2->PGC_Type->setCurrentWidget(Form2->TAB_Video);
    const bool audioWorker = false;  // no audio worker in this build
    Form2->CB_CaptureBuffered->setVisible(!audioWorker);
    if (Form2->exec() != QDialog::Accepted || !worker_) {
        return;
    }
    worker_->requestSequence(Form2->frames(), !audioWorker && Form2->CB_CaptureBuffered->isChecked());
}

void TForm1::workerShowNoSignal()
{
    PNL_NoSignal->show();
    PNL_NoSignal->raise();
}

void TForm1::workerHideNoSignal() { PNL_NoSignal->hide(); }

void TForm1::workerShowResetCapture()
{
    BTN_ResetCapture->show();
    BTN_ResetCapture->raise();
}

void TForm1::workerWaitingForTrigger() { PNL_NoSignal->setCaption("Waiting for External Trigger"); }

void TForm1::workerProtectedDisplay(bool protectedState)
{
    protected_ = protectedState;
    Savesnapshot1->setEnabled(!protectedState);
    Savevideosequence1->setEnabled(!protectedState);
    IMG_BlockedHDCP->setVisible(protectedState);
    FormResize();
}

void TForm1::workerSaveItems(bool snapshot, bool sequence)
{
    Savesnapshot1->setEnabled(snapshot);
    Savevideosequence1->setEnabled(sequence);
}

void TForm1::workerMessage(const QString& text) { dialogs().information(this, text); }

void TForm1::BorderlessMode1Click()
{
    const bool borderless = BorderlessMode1->isChecked();
    statusBar()->setVisible(!borderless);
    menuBar()->setVisible(!borderless);
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::FramelessWindowHint, borderless);
    if (wasVisible) {
        show();
    }
}

void TForm1::Maximize1Click()
{
    const QString caption = Maximize1->text();
    if (caption == "Maximize" || caption == "M&aximize") {
        showMaximized();
        Maximize1->setText("Restore down");
    } else if (caption == "Restore down" || caption == "&Restore down") {
        showNormal();
        Maximize1->setText("Maximize");
    }
}

void TForm1::centre(QWidget* w, int height)
{
    QWidget* parent = w->parentWidget();
    if (!parent) {
        return;
    }
    w->move(parent->width() / 2 - w->width() / 2, height / 2 - w->height() / 2);
}

void TForm1::FormResize()
{
    QWidget* client = centralWidget();
    const QRect area = client->rect();  // the status bar lies outside the client widget
    if (protected_) {
        // Protected content: a fixed 800 x 600 preview in the middle.
        PNL_Preview->setGeometry(area.width() / 2 - 400, area.height() / 2 - 300, 800, 600);
    } else {
        PNL_Preview->setGeometry(area);
    }
    PNL_NoSignal->setGeometry(area);
    PNL_Time_Data->setGeometry(area);
    BTN_ResetCapture->move(area.width() / 2 - BTN_ResetCapture->width() / 2, area.height() / 2 + 70);

    // The device selector and the pages take what they need, at most the
    // client area, and are centred in it.
    const QSize selector = PNL_DeviceSelector->sizeHint().expandedTo(QSize(520, 600));
    PNL_DeviceSelector->resize(std::min(selector.width(), area.width() - 8),
                               std::min(selector.height(), area.height() - 8));
    QSize pageSize(0, 0);
    for (QFrame* panel : pages.panels()) {
        panel->resize(panel->sizeHint());
        if (panel->parentWidget() == PG_Controls->currentWidget()) {
            pageSize = panel->size();  // the page control fits the page shown
        }
    }
    PG_Controls->resize(std::min(pageSize.width() + 8, area.width()), std::min(pageSize.height() + 8, area.height()));
    PG_Controls->move(area.width() / 2 - PG_Controls->width() / 2, area.height() / 2 - PG_Controls->height() / 2);
    for (QWidget* w : {static_cast<QWidget*>(PNL_NotSupported), static_cast<QWidget*>(PNL_DeviceSelector),
                       static_cast<QWidget*>(PNL_Volume)}) {
        centre(w, area.height());
    }
    // Each page is centred in its own tab sheet.
    for (QFrame* panel : pages.panels()) {
        QWidget* tab = panel->parentWidget();
        panel->move(std::max(0, tab->width() / 2 - panel->width() / 2),
                    std::max(0, tab->height() / 2 - panel->height() / 2));
    }
    IMG_BlockedHDCP->raise();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == centralWidget()) {
        switch (event->type()) {
        case QEvent::Resize:
            FormResize();
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
            dragEvent(event);
            break;
        case QEvent::ContextMenu:
            PopupMenu1->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        default:
            break;
        }
    } else if (event->type() == QEvent::Resize) {
        for (QFrame* panel : pages.panels()) {
            if (panel->parentWidget() == watched) {
                QWidget* tab = panel->parentWidget();
                panel->move(std::max(0, tab->width() / 2 - panel->width() / 2),
                            std::max(0, tab->height() / 2 - panel->height() / 2));
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::dragEvent(QEvent* event)
{
    auto* m = static_cast<QMouseEvent*>(event);
    const QPoint global = m->globalPosition().toPoint();
    if (event->type() == QEvent::MouseButtonPress && m->button() == Qt::LeftButton) {
        centralWidget()->grabMouse();
        dragging_ = true;
        dragPos_ = global;
    } else if (event->type() == QEvent::MouseMove && dragging_) {
        move(pos() + (global - dragPos_));
        dragPos_ = global;
    } else if (event->type() == QEvent::MouseButtonRelease && m->button() == Qt::LeftButton && dragging_) {
        centralWidget()->releaseMouse();
        dragging_ = false;
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    releaseLibrary();
    event->accept();
}

void TForm1::releaseLibrary()
{
    if (released_) {
        return;
    }
    released_ = true;
    endRun();
    if (handle_) {
        kvx::VKVX_CloseDevice(handle_);
        handle_ = nullptr;
    }
    // One clean-up matches the one initialisation of LoadApiLibrary, and
    // UnloadApiLibrary makes it while the library is marked loaded.  A
    // clean-up of the window's own before it would be a second one: it drives
    // the library's reference count below zero, UnloadApiLibrary then gets -1
    // and the library is never freed.
    UnloadApiLibrary();
}

}  // namespace kvx
