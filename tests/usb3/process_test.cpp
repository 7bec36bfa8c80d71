// Another process sees an instrument this process holds as "< in use >" and
// cannot open it; libVKVX.so there runs on the simulator that
// VKVX_SIMULATION names.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "sim_fixture.h"

namespace {

using usb3_test::Opened;

std::string runHelper(const std::string& scenarioFile)
{
    std::string cmd = "VKVX_SIMULATION=" + scenarioFile + " " USB3_INUSE_HELPER;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return "popen failed";
    char line[256] = {};
    std::string out;
    while (fgets(line, sizeof line, p)) out += line;
    int rc = pclose(p);
    return out + "rc=" + std::to_string(rc);
}

class SecondProcess : public Opened {
protected:
    std::string file()
    {
        std::string path = std::string(getenv("XDG_RUNTIME_DIR") ? getenv("XDG_RUNTIME_DIR") : "/tmp") +
                           "/usb3_process_scenario.json";
        std::ofstream(path) << scenario();
        return path;
    }
};

TEST_F(SecondProcess, SeesInUseAndIsRefused)
{
    std::string path = file();
    EXPECT_EQ(runHelper(path), "< in use >|-34\nrc=0");
    ASSERT_EQ(VKVX_CloseDevice(h), 0);
    h = nullptr;
    EXPECT_EQ(runHelper(path), "KVX-P13|0\nrc=0");
}

TEST(Simulation, UnreadableScenarioLeavesNoInstrument)
{
    // The library says why on standard error and lists only the emulated
    // instrument.
    EXPECT_EQ(runHelper("/nonexistent/scenario.json").substr(0, 15), "no instrument (");
}

TEST(Simulation, MalformedScenarioIsRefused)
{
    std::string error;
    EXPECT_EQ(vkvx::sim::Simulator::fromJson("{\"instruments\":[{\"serial\":5}]}", &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(vkvx::sim::Simulator::fromJson("not json", &error), nullptr);
}

}  // namespace
