#include "ProtocolText.h"

#include <charconv>
#include <cstdio>

namespace quorvel::sim {

std::string FormatFixed4(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
    if (result.ec != std::errc()) {
        return "0.0000";  // only for values far outside any angle or rate
    }
    return std::string(buffer, result.ptr);
}

std::string FormatPair(double first, double second) {
    return FormatFixed4(first) + "," + FormatFixed4(second);
}

std::optional<double> ParseNumber(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    // from_chars rejects a leading '+', which the C conversions accept.
    if (text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-') {
            return std::nullopt;
        }
    }
    double value = 0.0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<long long> ParseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-') {
            return std::nullopt;
        }
    }
    if (text.empty()) {
        return std::nullopt;
    }
    long long value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<std::string_view>> SplitCall(std::string_view line,
                                                       std::string_view name) {
    if (line.size() < name.size() + 2 || line.substr(0, name.size()) != name ||
        line[name.size()] != '(' || line.back() != ')') {
        return std::nullopt;
    }
    std::string_view inner = line.substr(name.size() + 1, line.size() - name.size() - 2);
    std::vector<std::string_view> fields;
    for (;;) {
        std::size_t comma = inner.find(',');
        fields.push_back(inner.substr(0, comma));
        if (comma == std::string_view::npos) {
            break;
        }
        inner.remove_prefix(comma + 1);
    }
    return fields;
}

std::string EscapeForLog(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7e || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace quorvel::sim
