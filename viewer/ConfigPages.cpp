#include "ConfigPages.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

namespace kvx {
namespace {

const QStringList kFourDepths = {"6 bits per pixel", "8 bits per pixel", "10 bits per pixel", "12 bits per pixel"};
const QStringList kLaneItems = {"1 Lane", "2 Lanes", "4 Lanes", "8 Lanes"};
const QStringList kCaptureModes = {"Real time", "Buffered"};
const QStringList kTriggers = {"Disabled", "Falling Edge", "Rising Edge"};
const QStringList kColourMappings = {"VESA", "Standard (JEIDA)"};

// A tab sheet of pg holding one panel with a heading; returns the panel's
// content layout.
QVBoxLayout* makePage(QTabWidget* pg, const QString& tabName, const QString& tabCaption, const QString& panelName,
                      const QString& heading, QWidget*& tab, QFrame*& panel)
{
    tab = new QWidget;
    tab->setObjectName(tabName);
    tab->setAutoFillBackground(true);
    pg->addTab(tab, tabCaption);
    panel = new QFrame(tab);
    panel->setObjectName(panelName);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(12, 8, 12, 10);
    column->setSpacing(6);
    if (!heading.isEmpty()) {
        auto* title = new QLabel(heading, panel);
        QFont f = title->font();
        f.setBold(true);
        f.setPointSizeF(f.pointSizeF() * 1.25);
        title->setFont(f);
        title->setAlignment(Qt::AlignCenter);
        column->addWidget(title);
    }
    return column;
}

QPushButton* makeStartButton(const QString& name, const QString& caption, int tag, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setProperty("Tag", tag);
    b->setMinimumHeight(32);
    b->setMinimumWidth(140);
    return b;
}

QHBoxLayout* centredRow(QWidget* w)
{
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(w);
    row->addStretch(1);
    return row;
}

QCheckBox* makeCheck(const QString& name, const QString& caption, QWidget* parent)
{
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(name);
    return c;
}

QComboBox* makeEdgeList(const QString& name, QWidget* parent)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->addItems({"Rising", "Falling"});
    c->setCurrentIndex(0);
    return c;
}

QLineEdit* editorOf(QSpinBox* s) { return s->findChild<QLineEdit*>(); }

void buildMlc(QTabWidget* pg, ConfigPages& p)
{
    QVBoxLayout* column = makePage(pg, "TAB_MLC", "MLC", "PNL_MLC", "MLC Capture Configuration", p.TAB_MLC, p.PNL_MLC);
    QFrame* panel = p.PNL_MLC;
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    column->addLayout(grid);

    p.RG_MLC_Lanes = new RadioGroup("RG_MLC_Lanes", "Channels", {"Single", "Dual", "Quad"}, 0, panel, 3);
    p.RG_MLC_Lanes->setToolTip("Dual mode channels A and B one FPGA");
    p.RG_MLC_ColorDepth =
        new RadioGroup("RG_MLC_ColorDepth", " Capture Colordepth ", {"6 bits per pixel", "8 bits per pixel"}, 1, panel, 2);
    p.RG_MLC_Capture = new RadioGroup("RG_MLC_Capture", "Capture Mode", {"Line", "Frame"}, 1, panel, 2);
    p.RG_CaptureModeC = new RadioGroup("RG_CaptureModeC", "Capture Mode", kCaptureModes, 0, panel, 2);

    auto* invert = new QGroupBox("Invert Pairs", panel);
    auto* invertGrid = new QGridLayout(invert);
    invertGrid->setContentsMargins(8, 4, 8, 4);
    invertGrid->setVerticalSpacing(2);
    for (int k = 0; k < 6; ++k) {
        p.CHK_MLC_Invert[k] = makeCheck(QString("CHK_MLC_Invert%1").arg(k + 1), QString("Pair &%1").arg(k + 1), invert);
        invertGrid->addWidget(p.CHK_MLC_Invert[k], k % 3, k / 3);
    }
    p.CHK_MLC_InvertClock = makeCheck("CHK_MLC_InvertClock", "Clock", invert);
    invertGrid->addWidget(p.CHK_MLC_InvertClock, 0, 2);

    auto* left = new QVBoxLayout;
    left->addWidget(p.RG_MLC_Lanes);
    left->addWidget(p.RG_MLC_ColorDepth);
    left->addWidget(p.RG_MLC_Capture);
    left->addWidget(invert);
    left->addWidget(p.RG_CaptureModeC);
    left->addStretch(1);

    auto* fields = new QGroupBox("Line and Frame", panel);
    auto* form = new QFormLayout(fields);
    form->setContentsMargins(8, 4, 8, 4);
    form->setVerticalSpacing(4);
    p.UpDn_NumPairs = makeUpDownEdit("EDT_MLC_NumPairs", "UpDn_NumPairs", 1, 6, 6, fields);
    p.EDT_MLC_NumPairs = editorOf(p.UpDn_NumPairs);
    form->addRow("Number of pairs", p.UpDn_NumPairs);
    p.EDT_MLC_BytesPerLine = makeDigitsEdit("EDT_MLC_BytesPerLine", "1024", fields);
    form->addRow("Bytes per Line", p.EDT_MLC_BytesPerLine);
    p.EDT_MLC_LinesPerFrame = makeDigitsEdit("EDT_MLC_LinesPerFrame", "6", fields);
    form->addRow("Lines per Frame", p.EDT_MLC_LinesPerFrame);
    p.EDT_MLC_LineOffset = new QLineEdit("0", fields);
    p.EDT_MLC_LineOffset->setObjectName("EDT_MLC_LineOffset");
    form->addRow("Line Offset", p.EDT_MLC_LineOffset);
    p.CMB_MLC_FrameEdge = makeEdgeList("CMB_MLC_FrameEdge", fields);
    form->addRow("Frame Sync", p.CMB_MLC_FrameEdge);
    p.CMB_MLC_LineEdge = makeEdgeList("CMB_MLC_LineEdge", fields);
    form->addRow("Line Sync", p.CMB_MLC_LineEdge);
    p.UpDn_ResetPair = makeUpDownEdit("EDT_MLC_ResetPair", "UpDn_ResetPair", 1, 6, 1, fields);
    p.EDT_MLC_ResetPair = editorOf(p.UpDn_ResetPair);
    form->addRow("Reset Pulse Pair", p.UpDn_ResetPair);
    p.UpDown1 = makeUpDownEdit("EDT_MLC_NumSections", "UpDown1", 1, 6, 1, fields);
    p.EDT_MLC_NumSections = editorOf(p.UpDown1);
    form->addRow("Sections", p.UpDown1);

    auto* misc = new QGroupBox("Miscellaneous", panel);
    auto* miscColumn = new QVBoxLayout(misc);
    miscColumn->setContentsMargins(8, 4, 8, 4);
    miscColumn->setSpacing(2);
    p.CHK_NoFSync = makeCheck("CHK_NoFSync", "No Frame Sync", misc);
    p.CHK_UseSyncDelay = makeCheck("CHK_UseSyncDelay", "Use Sync Delay", misc);
    p.CHK_LsyncNoForceLend = makeCheck("CHK_LsyncNoForceLend", "No Force Line End", misc);
    p.CHK_BUsesSyncA = makeCheck("CHK_BUsesSyncA", "B Uses A Sync", misc);
    p.CHK_NoLSync = makeCheck("CHK_NoLSync", "No Line Sync", misc);
    for (QCheckBox* c : {p.CHK_NoFSync, p.CHK_UseSyncDelay, p.CHK_LsyncNoForceLend, p.CHK_BUsesSyncA, p.CHK_NoLSync}) {
        miscColumn->addWidget(c);
    }

    auto* right = new QVBoxLayout;
    right->addWidget(fields);
    right->addWidget(misc);
    right->addStretch(1);

    grid->addLayout(left, 0, 0);
    grid->addLayout(right, 0, 1);
    p.BitBtn3 = makeStartButton("BitBtn3", "Start Capture", kTagMlc, panel);
    column->addLayout(centredRow(p.BitBtn3));
}

void buildLvds(QTabWidget* pg, ConfigPages& p)
{
    QVBoxLayout* column =
        makePage(pg, "TAB_LVDS", "LVDS", "PNL_LVDS", "LVDS Capture Configuration", p.TAB_LVDS, p.PNL_LVDS);
    QFrame* panel = p.PNL_LVDS;
    p.RG_LVDS_Lanes = new RadioGroup("RG_LVDS_Lanes", "Capture Mode", {"Single", "Dual", "Quad"}, 1, panel);
    p.RG_LVDS_ColorDepth = new RadioGroup("RG_LVDS_ColorDepth", " Capture Colordepth ", kFourDepths, 2, panel);
    p.RG_LVDS_Mapping = new RadioGroup("RG_LVDS_Mapping", " Color mapping ", kColourMappings, 0, panel);
    // Not read when a run starts: LVDS captures always run in real time, so
    // the group is kept but not shown.
    p.RadioGroup1 = new RadioGroup("RadioGroup1", "Capture Mode", kCaptureModes, 0, panel);
    p.RadioGroup1->hide();
    auto* grid = new QGridLayout;
    grid->addWidget(p.RG_LVDS_Lanes, 0, 0);
    grid->addWidget(p.RG_LVDS_ColorDepth, 0, 1);
    grid->addWidget(p.RG_LVDS_Mapping, 1, 0, 1, 2);
    column->addLayout(grid);
    p.BitBtn7 = makeStartButton("BitBtn7", "Start Capture", kTagLvds, panel);
    column->addLayout(centredRow(p.BitBtn7));
}

void buildVx1Generic(QTabWidget* pg, ConfigPages& p)
{
    QVBoxLayout* column =
        makePage(pg, "TAB_Vx1_Gen", "Vx1 Generic", "PNL_Vx1_Gen", "Capture Configuration", p.TAB_Vx1_Gen, p.PNL_Vx1_Gen);
    QFrame* panel = p.PNL_Vx1_Gen;
    p.RG_Vx1_LanesB = new RadioGroup("RG_Vx1_LanesB", " Lane count", kLaneItems, 3, panel);
    p.RG_Vx1_ColDepthB = new RadioGroup("RG_Vx1_ColDepthB", " Capture Colordepth ", kFourDepths, 2, panel);
    p.RG_Vx1_ExtTriggerB = new RadioGroup("RG_Vx1_ExtTriggerB", "External Trigger", kTriggers, 0, panel);
    p.RG_CaptureModeB = new RadioGroup("RG_CaptureModeB", "Capture Mode", kCaptureModes, 0, panel);
    auto* grid = new QGridLayout;
    grid->addWidget(p.RG_Vx1_LanesB, 0, 0);
    grid->addWidget(p.RG_Vx1_ColDepthB, 0, 1);
    grid->addWidget(p.RG_Vx1_ExtTriggerB, 1, 0);
    grid->addWidget(p.RG_CaptureModeB, 1, 1);
    column->addLayout(grid);
    p.BitBtn2 = makeStartButton("BitBtn2", "Start Capture", kTagVx1Generic, panel);
    column->addLayout(centredRow(p.BitBtn2));
}

void buildVx1(QTabWidget* pg, ConfigPages& p)
{
    QVBoxLayout* column = makePage(pg, "TAB_Vx1", "Vx1", "PNL_Vx1", "Vx1 Capture Configuration", p.TAB_Vx1, p.PNL_Vx1);
    QFrame* panel = p.PNL_Vx1;
    p.RG_Vx1_LanesA = new RadioGroup("RG_Vx1_LanesA", " Lane count", kLaneItems, 3, panel);
    p.RG_Vx1_ColDepthA = new RadioGroup("RG_Vx1_ColDepthA", " Capture Colordepth ", kFourDepths, 2, panel);
    p.RG_Vx1_Sections = new RadioGroup("RG_Vx1_Sections", " Section Count ",
                                       {"1 Section", "2 Sections", "4 Sections", "8 Sections"}, 0, panel);
    auto* top = new QHBoxLayout;
    top->addWidget(p.RG_Vx1_LanesA);
    top->addWidget(p.RG_Vx1_ColDepthA);
    top->addWidget(p.RG_Vx1_Sections);
    column->addLayout(top);

    auto* mapping = new QGroupBox(" Vx1 Lane mapping ", panel);
    auto* mapGrid = new QGridLayout(mapping);
    mapGrid->setContentsMargins(8, 4, 8, 4);
    mapGrid->setVerticalSpacing(3);
    for (int i = 0; i < 16; ++i) {
        p.Map[i] = makeDigitsEdit(QString("Map%1").arg(i + 1), "0", mapping);
        p.Map[i]->setMaximumWidth(48);
        auto* label = new QLabel(QString("%1 =").arg(i + 1), mapping);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        mapGrid->addWidget(label, i / 4, (i % 4) * 2);
        mapGrid->addWidget(p.Map[i], i / 4, (i % 4) * 2 + 1);
    }
    column->addWidget(mapping);

    p.RG_Vx1_Mapping = new RadioGroup("RG_Vx1_Mapping", " Color mapping ", kColourMappings, 1, panel);
    p.RG_Vx1_ExtTriggerA = new RadioGroup("RG_Vx1_ExtTriggerA", "External Trigger", kTriggers, 0, panel);
    p.RG_CaptureModeA = new RadioGroup("RG_CaptureModeA", "Capture Mode", kCaptureModes, 0, panel);
    p.RG_Vx1_MeasurementMode =
        new RadioGroup("RG_Vx1_MeasurementMode", "Measurement Mode", {"DE-only", "H-sync. and V-sync."}, 0, panel);
    auto* middle = new QGridLayout;
    middle->addWidget(p.RG_Vx1_Mapping, 0, 0);
    middle->addWidget(p.RG_Vx1_ExtTriggerA, 0, 1, 2, 1);
    middle->addWidget(p.RG_CaptureModeA, 0, 2);
    middle->addWidget(p.RG_Vx1_MeasurementMode, 1, 0);
    column->addLayout(middle);

    auto* lock = new QGroupBox("Lock options", panel);
    auto* lockGrid = new QGridLayout(lock);
    lockGrid->setContentsMargins(8, 4, 8, 4);
    p.UD_Lock1 = makeUpDownEdit("EDT_Lock1", "UD_Lock1", 0, 2, 0, lock);
    p.EDT_Lock1 = editorOf(p.UD_Lock1);
    p.UD_Lock2 = makeUpDownEdit("EDT_Lock2", "UD_Lock2", 0, 3, 0, lock);
    p.EDT_Lock2 = editorOf(p.UD_Lock2);
    p.ED_Vx1_Config2 = new QLineEdit("42000", lock);
    p.ED_Vx1_Config2->setObjectName("ED_Vx1_Config2");
    p.ED_Vx1_Config3 = new QLineEdit("42000", lock);
    p.ED_Vx1_Config3->setObjectName("ED_Vx1_Config3");
    for (QWidget* w : {static_cast<QWidget*>(p.ED_Vx1_Config2), static_cast<QWidget*>(p.ED_Vx1_Config3),
                       static_cast<QWidget*>(p.UD_Lock1), static_cast<QWidget*>(p.UD_Lock2)}) {
        w->setMaximumWidth(90);
    }
    lockGrid->addWidget(new QLabel("HTPDN", lock), 0, 0);
    lockGrid->addWidget(p.UD_Lock1, 0, 1);
    lockGrid->addWidget(new QLabel("LOCKN delay, us", lock), 0, 2);
    lockGrid->addWidget(p.ED_Vx1_Config2, 0, 3);
    lockGrid->addWidget(new QLabel("LOCKN", lock), 1, 0);
    lockGrid->addWidget(p.UD_Lock2, 1, 1);
    lockGrid->addWidget(new QLabel("Video valid delay, us", lock), 1, 2);
    lockGrid->addWidget(p.ED_Vx1_Config3, 1, 3);
    column->addWidget(lock);

    p.BitBtn1 = makeStartButton("BitBtn1", "Start Capture", kTagVx1, panel);
    column->addLayout(centredRow(p.BitBtn1));
}

void buildTime(QTabWidget* pg, ConfigPages& p)
{
    QVBoxLayout* column = makePage(pg, "TAB_Time", "Time", "PNL_Time_Params", "Timing Measurement Configuration",
                                   p.TAB_Time, p.PNL_Time_Params);
    QFrame* panel = p.PNL_Time_Params;
    p.RG_Vx1_LanesC = new RadioGroup("RG_Vx1_LanesC", " Lane count  (per device)", kLaneItems, 3, panel);
    p.RG_Vx1_ColDepthC = new RadioGroup("RG_Vx1_ColDepthC", " Capture Colordepth ", kFourDepths, 2, panel);
    p.RadioGroup2 = new RadioGroup("RadioGroup2", "Capture Mode", kCaptureModes, 0, panel);
    auto* row = new QHBoxLayout;
    row->addWidget(p.RG_Vx1_LanesC);
    row->addWidget(p.RG_Vx1_ColDepthC);
    row->addWidget(p.RadioGroup2, 0, Qt::AlignTop);
    column->addLayout(row);
    p.BitBtn4 = makeStartButton("BitBtn4", "Start Measurement", 0, panel);
    column->addLayout(centredRow(p.BitBtn4));
}

void buildAudio(QTabWidget* pg, ConfigPages& p)
{
    QVBoxLayout* column = makePage(pg, "TAB_KVX3_Audio", "KVX3 Audio", "PNL_KVX3_Audio", "Audio Capture Configuration",
                                   p.TAB_KVX3_Audio, p.PNL_KVX3_Audio);
    QFrame* panel = p.PNL_KVX3_Audio;
    p.RG_KVX3_Audio_Inputs = new RadioGroup("RG_KVX3_Audio_Inputs", "Input", {"Internal Test Generator"}, 0, panel);
    p.EDT_KVX3_AudioBuffer = makeDigitsEdit("EDT_KVX3_AudioBuffer", "16384", panel);
    auto* bufferRow = new QFormLayout;
    bufferRow->addRow("Buffer size, samples", p.EDT_KVX3_AudioBuffer);

    p.LB_KVX3_Audio_Devs = new QListWidget(panel);
    p.LB_KVX3_Audio_Devs->setObjectName("LB_KVX3_Audio_Devs");
    p.LB_KVX3_Audio_Caps = new QListWidget(panel);
    p.LB_KVX3_Audio_Caps->setObjectName("LB_KVX3_Audio_Caps");
    p.LB_KVX3_Audio_Caps->setEnabled(false);
    for (QListWidget* list : {p.LB_KVX3_Audio_Devs, p.LB_KVX3_Audio_Caps}) {
        list->setMinimumHeight(110);
        list->setMaximumHeight(140);
    }
    p.BTN_KVX3_Audio_Devs_Refresh = new QPushButton("Refresh", panel);
    p.BTN_KVX3_Audio_Devs_Refresh->setObjectName("BTN_KVX3_Audio_Devs_Refresh");
    p.CB_Sync = makeCheck("CB_Sync", "Sync to sound card clock", panel);
    p.CB_Sync->setChecked(true);

    auto* grid = new QGridLayout;
    grid->addWidget(p.RG_KVX3_Audio_Inputs, 0, 0);
    grid->addLayout(bufferRow, 0, 1);
    grid->addWidget(new QLabel("Sound devices", panel), 1, 0);
    grid->addWidget(new QLabel("Supported Formats", panel), 1, 1);
    grid->addWidget(p.LB_KVX3_Audio_Devs, 2, 0);
    grid->addWidget(p.LB_KVX3_Audio_Caps, 2, 1);
    auto* refreshRow = new QHBoxLayout;
    refreshRow->addWidget(p.BTN_KVX3_Audio_Devs_Refresh);
    refreshRow->addStretch(1);
    grid->addLayout(refreshRow, 3, 0);
    grid->addWidget(p.CB_Sync, 3, 1);
    column->addLayout(grid);
    p.BitBtn5 = makeStartButton("BitBtn5", "Start Capture", kTagAudio, panel);
    column->addLayout(centredRow(p.BitBtn5));
}

}  // namespace

