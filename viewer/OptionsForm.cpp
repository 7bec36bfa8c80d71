#include "OptionsForm.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "Dialogs.h"

namespace kvx {
namespace {

QString chooseWithDialog(const QString& start)
{
    return QFileDialog::getExistingDirectory(nullptr, "Choose save folder", start, QFileDialog::ShowDirsOnly);
}

QString (*g_chooser)(const QString&) = chooseWithDialog;

template <typename T>
T* tagged(T* w, int tag)
{
    w->setProperty("Tag", tag);
    return w;
}

QLineEdit* edit(const char* name, const QString& text, QWidget* parent)
{
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    return e;
}

}  // namespace

void TOptionsForm::setFolderChooser(QString (*chooser)(const QString&))
{
    g_chooser = chooser ? chooser : chooseWithDialog;
}

TOptionsForm::TOptionsForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("OptionsForm");
    setWindowTitle("Options");
    QFont tahoma = font();
    tahoma.setFamily("Tahoma");
    setFont(tahoma);
    resize(450, 363);
    auto* column = new QVBoxLayout(this);

    PGE_Control = new QTabWidget(this);
    PGE_Control->setObjectName("PGE_Control");
    // Frame saving.
    SHT_FileFormat = tagged(new QWidget, 21);
    SHT_FileFormat->setObjectName("SHT_FileFormat");
    auto* saving = new QVBoxLayout(SHT_FileFormat);
    RGR_FileFormat = tagged(new RadioGroup("RGR_FileFormat", "File Format", {"PPM", "BMP", "JPG"}, 0, SHT_FileFormat, 3), 20);
    saving->addWidget(RGR_FileFormat);
    auto* location = new QLabel("Save &Location", SHT_FileFormat);
    saving->addWidget(location);
    auto* folderRow = new QHBoxLayout;
    EDT_SaveDirectory = tagged(edit("EDT_SaveDirectory", QString(), SHT_FileFormat), 20);
    location->setBuddy(EDT_SaveDirectory);
    BNT_Browse = new QPushButton("&Browse", SHT_FileFormat);
    BNT_Browse->setObjectName("BNT_Browse");
    folderRow->addWidget(EDT_SaveDirectory, 1);
    folderRow->addWidget(BNT_Browse);
    saving->addLayout(folderRow);
    CB_StopOnError = tagged(new QCheckBox("Pause On Error", SHT_FileFormat), 20);
    CB_StopOnError->setObjectName("CB_StopOnError");
    saving->addWidget(CB_StopOnError);
    saving->addStretch(1);

    // Timing.
    SHT_Timing = new QWidget;
    SHT_Timing->setObjectName("SHT_Timing");
    auto* timing = new QVBoxLayout(SHT_Timing);
    GroupBox1 = new QGroupBox("Lane-to-Lane Stability", SHT_Timing);
    GroupBox1->setObjectName("GroupBox1");
    auto* lane = new QFormLayout(GroupBox1);
    CHK_LaneEnable = tagged(new QCheckBox("Enable", GroupBox1), 19);
    CHK_LaneEnable->setObjectName("CHK_LaneEnable");
    CHK_LaneEnable->setChecked(true);
    EDT_Lane_Parameters = tagged(edit("EDT_Lane_Parameters", "5,8,11,14,17,20,23,26,32,34,36,38,40,41", GroupBox1), 11);
    lane->addRow(CHK_LaneEnable);
    lane->addRow("Parameters", EDT_Lane_Parameters);
    GroupBox2 = new QGroupBox("Time Stability", SHT_Timing);
    GroupBox2->setObjectName("GroupBox2");
    auto* time = new QFormLayout(GroupBox2);
    CHK_TimeEnable = tagged(new QCheckBox("Enable", GroupBox2), 12);
    CHK_TimeEnable->setObjectName("CHK_TimeEnable");
    CHK_TimeEnable->setChecked(true);
    EDT_Time_Parameters = tagged(edit("EDT_Time_Parameters", "5,8,42,43,44,50,51,52,53,54,55,56", GroupBox2), 13);
    EDT_Time_WarmUp = tagged(edit("EDT_Time_WarmUp", "3", GroupBox2), 14);
    EDT_Time_Duration = tagged(edit("EDT_Time_Duration", "10", GroupBox2), 15);
    time->addRow(CHK_TimeEnable);
    time->addRow("Parameters", EDT_Time_Parameters);
    time->addRow("Warm Up Time, sec", EDT_Time_WarmUp);
    time->addRow("Test Duration, sec", EDT_Time_Duration);
    timing->addWidget(GroupBox1);
    timing->addWidget(GroupBox2);
    timing->addStretch(1);

