// The logging settings file: typed values, and lines that are not understood
// skipped without harm to the others.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>

#include "platform/LogConfigFile.h"
#include "log_test_support.h"

using vkvx::platform::ConfigValue;
using vkvx::platform::ConfigValues;
using vkvx::platform::parseConfigText;

namespace {

struct ValueCase {
    const char* line;
    bool present;
    ConfigValue::Type type;
    uint32_t dword;
    const char* text;
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.line; }

class ConfigLine : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ConfigLine, ParsesOrSkips)
{
    const ValueCase& c = GetParam();
    const ConfigValues v = parseConfigText(c.line);
    auto it = v.find("Value");
    ASSERT_EQ(it != v.end(), c.present) << c.line;
    if (!c.present) {
        EXPECT_TRUE(v.empty());
        return;
    }
    EXPECT_EQ(it->second.type, c.type) << c.line;
    if (c.type == ConfigValue::Dword) {
        EXPECT_EQ(it->second.dword, c.dword) << c.line;
    } else {
        EXPECT_EQ(it->second.text, c.text) << c.line;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ConfigLine,
    ::testing::Values(
        ValueCase{"Value = 2", true, ConfigValue::Dword, 2, ""},
        ValueCase{"  value\t=\t10009   # the default port", true, ConfigValue::Dword, 10009, ""},
        ValueCase{"VALUE=0xFFFFFFFF", true, ConfigValue::Dword, 0xFFFFFFFFu, ""},
        ValueCase{"Value = 4294967295", true, ConfigValue::Dword, 0xFFFFFFFFu, ""},
        ValueCase{"Value = -2", true, ConfigValue::Dword, 0xFFFFFFFEu, ""},
        ValueCase{"Value = -2147483648", true, ConfigValue::Dword, 0x80000000u, ""},
        ValueCase{"Value = 0", true, ConfigValue::Dword, 0, ""},
        // A quoted number is a string, not a DWORD.
        ValueCase{"Value = \"10009\"", true, ConfigValue::String, 0, "10009"},
        ValueCase{"Value = \"127.0.0.1\"  # listener", true, ConfigValue::String, 0, "127.0.0.1"},
        ValueCase{"Value = \"a \\\"quoted\\\" \\\\ # text\"", true, ConfigValue::String, 0, "a \"quoted\" \\ # text"},
        ValueCase{"Value = \"\"", true, ConfigValue::String, 0, ""},
        ValueCase{"Value = \"127.0.0.1\"\r", true, ConfigValue::String, 0, "127.0.0.1"},
        // Skipped lines.
        ValueCase{"Value = 4294967296", false, ConfigValue::Dword, 0, ""},
        ValueCase{"Value = 0x100000000", false, ConfigValue::Dword, 0, ""},
        ValueCase{"Value = -2147483649", false, ConfigValue::Dword, 0, ""},
        ValueCase{"Value = 12abc", false, ConfigValue::Dword, 0, ""},
        ValueCase{"Value = 0x", false, ConfigValue::Dword, 0, ""},
        ValueCase{"Value = -", false, ConfigValue::Dword, 0, ""},
        ValueCase{"Value = 2 3", false, ConfigValue::Dword, 0, ""},
        ValueCase{"Value = 127.0.0.1", false, ConfigValue::Dword, 0, ""},
        ValueCase{"Value = \"unterminated", false, ConfigValue::Dword, 0, ""},
        ValueCase{"Value = \"text\" trailing", false, ConfigValue::Dword, 0, ""},
        ValueCase{"Value =", false, ConfigValue::Dword, 0, ""},
        ValueCase{"Value 2", false, ConfigValue::Dword, 0, ""},
        ValueCase{"# Value = 2", false, ConfigValue::Dword, 0, ""},
        ValueCase{"; Value = 2", false, ConfigValue::Dword, 0, ""},
        ValueCase{"[Log]", false, ConfigValue::Dword, 0, ""}));

TEST(ConfigText, GarbledLinesLeaveTheOthers)
{
    std::string text =
        "\xEF\xBB\xBF# settings\n"
        "LogLevel = 2\n"
        "\x01\x02\xff garbage without equals\n"
        "= 5\n"
        "RemotePort = \"10010\"\n"
        "RemoteAddress = \"10.0.0.1\"\r\n"
        "RemoteAddress = oops\n"  // skipped: the earlier value stays
        "LocalInterface = \"10.0.0.2\"";  // no final newline
    text.push_back('\0');
    text += "\nLogLevel = 3\n";  // a later valid line wins
    const ConfigValues v = parseConfigText(text);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v.at("LogLevel").dword, 3u);
    EXPECT_EQ(v.at("RemotePort").type, ConfigValue::String);
    EXPECT_EQ(v.at("RemotePort").text, "10010");
    EXPECT_EQ(v.at("RemoteAddress").text, "10.0.0.1");
    // The NUL belongs to the string's line, which has trailing junk then.
    EXPECT_EQ(v.count("LocalInterface"), 0u);
}

TEST(ConfigFile, FolderFromEnvironmentAndMissingFile)
{
    log_test::ConfigDir dir;
    EXPECT_EQ(vkvx::platform::logConfigPath(), dir.path());
    ConfigValues v;
    EXPECT_FALSE(vkvx::platform::readLogConfig(v));
    dir.write("LogLevel = 1\nRemoteAddress = \"127.0.0.1\"\n");
    ASSERT_TRUE(vkvx::platform::readLogConfig(v));
    EXPECT_EQ(v.size(), 2u);

    ::setenv("VKVX_CONFIG_DIR", "", 1);
    EXPECT_EQ(vkvx::platform::logConfigPath(), "/etc/vantrel/VRTA-1/Log.conf");
    ::unsetenv("VKVX_CONFIG_DIR");
    EXPECT_EQ(vkvx::platform::logConfigPath(), "/etc/vantrel/VRTA-1/Log.conf");
}

}  // namespace
