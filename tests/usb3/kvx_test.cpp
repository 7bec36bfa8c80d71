// The kvx commands of the USB 3 instruments, run in-process over libVKVX.so
// with the simulator that VKVX_SIMULATION names.
#include <gtest/gtest.h>

#include <string>

#include "vkvx.h"

int kvx_cmd_info(int argc, char** argv);
int kvx_cmd_reg(int argc, char** argv);
int kvx_cmd_reinit(int argc, char** argv);

namespace {

template <class F>
std::string run(F f, std::vector<std::string> args, int* rc)
{
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    testing::internal::CaptureStdout();
    *rc = f(int(argv.size()), argv.data());
    return testing::internal::GetCapturedStdout();
}

TEST(Kvx, InfoRegAndReinit)
{
    int rc = -1;
    std::string out = run(kvx_cmd_info, {"info", "1A2B3C4D5E6F7G8H"}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(out.find("KVX-P13"), std::string::npos) << out;
    EXPECT_NE(out.find("connectors:  5"), std::string::npos) << out;
    EXPECT_NE(out.find("version:     3.2.1"), std::string::npos) << out;

    out = run(kvx_cmd_reg, {"reg", "write", "0", "0x300", "0x1234", "0x5678"}, &rc);
    EXPECT_EQ(rc, 0) << out;
    out = run(kvx_cmd_reg, {"reg", "read", "0", "0x300", "2"}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, "0x0300: 0x00001234\n0x0301: 0x00005678\n");
    out = run(kvx_cmd_reg, {"reg", "read", "0", "0x300", "0"}, &rc);
    EXPECT_EQ(rc, 2);  // usage
    out = run(kvx_cmd_reg, {"reg", "read", "7", "0x300"}, &rc);
    EXPECT_EQ(rc, 1);  // no such device

    out = run(kvx_cmd_reinit, {"reinit", "0", "2"}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, "image 2 loaded\n");
    out = run(kvx_cmd_reinit, {"reinit", "0", "7"}, &rc);
    EXPECT_EQ(rc, 1);
}

}  // namespace
