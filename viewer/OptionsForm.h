// TOptionsForm, "Options": the settings of the two timing stability tests and
// of frame saving (file format, save folder, pause on error).  Its values
// survive between runs through an Autoconfig (Tags 10 to 1000) in the store
// "Software\Vantrel\KVX".  The capture start runs its show and hide steps
// without displaying it, so that its controls hold the stored values.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <memory>

#include "Autoconfig.h"
#include "Controls.h"

namespace kvx {

// Settings store of the viewer's forms.
constexpr int kViewerIniType = 3;
constexpr const char* kViewerSettingsKey = "Software\\Vantrel\\KVX";

class TOptionsForm : public QDialog {
    Q_OBJECT
public:
    explicit TOptionsForm(QWidget* parent = nullptr);
    ~TOptionsForm() override;

    QFrame* PNL_Buttons;
    QPushButton* BTN_OK;
    QPushButton* BTN_Cancel;
    QTabWidget* PGE_Control;
    QWidget* SHT_Timing;
    QGroupBox* GroupBox1;
    QCheckBox* CHK_LaneEnable;
    QLineEdit* EDT_Lane_Parameters;
    QGroupBox* GroupBox2;
    QCheckBox* CHK_TimeEnable;
    QLineEdit* EDT_Time_Parameters;
    QLineEdit* EDT_Time_WarmUp;
    QLineEdit* EDT_Time_Duration;
    QWidget* SHT_FileFormat;
    RadioGroup* RGR_FileFormat;
    QLineEdit* EDT_SaveDirectory;
    QPushButton* BNT_Browse;
    QCheckBox* CB_StopOnError;

    bool okPressed() const { return okPressed_; }
    // The save folder as the workers take it: the edit's text and "/".
    QString saveFolder() const { return EDT_SaveDirectory->text() + "/"; }

    // Show and hide steps (also run by the capture start without showing).
    void FormShow();
    void FormHide();
    void BTN_OKClick();
    void BTN_CancelClick();
    void CHK_LaneEnableClick();
    void CHK_TimeEnableClick();
    void BNT_BrowseClick();

    // The folder chooser (replaced by the tests): returns the chosen folder,
    // or an empty text when nothing was chosen.
    static void setFolderChooser(QString (*chooser)(const QString& start));

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::unique_ptr<Autoconfig> keeper_;
    bool okPressed_ = false;
};

}  // namespace kvx