QList<QFrame*> ConfigPages::panels() const
{
    return {PNL_MLC, PNL_LVDS, PNL_Vx1_Gen, PNL_Vx1, PNL_Time_Params, PNL_KVX3_Audio};
}

void buildConfigPages(QTabWidget* pg, ConfigPages& p)
{
    buildMlc(pg, p);
    buildLvds(pg, p);
    buildVx1Generic(pg, p);
    buildVx1(pg, p);
    buildTime(pg, p);
    buildAudio(pg, p);
    for (QFrame* panel : p.panels()) {
        panel->adjustSize();
    }
}

Vx1Settings readVx1Page(const ConfigPages& p)
{
    Vx1Settings s;
    s.lanes = p.RG_Vx1_LanesA->itemIndex();
    s.colourDepth = p.RG_Vx1_ColDepthA->itemIndex();
    s.sections = p.RG_Vx1_Sections->itemIndex();
    s.mapping = p.RG_Vx1_Mapping->itemIndex();
    s.trigger = p.RG_Vx1_ExtTriggerA->itemIndex();
    s.captureMode = p.RG_CaptureModeA->itemIndex();
    s.measurementMode = p.RG_Vx1_MeasurementMode->itemIndex();
    s.lock1 = p.UD_Lock1->value();
    s.lock2 = p.UD_Lock2->value();
    s.config2 = p.ED_Vx1_Config2->text().toStdString();
    s.config3 = p.ED_Vx1_Config3->text().toStdString();
    for (int i = 0; i < 16; ++i) {
        s.map[i] = p.Map[i]->text().toStdString();
    }
    return s;
}

