// TForm2, "Recording": asks for the length of a video sequence (and, on its
// audio page, for an audio recording).  Created once at start-up; keeps its
// values between uses.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

namespace kvx {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    QTabWidget* PGC_Type;
    QWidget* TAB_Video;
    QWidget* TAB_Audio;
    QLabel* Label1;
    QSpinBox* UpDown1;  // its editor is Edit1
    QCheckBox* CB_CaptureBuffered;
    QLabel* LBL_MaxNumber;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    // Number in Edit1.
    int frames() const { return UpDown1->value(); }
};

}  // namespace kvx
