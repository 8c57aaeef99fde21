#include "ProtocolText.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <cwctype>

namespace QuorvelDriver {

std::string FormatFixed(double value, int decimals) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

std::string FormatInt4(long long value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4lld", value);
    return buf;
}

namespace {

// Reads one number as %lf does: skips white space, then an optional sign and a decimal
// floating-point number (also inf/nan). Advances `pos` past it.
bool ReadDouble(const std::wstring& text, std::size_t& pos, double& value) {
    while (pos < text.size() && std::iswspace(static_cast<wint_t>(text[pos])))
        ++pos;
    std::string narrow;
    std::size_t end = pos;
    while (end < text.size() && text[end] < 128 && text[end] > 32 && text[end] != L',') {
        narrow.push_back(static_cast<char>(text[end]));
        ++end;
    }
    std::size_t skip = 0;
    bool negative = false;
    if (!narrow.empty() && (narrow[0] == '+' || narrow[0] == '-')) {
        negative = narrow[0] == '-';
        skip = 1;
    }
    const char* first = narrow.data() + skip;
    const char* last = narrow.data() + narrow.size();
    if (first < last && *first == '-')
        return false;  // "+-5" is not a number
    double parsed = 0;
    const auto r = std::from_chars(first, last, parsed, std::chars_format::general);
    if (r.ec != std::errc() && r.ec != std::errc::result_out_of_range)
        return false;
    value = negative ? -parsed : parsed;
    pos += static_cast<std::size_t>(r.ptr - narrow.data());
    return true;
}

}  // namespace

bool ParseDoublePair(const std::wstring& text, double& first, double& second) {
    std::size_t pos = 0;
    double a = 0;
    double b = 0;
    if (!ReadDouble(text, pos, a))
        return false;
    if (pos >= text.size() || text[pos] != L',')
        return false;
    ++pos;
    if (!ReadDouble(text, pos, b))
        return false;
    first = a;
    second = b;
    return true;
}

int ParseDecimalInt(const std::wstring& text) {
    std::size_t pos = 0;
    while (pos < text.size() && std::iswspace(static_cast<wint_t>(text[pos])))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) {
        negative = text[pos] == L'-';
        ++pos;
    }
    long long value = 0;
    while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9') {
        if (value <= static_cast<long long>(INT_MAX) + 1)
            value = value * 10 + (text[pos] - L'0');
        ++pos;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

std::wstring WidenAscii(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (unsigned char c : text)
        wide.push_back(static_cast<wchar_t>(c));
    return wide;
}

IdStruct ParseIdentification(const std::wstring& reply) {
    IdStruct id;
    const std::size_t first = reply.find(L',');
    if (first == std::wstring::npos)
        return id;
    id.strLeading = reply.substr(0, first);
    const std::size_t second = reply.find(L',', first + 1);
    if (second == std::wstring::npos)
        return id;
    id.strProductId = reply.substr(first + 1, second - first - 1);
    id.strTrailing = reply.substr(second + 1);
    return id;
}

}  // namespace QuorvelDriver
