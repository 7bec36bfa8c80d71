// The configuration pages of the main window: one tab sheet of PG_Controls
// per device family, each holding the panel that the workflow selects, and
// the reading of each page into the settings record of its start button.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include "Controls.h"
#include "OptionLists.h"

namespace kvx {

struct ConfigPages {
    // Page TAB_MLC, panel PNL_MLC.
    QWidget* TAB_MLC = nullptr;
    QFrame* PNL_MLC = nullptr;
    RadioGroup* RG_MLC_Lanes = nullptr;
    RadioGroup* RG_MLC_ColorDepth = nullptr;
    RadioGroup* RG_MLC_Capture = nullptr;
    QCheckBox* CHK_MLC_Invert[6] = {};
    QCheckBox* CHK_MLC_InvertClock = nullptr;
    QSpinBox* UpDn_NumPairs = nullptr;
    QLineEdit* EDT_MLC_NumPairs = nullptr;
    QLineEdit* EDT_MLC_BytesPerLine = nullptr;
    QLineEdit* EDT_MLC_LinesPerFrame = nullptr;
    QLineEdit* EDT_MLC_LineOffset = nullptr;
    QComboBox* CMB_MLC_FrameEdge = nullptr;
    QComboBox* CMB_MLC_LineEdge = nullptr;
    QSpinBox* UpDn_ResetPair = nullptr;
    QLineEdit* EDT_MLC_ResetPair = nullptr;
    QSpinBox* UpDown1 = nullptr;
    QLineEdit* EDT_MLC_NumSections = nullptr;
    QCheckBox* CHK_NoFSync = nullptr;
    QCheckBox* CHK_UseSyncDelay = nullptr;
    QCheckBox* CHK_LsyncNoForceLend = nullptr;
    QCheckBox* CHK_BUsesSyncA = nullptr;
    QCheckBox* CHK_NoLSync = nullptr;
    RadioGroup* RG_CaptureModeC = nullptr;
    QPushButton* BitBtn3 = nullptr;

    // Page TAB_LVDS, panel PNL_LVDS.
    QWidget* TAB_LVDS = nullptr;
    QFrame* PNL_LVDS = nullptr;
    RadioGroup* RG_LVDS_Lanes = nullptr;
    RadioGroup* RG_LVDS_ColorDepth = nullptr;
    RadioGroup* RG_LVDS_Mapping = nullptr;
    RadioGroup* RadioGroup1 = nullptr;
    QPushButton* BitBtn7 = nullptr;

    // Page TAB_Vx1_Gen, panel PNL_Vx1_Gen.
    QWidget* TAB_Vx1_Gen = nullptr;
    QFrame* PNL_Vx1_Gen = nullptr;
    RadioGroup* RG_Vx1_LanesB = nullptr;
    RadioGroup* RG_Vx1_ColDepthB = nullptr;
    RadioGroup* RG_Vx1_ExtTriggerB = nullptr;
    RadioGroup* RG_CaptureModeB = nullptr;
    QPushButton* BitBtn2 = nullptr;

    // Page TAB_Vx1, panel PNL_Vx1.
    QWidget* TAB_Vx1 = nullptr;
    QFrame* PNL_Vx1 = nullptr;
    RadioGroup* RG_Vx1_LanesA = nullptr;
    RadioGroup* RG_Vx1_ColDepthA = nullptr;
    RadioGroup* RG_Vx1_Sections = nullptr;
    QLineEdit* Map[16] = {};
    RadioGroup* RG_Vx1_Mapping = nullptr;
    RadioGroup* RG_Vx1_ExtTriggerA = nullptr;
    RadioGroup* RG_CaptureModeA = nullptr;
    RadioGroup* RG_Vx1_MeasurementMode = nullptr;
    QSpinBox* UD_Lock1 = nullptr;
    QLineEdit* EDT_Lock1 = nullptr;
    QSpinBox* UD_Lock2 = nullptr;
    QLineEdit* EDT_Lock2 = nullptr;
    QLineEdit* ED_Vx1_Config2 = nullptr;
    QLineEdit* ED_Vx1_Config3 = nullptr;
    QPushButton* BitBtn1 = nullptr;

    // Page TAB_Time, panel PNL_Time_Params.
    QWidget* TAB_Time = nullptr;
    QFrame* PNL_Time_Params = nullptr;
    RadioGroup* RG_Vx1_LanesC = nullptr;
    RadioGroup* RG_Vx1_ColDepthC = nullptr;
    RadioGroup* RadioGroup2 = nullptr;
    QPushButton* BitBtn4 = nullptr;

    // Page TAB_KVX3_Audio, panel PNL_KVX3_Audio.
    QWidget* TAB_KVX3_Audio = nullptr;
    QFrame* PNL_KVX3_Audio = nullptr;
    RadioGroup* RG_KVX3_Audio_Inputs = nullptr;
    QLineEdit* EDT_KVX3_AudioBuffer = nullptr;
    QListWidget* LB_KVX3_Audio_Devs = nullptr;
    QListWidget* LB_KVX3_Audio_Caps = nullptr;
    QPushButton* BTN_KVX3_Audio_Devs_Refresh = nullptr;
    QCheckBox* CB_Sync = nullptr;
    QPushButton* BitBtn5 = nullptr;

    // Every page panel, in tab order.
    QList<QFrame*> panels() const;
};

// Builds the six pages as tabs of pg.
void buildConfigPages(QTabWidget* pg, ConfigPages& p);

// Reading a page into the settings of its start button.
Vx1Settings readVx1Page(const ConfigPages& p);
Vx1GenericSettings readVx1GenericPage(const ConfigPages& p);
LvdsSettings readLvdsPage(const ConfigPages& p);
MlcSettings readMlcPage(const ConfigPages& p);
AudioSettings readAudioPage(const ConfigPages& p);

}  // namespace kvx
