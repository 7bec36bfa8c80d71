// The machine's logging settings: a small typed key/value file that plays the
// part of a registry key.  Each value has a name and one of two types, a
// 32-bit number (DWORD) or a string, so a reader can tell "RemotePort = 10009"
// (a number) from "RemotePort = \"10009\"" (a string).
//
// Location: $VKVX_CONFIG_DIR/Log.conf, or /etc/vantrel/VRTA-1/Log.conf when
// VKVX_CONFIG_DIR is unset or empty.  A missing or unreadable file is a
// missing key.
//
// Format, one value per line:
//
//     # comment (also ';' at the start of a line)
//     LogLevel       = 2
//     RemoteAddress  = "192.168.1.20"
//     RemotePort     = 10009
//     LocalInterface = "192.168.1.10"
//
//   - NAME = VALUE; blanks around the name, the '=' and the value are
//     ignored; names are compared without regard to case.
//   - A number is a DWORD: decimal (0 .. 4294967295, or -2147483648 .. -1
//     which stands for its 32-bit two's complement, so -2 is 0xFFFFFFFE) or
//     hexadecimal with 0x (0x0 .. 0xFFFFFFFF).
//   - A text in double quotes is a string; inside it \" is a quote and \\ a
//     backslash.
//   - A '#' after the value starts a comment.
//   - A line that does not follow these rules (no '=', no name, an
//     unquoted word, a number out of range, an unterminated string) is
//     skipped; the other lines still count.  When a name occurs twice the
//     later valid line wins.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace vkvx::platform {

struct ConfigValue {
    enum Type { Dword, String };
    Type type = Dword;
    uint32_t dword = 0;
    std::string text;
};

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

using ConfigValues = std::map<std::string, ConfigValue, CaseInsensitiveLess>;

// Parses the text of a settings file; lines not understood are skipped.
ConfigValues parseConfigText(std::string_view text);

// The full path of the logging settings file.
std::string logConfigPath();

// Reads the logging settings file into values; false when it does not
// exist or cannot be read (values are then left empty).
bool readLogConfig(ConfigValues& values);

}  // namespace vkvx::platform
