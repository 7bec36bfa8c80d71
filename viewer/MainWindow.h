// TForm1, "Vantrel KVX Viewer": the viewer's main window.  It loads the API
// library, searches for devices, lets the user pick a device and an operation
// mode, opens the device, shows the configuration page of the device and
// mode, turns the page's settings into a capture run and closes the device
// again.  Every control carries its name as its objectName.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPoint>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <memory>
#include <vector>

#include "AboutBox.h"
#include "ConfigPages.h"
#include "Controls.h"
#include "OptionLists.h"
#include "OptionsForm.h"
#include "SeqLenDialog.h"
#include "Workers.h"
#include "vkvx.h"

namespace kvx {

// Number of devices in the capture chain (the chosen device and its slaves),
// set each time a capture run starts; the capture worker multiplies lane
// counts by it.
int chainDeviceCount();

// A capture run as the main window starts it: the page's option list and
// choices, for the device handle and type it was started on.
struct CaptureRun {
    RunSetup setup;
    QWidget* starter = nullptr;  // the start button, or none
    VKVX_HANDLE handle = nullptr;
    uint32_t deviceType = 0;
    WId previewWindow = 0;     // the native window of PNL_Preview
    int colourConversion = 1;  // "Automatic"
};

class TForm1 : public QMainWindow, public WorkerHost {
    Q_OBJECT
public:
    // commandLine: the process's command line as one string ("-keepfpga").
    // apiLibrary: the library file to load instead of the normal search.
    explicit TForm1(const QString& commandLine = QString(), const char* apiLibrary = nullptr,
                    QWidget* parent = nullptr);
    ~TForm1() override;

    // False when the API library could not be loaded: the error dialog has
    // been shown and the program ends.
    bool apiReady() const { return apiReady_; }
    bool keepFpga() const { return keepFpga_; }
    // The run started last, while it lasts.
    const CaptureRun* captureRun() const { return run_.get(); }
    QString deviceName() const { return deviceName_; }
    VKVX_HANDLE deviceHandle() const { return handle_; }
    QString statusPanelText(int panel) const;
    // The capture worker of the run, while it lasts.
    CaptureWorkerClass* captureWorker() const { return worker_.get(); }

    // Panels.
    CaptionPanel* PNL_DeviceSelector;
    QFrame* PNL_Info;
    QLabel* LBL_Version;
    QLabel* VantrelLink;
    QPushButton* BTN_RescanDevices;
    QFrame* PNL_DeviceButtons;
    QWidget* BTGR_Devices;
    QFrame* PNL_ModeSelect;
    QWidget* BTGR_Modes;
    QPushButton* BTN_BackToDeviceSelector;
    CaptionPanel* PNL_NotSupported;
    QPushButton* BTN_Back;
    QTabWidget* PG_Controls;
    CaptionPanel* PNL_NoSignal;
    QPushButton* BTN_ResetCapture;
    QFrame* PNL_Preview;
    CaptionPanel* PNL_Time_Data;
    CaptionPanel* PNL_Volume;
    QLabel* IMG_BlockedHDCP;
    ConfigPages pages;

    // Menus.
    QAction* StopCapture1;
    QAction* CloseDevice1;
    QAction* Savesnapshot1;
    QAction* Savevideosequence1;
    QAction* Exit1;
    QAction* Options;
    QAction* Reset1;
    QAction* About1;
    QAction* Zoom251;
    QAction* Zoom501;
    QAction* Zoom1001;
    QAction* BorderlessMode1;
    QAction* Maximize1;
    QMenu* PopupMenu1;

    // Status bar panels 0 to 3, timers.
    QLabel* StatusPanel[4];
    QTimer* Timer1;
    QTimer* InitTimer;
    int InitTimerTag = 0;

    TAboutForm* AboutForm;
    TForm2* Form2;
    TOptionsForm* OptionsForm;

    // The timing test configuration the Options dialog's OK hands on.
    struct TimingTestConfig {
        QString laneParameters;
        QString timeParameters;
        int warmUp = 3;
        int duration = 10;
    } timingTests;

    // Handlers.
    void BTN_RescanDevicesClick();
    void BTGR_DevicesButtonClicked(int index);
    void BTGR_ModesButtonClicked(int index);
    void BTN_BackToDeviceSelectorClick();
    void BTN_BackClick();
    void StartCapture(QWidget* starter);
    // A run without a starter on the given setup (the common part of a
    // capture start only).
    void StartCaptureWith(const RunSetup& setup);
    void BTN_ResetCaptureClick();
    void StopCapture1Click();
    void CloseDevice1Click();
    void RG_Vx1_ExtTriggerAClick();
    void RG_Vx1_ExtTriggerBClick();
    void RG_MLC_CaptureClick();
    void RG_KVX3_Audio_InputsClick();
    void BTN_KVX3_Audio_Devs_RefreshClick();
    void Reset1Click();
    void About1Click();
    void OptionsClick();
    void Savesnapshot1Click();
    void Savevideosequence1Click();
    void Zoom251Click() { zoom(4); }
    void Zoom501Click() { zoom(2); }
    void Zoom1001Click() { zoom(1); }
    void BorderlessMode1Click();
    void Maximize1Click();
    void Timer1Timer();
    void InitTimerTimer();
    void FormResize();

    // Synchronised calls of the workers (main thread).
    void workerShowNoSignal() override;
    void workerHideNoSignal() override;
    void workerShowResetCapture() override;
    void workerWaitingForTrigger() override;
    void workerProtectedDisplay(bool protectedState) override;
    void workerSaveItems(bool snapshot, bool sequence) override;
    void workerMessage(const QString& text) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void buildMenus();
    void assignTags();
    void FormShow();
    void releaseLibrary();
    void armInitTimer(int tag);
    void searchCount();
    void searchFetch();
    void searchFailed();
    void buildDeviceButtons();
    void clearButtons(QWidget* group);
    QPushButton* addButton(QWidget* group, const QString& caption, int index, bool devices);
    void openWithMode(uint32_t modeId, uint32_t modeType);
    void openStep();
    QFrame* pageFor(uint32_t productCode, uint32_t modeId, uint32_t modeType) const;
    void relabelLaneGroups();
    void showPage(QFrame* panel);
    void triggerClick(RadioGroup* trigger, RadioGroup* captureMode);
    void endRun();
    void beginRun(std::unique_ptr<CaptureRun> run);
    void zoom(int divisor);
    // The Options dialog's frame saving choices, read at each capture start.
    int32_t captureFileFormat() const;
    QString captureSaveFolder() const;
    void centre(QWidget* w, int height);
    void dragEvent(QEvent* event);

    bool apiReady_ = false;
    bool released_ = false;
    bool shownOnce_ = false;
    bool keepFpga_ = false;
    std::vector<VKVX_DEVICE_INFO> devices_;
    size_t devicesCapacity_ = 0;
    std::vector<VKVX_OPERATION_MODE> modes_;
    bool haveModes_ = false;
    int chosen_ = -1;
    uint32_t modeId_ = 0;
    uint32_t modeType_ = 0;
    QString deviceName_ = "-";
    VKVX_HANDLE handle_ = nullptr;
    QFrame* page_ = nullptr;
    QWidget* starter_ = nullptr;
    std::unique_ptr<CaptureRun> run_;
    std::unique_ptr<CaptureWorkerClass> worker_;
    std::unique_ptr<Autoconfig> keeper_;
    bool protected_ = false;
    bool dragging_ = false;
    QPoint dragPos_;
    QString appVersion_;
};

}  // namespace kvx
