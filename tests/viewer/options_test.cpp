// Option lists of the start buttons, from plain settings and from the page
// controls, and the readings they rely on.
#include <gtest/gtest.h>

#include <QTabWidget>
#include <climits>

#include "ConfigPages.h"
#include "OptionLists.h"
#include "ViewerTestSupport.h"

namespace {

using kvx::OptionList;

TEST(PrefixedInt, ReadsBasePrefixSignAndClamps)
{
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {
        {"0x100", 256}, {"0X1f", 31},   {"012", 10},         {"42000", 42000},     {"  -42", -42},
        {"+7z", 7},     {"", 0},        {"abc", 0},          {"0x", 0},            {"08", 0},
        {"-0x10", -16}, {"2147483647", INT_MAX}, {"99999999999", INT_MAX}, {"-2147483648", INT_MIN},
        {"-99999999999", INT_MIN}, {"0xFFFFFFFFFF", INT_MAX},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kvx::parsePrefixedInt(c.text), c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(kvx::parseDecimal("012"), 12);
    EXPECT_EQ(kvx::parseDecimal(""), 0);
    EXPECT_EQ(kvx::parseDecimal("99999999999"), INT_MAX);
}

TEST(Vx1Options, DefaultsInOrder)
{
    kvx::RunSetup run = kvx::buildVx1Run(kvx::Vx1Settings());
    const OptionList expected = {{6, 8}, {7, 2}, {3, 2}, {2, 1}, {14, 0},   {5, 500},
                                 {9, 0}, {10, 0}, {11, 0}, {12, 42000}, {13, 42000}};
    EXPECT_EQ(run.options, expected);
    EXPECT_TRUE(run.video);
    EXPECT_FALSE(run.audio);
    EXPECT_FALSE(run.buffered);
    EXPECT_FALSE(run.customLaneMap);
    EXPECT_EQ(run.sections, 1);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(run.laneMap[i], i);
    }
}

TEST(Vx1Options, TriggerTimeoutBufferedAndPrefixedTexts)
{
    kvx::Vx1Settings s;
    s.trigger = 1;
    s.config2 = "0x100";
    s.config3 = "012";
    kvx::RunSetup run = kvx::buildVx1Run(s);
    EXPECT_EQ(run.options[4], std::make_pair(14, 1));
    EXPECT_EQ(run.options[5], std::make_pair(5, 3000));
    EXPECT_EQ(run.options[9], std::make_pair(12, 256));
    EXPECT_EQ(run.options[10], std::make_pair(13, 10));
    EXPECT_TRUE(run.buffered);

    s.trigger = 2;  // rising edge
    run = kvx::buildVx1Run(s);
    EXPECT_EQ(run.options[4], std::make_pair(14, 3));
    EXPECT_EQ(run.options[5], std::make_pair(5, 3000));

    s.trigger = 0;
    s.captureMode = 1;
    run = kvx::buildVx1Run(s);
    EXPECT_EQ(run.options[5], std::make_pair(5, 500));
    EXPECT_TRUE(run.buffered);
}

TEST(Vx1Options, LaneMapAndSections)
{
    kvx::Vx1Settings s;
    s.map[2] = "5";  // Map3
    kvx::RunSetup run = kvx::buildVx1Run(s);
    EXPECT_TRUE(run.customLaneMap);
    EXPECT_EQ(run.laneMap[2], 4);
    EXPECT_EQ(run.laneMap[0], 0);
    EXPECT_EQ(run.laneMap[15], 15);

    kvx::Vx1Settings sections;
    sections.sections = 2;  // "4 Sections"
    run = kvx::buildVx1Run(sections);
    EXPECT_EQ(run.sections, 4);
    EXPECT_TRUE(run.customLaneMap);  // sections other than 1, identity map
    EXPECT_EQ(run.laneMap[3], 3);
}

TEST(OtherPages, GenericLvdsAndAudioLists)
{
    kvx::Vx1GenericSettings g;
    EXPECT_EQ(kvx::buildVx1GenericRun(g).options, (OptionList{{6, 8}, {7, 2}, {3, 2}, {14, 0}, {5, 500}}));
    g.trigger = 2;
    kvx::RunSetup run = kvx::buildVx1GenericRun(g);
    EXPECT_EQ(run.options, (OptionList{{6, 8}, {7, 2}, {3, 2}, {14, 3}, {5, 3000}}));
    EXPECT_TRUE(run.buffered);
    EXPECT_FALSE(run.customLaneMap);

    kvx::LvdsSettings l;
    run = kvx::buildLvdsRun(l);
    EXPECT_EQ(run.options, (OptionList{{1, 2}, {3, 2}, {2, 0}}));
    EXPECT_FALSE(run.buffered);
    EXPECT_EQ(run.sections, 1);

    kvx::AudioSettings a;
    run = kvx::buildAudioRun(a);
    EXPECT_EQ(run.options, (OptionList{{29, 0}, {3, 101}, {32, 16384}}));
    EXPECT_FALSE(run.video);
    EXPECT_TRUE(run.audio);
}

TEST(MlcOptions, BytesPerLaneFromTheLaneCountJustSent)
{
    struct Case {
        int lanes;
        const char* bytes;
        int32_t laneCount;
        int32_t perLane;
    } cases[] = {
        {1, "1024", 2, 510},  // Dual
        {2, "1024", 4, 255},  // Quad
        {2, "1000", 4, 249},
        {0, "1024", 1, 1023},
        {2, "99999999999", 4, 536870910},  // huge entry: no overflow
    };
    for (const Case& c : cases) {
        kvx::MlcSettings s;
        s.lanes = c.lanes;
        s.bytesPerLine = c.bytes;
        kvx::RunSetup run = kvx::buildMlcRun(s);
        ASSERT_GE(run.options.size(), 5u);
        EXPECT_EQ(run.options[0], std::make_pair(1, c.laneCount)) << c.bytes;
        EXPECT_EQ(run.options[4], std::make_pair(18, c.perLane)) << c.bytes;
    }
}

TEST(MlcOptions, FullListFrameAndLineCapture)
{
    kvx::MlcSettings s;
    s.invertPair[0] = true;
    s.invertPair[2] = true;
    s.invertClock = true;
    s.noLineSync = true;
    s.lineEdge = 1;
    s.captureMode = 1;
    s.numSections = "3";
    kvx::RunSetup run = kvx::buildMlcRun(s);
    const OptionList frame = {{1, 1},  {3, 1},  {15, 1}, {17, 6}, {18, 1023}, {21, 0}, {22, 0}, {23, 0},
                              {24, 0}, {25, 0}, {26, 1}, {28, 1}, {27, 1},    {19, 6}, {20, 0}, {16, 69}};
    EXPECT_EQ(run.options, frame);
    EXPECT_TRUE(run.buffered);
    EXPECT_EQ(run.sections, 3);
    EXPECT_TRUE(run.customLaneMap);

    s.capture = 0;  // line capture: no lines per frame, no offset
    s.numSections = "0";
    run = kvx::buildMlcRun(s);
    EXPECT_EQ(run.options.size(), frame.size() - 2);
    EXPECT_EQ(run.options.back(), std::make_pair(16, 69));
    EXPECT_EQ(run.sections, 1);  // 0 sections would divide by zero later
    EXPECT_FALSE(run.customLaneMap);
}

TEST(LaneItems, ChainsMultiplyTheCounts)
{
    EXPECT_EQ(kvx::laneItemText(0, 1), "1 Lane");
    EXPECT_EQ(kvx::laneItemText(1, 1), "2 Lanes");
    EXPECT_EQ(kvx::laneItemText(0, 3), "3 Lanes");
    EXPECT_EQ(kvx::laneItemText(3, 3), "24 Lanes");
    EXPECT_EQ(kvx::zoomClientSize(1919, 1080, 20, 2), std::make_pair(959, 560));
    EXPECT_EQ(kvx::zoomClientSize(1919, 1080, 20, 4), std::make_pair(479, 290));
}

// The pages' controls, their defaults and their reading.
class PagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvxtest::ensureApplication();
        tabs = std::make_unique<QTabWidget>();
        kvx::buildConfigPages(tabs.get(), p);
    }
    std::unique_ptr<QTabWidget> tabs;
    kvx::ConfigPages p;
};

