#include "SeqLenDialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QTabBar>
#include <QVBoxLayout>

#include "Controls.h"

namespace kvx {

TForm2::TForm2(QWidget* parent) : QDialog(parent)
{
    setObjectName("Form2");
    setWindowTitle("Recording");
    auto* column = new QVBoxLayout(this);
    PGC_Type = new QTabWidget(this);
    PGC_Type->setObjectName("PGC_Type");
    PGC_Type->tabBar()->hide();
    PGC_Type->setDocumentMode(true);
    TAB_Video = new QWidget;
    TAB_Video->setObjectName("TAB_Video");
    TAB_Audio = new QWidget;
    TAB_Audio->setObjectName("TAB_Audio");
    PGC_Type->addTab(TAB_Video, "Video frames");
    PGC_Type->addTab(TAB_Audio, "Audio recording");

    auto* video = new QVBoxLayout(TAB_Video);
    auto* row = new QHBoxLayout;
    Label1 = new QLabel("Number of frames to record: ", TAB_Video);
    Label1->setObjectName("Label1");
    UpDown1 = makeUpDownEdit("Edit1", "UpDown1", 1, 256, 5, TAB_Video);
    row->addWidget(Label1);
    row->addWidget(UpDown1);
    video->addLayout(row);
    CB_CaptureBuffered = new QCheckBox("Buffered", TAB_Video);
    CB_CaptureBuffered->setObjectName("CB_CaptureBuffered");
    CB_CaptureBuffered->setToolTip("Not supported");
    video->addWidget(CB_CaptureBuffered);
    LBL_MaxNumber = new QLabel("Max. number is: Not limited", TAB_Video);
    LBL_MaxNumber->setObjectName("LBL_MaxNumber");
    LBL_MaxNumber->hide();
    video->addWidget(LBL_MaxNumber);
    video->addStretch(1);
    column->addWidget(PGC_Type);

    auto* buttons = new QHBoxLayout;
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton("Cancel", this);
    BitBtn2->setObjectName("BitBtn2");
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    column->addLayout(buttons);
    // OK: modal result OK; Cancel (also Esc, and closing the window): Cancel.
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace kvx