Vx1GenericSettings readVx1GenericPage(const ConfigPages& p)
{
    Vx1GenericSettings s;
    s.lanes = p.RG_Vx1_LanesB->itemIndex();
    s.colourDepth = p.RG_Vx1_ColDepthB->itemIndex();
    s.trigger = p.RG_Vx1_ExtTriggerB->itemIndex();
    s.captureMode = p.RG_CaptureModeB->itemIndex();
    return s;
}

LvdsSettings readLvdsPage(const ConfigPages& p)
{
    LvdsSettings s;
    s.lanes = p.RG_LVDS_Lanes->itemIndex();
    s.colourDepth = p.RG_LVDS_ColorDepth->itemIndex();
    s.mapping = p.RG_LVDS_Mapping->itemIndex();
    return s;
}

MlcSettings readMlcPage(const ConfigPages& p)
{
    MlcSettings s;
    s.lanes = p.RG_MLC_Lanes->itemIndex();
    s.colourDepth = p.RG_MLC_ColorDepth->itemIndex();
    s.capture = p.RG_MLC_Capture->itemIndex();
    s.numPairs = p.EDT_MLC_NumPairs->text().toStdString();
    s.bytesPerLine = p.EDT_MLC_BytesPerLine->text().toStdString();
    s.linesPerFrame = p.EDT_MLC_LinesPerFrame->text().toStdString();
    s.lineOffset = p.EDT_MLC_LineOffset->text().toStdString();
    s.frameEdge = p.CMB_MLC_FrameEdge->currentIndex();
    s.lineEdge = p.CMB_MLC_LineEdge->currentIndex();
    s.resetPair = p.EDT_MLC_ResetPair->text().toStdString();
    s.numSections = p.EDT_MLC_NumSections->text().toStdString();
    for (int k = 0; k < 6; ++k) {
        s.invertPair[k] = p.CHK_MLC_Invert[k]->isChecked();
    }
    s.invertClock = p.CHK_MLC_InvertClock->isChecked();
    s.noFrameSync = p.CHK_NoFSync->isChecked();
    s.useSyncDelay = p.CHK_UseSyncDelay->isChecked();
    s.lsyncNoForceLend = p.CHK_LsyncNoForceLend->isChecked();
    s.bUsesSyncA = p.CHK_BUsesSyncA->isChecked();
    s.noLineSync = p.CHK_NoLSync->isChecked();
    s.captureMode = p.RG_CaptureModeC->itemIndex();
    return s;
}

AudioSettings readAudioPage(const ConfigPages& p)
{
    AudioSettings s;
    s.bufferSamples = p.EDT_KVX3_AudioBuffer->text().toStdString();
    return s;
}

}  // namespace kvx