TEST_F(PagesTest, DefaultsGiveTheDefaultLists)
{
    EXPECT_EQ(kvx::buildVx1Run(kvx::readVx1Page(p)).options, kvx::buildVx1Run(kvx::Vx1Settings()).options);
    EXPECT_EQ(kvx::buildMlcRun(kvx::readMlcPage(p)).options, kvx::buildMlcRun(kvx::MlcSettings()).options);
    EXPECT_EQ(kvx::buildLvdsRun(kvx::readLvdsPage(p)).options, (OptionList{{1, 2}, {3, 2}, {2, 0}}));
    EXPECT_EQ(kvx::buildVx1GenericRun(kvx::readVx1GenericPage(p)).options,
              (OptionList{{6, 8}, {7, 2}, {3, 2}, {14, 0}, {5, 500}}));
    EXPECT_EQ(kvx::buildAudioRun(kvx::readAudioPage(p)).options, (OptionList{{29, 0}, {3, 101}, {32, 16384}}));
    EXPECT_EQ(p.RG_Vx1_LanesA->items(), (QStringList{"1 Lane", "2 Lanes", "4 Lanes", "8 Lanes"}));
    EXPECT_EQ(p.RG_LVDS_ColorDepth->items().size(), 4);
    EXPECT_EQ(p.RG_Vx1_ExtTriggerA->items(), (QStringList{"Disabled", "Falling Edge", "Rising Edge"}));
    EXPECT_EQ(p.BitBtn1->property("Tag").toInt(), 1);
    EXPECT_EQ(p.BitBtn2->property("Tag").toInt(), 2);
    EXPECT_EQ(p.BitBtn7->property("Tag").toInt(), 3);
    EXPECT_EQ(p.BitBtn3->property("Tag").toInt(), 4);
    EXPECT_EQ(p.BitBtn5->property("Tag").toInt(), 6);
    EXPECT_EQ(p.CHK_MLC_Invert[0]->text(), "Pair &1");
    EXPECT_TRUE(p.CB_Sync->isChecked());
    EXPECT_EQ(tabs->findChild<QLineEdit*>("EDT_Lock1"), p.EDT_Lock1);
    EXPECT_EQ(tabs->findChild<QSpinBox*>("UD_Lock2"), p.UD_Lock2);
}