    // "Frame Saving" is the page shown; the "Timing" tab beside it reaches
    // the other sheet.
    PGE_Control->addTab(SHT_FileFormat, "Frame Saving");
    PGE_Control->addTab(SHT_Timing, "Timing");
    PGE_Control->setCurrentWidget(SHT_FileFormat);
    column->addWidget(PGE_Control, 1);

    PNL_Buttons = new QFrame(this);
    PNL_Buttons->setObjectName("PNL_Buttons");
    PNL_Buttons->setFixedHeight(52);
    auto* buttons = new QHBoxLayout(PNL_Buttons);
    BTN_OK = new QPushButton("OK", PNL_Buttons);
    BTN_OK->setObjectName("BTN_OK");
    BTN_OK->setDefault(true);
    BTN_Cancel = new QPushButton("Cancel", PNL_Buttons);
    BTN_Cancel->setObjectName("BTN_Cancel");
    buttons->addStretch(1);
    buttons->addWidget(BTN_OK);
    buttons->addWidget(BTN_Cancel);
    column->addWidget(PNL_Buttons);

    connect(BTN_OK, &QPushButton::clicked, this, [this] { BTN_OKClick(); });
    connect(BTN_Cancel, &QPushButton::clicked, this, [this] { BTN_CancelClick(); });
    connect(CHK_LaneEnable, &QCheckBox::clicked, this, [this] { CHK_LaneEnableClick(); });
    connect(CHK_TimeEnable, &QCheckBox::clicked, this, [this] { CHK_TimeEnableClick(); });
    connect(BNT_Browse, &QPushButton::clicked, this, [this] { BNT_BrowseClick(); });
}

TOptionsForm::~TOptionsForm() = default;

void TOptionsForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TOptionsForm::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    FormHide();
}

void TOptionsForm::FormShow()
{
    keeper_.reset();
    try {
        keeper_ = std::make_unique<Autoconfig>(this, true, kViewerIniType, kViewerSettingsKey, 1000, 10);
    } catch (const AutoconfigError& e) {
        dialogs().error(this, QString::fromUtf8(e.what()));
    }
    if (EDT_SaveDirectory->text().isEmpty()) {
        // The user's pictures folder; none found leaves the edit empty.
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        QString folder = pictures;
        while (folder.size() > 1 && folder.endsWith('/')) {
            folder.chop(1);
        }
        EDT_SaveDirectory->setText(folder);
    }
}

void TOptionsForm::FormHide() { keeper_.reset(); }  // saves every persistent control

void TOptionsForm::BTN_OKClick()
{
    if (keeper_) {
        keeper_->SaveAll();
    }
    okPressed_ = true;
    accept();
}

void TOptionsForm::BTN_CancelClick()
{
    if (keeper_) {
        keeper_->LoadAll(false);
    }
    reject();
}

void TOptionsForm::CHK_LaneEnableClick() { EDT_Lane_Parameters->setEnabled(CHK_LaneEnable->isChecked()); }

void TOptionsForm::CHK_TimeEnableClick()
{
    const bool on = CHK_TimeEnable->isChecked();
    EDT_Time_Duration->setEnabled(on);
    EDT_Time_Parameters->setEnabled(on);
    EDT_Time_WarmUp->setEnabled(on);
}

void TOptionsForm::BNT_BrowseClick()
{
    QString chosen = g_chooser(EDT_SaveDirectory->text());
    if (chosen.isEmpty()) {
        return;
    }
    if (!chosen.endsWith('/')) {
        chosen += '/';
    }
    EDT_SaveDirectory->setText(chosen);
}

}  // namespace kvx
