#include "platform/LogConfigFile.h"

#include <cstdlib>
#include <fstream>
#include <optional>

namespace vkvx::platform {

namespace {

// Settings files are a few lines long; anything beyond this is not read.
constexpr std::streamsize kMaxFileSize = 1 << 20;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// What may follow a value: nothing, or a comment.
bool onlyComment(std::string_view rest)
{
    rest = trim(rest);
    return rest.empty() || rest.front() == '#';
}

std::optional<ConfigValue> parseString(std::string_view v)
{
    ConfigValue out;
    out.type = ConfigValue::String;
    size_t i = 1;  // after the opening quote
    while (i < v.size()) {
        char c = v[i];
        if (c == '"') {
            return onlyComment(v.substr(i + 1)) ? std::optional<ConfigValue>(out) : std::nullopt;
        }
        if (c == '\\' && i + 1 < v.size() && (v[i + 1] == '"' || v[i + 1] == '\\')) {
            c = v[i + 1];
            ++i;
        }
        out.text.push_back(c);
        ++i;
    }
    return std::nullopt;  // unterminated
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<ConfigValue> parseNumber(std::string_view v)
{
    size_t end = 0;
    while (end < v.size() && !blank(v[end]) && v[end] != '#') {
        ++end;
    }
    if (!onlyComment(v.substr(end))) {
        return std::nullopt;
    }
    std::string_view word = v.substr(0, end);
    bool negative = false;
    unsigned base = 10;
    if (!word.empty() && word.front() == '-') {
        negative = true;
        word.remove_prefix(1);
    } else if (word.size() > 2 && word[0] == '0' && lower(word[1]) == 'x') {
        base = 16;
        word.remove_prefix(2);
    }
    if (word.empty()) {
        return std::nullopt;
    }
    uint64_t n = 0;
    for (char c : word) {
        const int d = digitValue(c);
        if (d < 0 || static_cast<unsigned>(d) >= base) {
            return std::nullopt;
        }
        n = n * base + static_cast<unsigned>(d);
        if (n > 0xFFFFFFFFULL) {
            return std::nullopt;
        }
    }
    if (negative && n > 0x80000000ULL) {
        return std::nullopt;
    }
    ConfigValue out;
    out.type = ConfigValue::Dword;
    out.dword = negative ? static_cast<uint32_t>(0x100000000ULL - n) : static_cast<uint32_t>(n);
    return out;
}

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const
{
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const char x = lower(a[i]);
        const char y = lower(b[i]);
        if (x != y) {
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        }
    }
    return a.size() < b.size();
}

ConfigValues parseConfigText(std::string_view text)
{
    ConfigValues values;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);  // UTF-8 byte order mark
    }
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = trim(text.substr(0, nl));
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        const std::string_view name = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        if (name.empty() || value.empty() || name.find('"') != std::string_view::npos) {
            continue;
        }
        std::optional<ConfigValue> parsed = value.front() == '"' ? parseString(value) : parseNumber(value);
        if (parsed) {
            values[std::string(name)] = std::move(*parsed);
        }
    }
    return values;
}

std::string logConfigPath()
{
    const char* dir = std::getenv("VKVX_CONFIG_DIR");
    std::string path = (dir != nullptr && *dir != '\0') ? dir : "/etc/vantrel/VRTA-1";
    if (path.back() != '/') {
        path += '/';
    }
    return path + "Log.conf";
}

bool readLogConfig(ConfigValues& values)
{
    values.clear();
    std::ifstream in(logConfigPath(), std::ios::binary);
    if (!in) {
        return false;
    }
    std::string text;
    text.resize(static_cast<size_t>(kMaxFileSize));
    in.read(text.data(), kMaxFileSize);
    if (in.bad()) {
        return false;
    }
    text.resize(static_cast<size_t>(in.gcount()));
    values = parseConfigText(text);
    return true;
}

}  // namespace vkvx::platform