TEST_F(PagesTest, EditedControlsReachTheList)
{
    p.RG_MLC_Lanes->setItemIndex(1);
    p.EDT_MLC_BytesPerLine->setText("1024");
    p.CHK_MLC_Invert[5]->setChecked(true);
    p.UpDown1->setValue(2);
    kvx::RunSetup mlc = kvx::buildMlcRun(kvx::readMlcPage(p));
    EXPECT_EQ(mlc.options[4], std::make_pair(18, 510));
    EXPECT_EQ(mlc.options.back(), std::make_pair(16, 32));
    EXPECT_EQ(mlc.sections, 2);

    p.ED_Vx1_Config2->setText("0x100");
    p.ED_Vx1_Config3->setText("012");
    p.Map[2]->setText("5");
    p.UD_Lock1->setValue(2);
    p.UD_Lock2->setValue(3);
    p.RG_Vx1_ExtTriggerA->setItemIndex(1);
    kvx::RunSetup vx1 = kvx::buildVx1Run(kvx::readVx1Page(p));
    EXPECT_EQ(vx1.options[7], std::make_pair(10, 2));
    EXPECT_EQ(vx1.options[8], std::make_pair(11, 3));
    EXPECT_EQ(vx1.options[9], std::make_pair(12, 256));
    EXPECT_EQ(vx1.options[10], std::make_pair(13, 10));
    EXPECT_EQ(vx1.options[5], std::make_pair(5, 3000));
    EXPECT_EQ(vx1.laneMap[2], 4);
    EXPECT_TRUE(vx1.customLaneMap);
}

TEST_F(PagesTest, RelabelledItemsKeepTheIndex)
{
    p.RG_Vx1_LanesB->setItemIndex(2);
    p.RG_Vx1_LanesB->setItems({"3 Lanes", "6 Lanes", "12 Lanes", "24 Lanes"});
    EXPECT_EQ(p.RG_Vx1_LanesB->itemIndex(), 2);
    EXPECT_EQ(p.RG_Vx1_LanesB->items().at(3), "24 Lanes");
}

}  // namespace
