#include "settings/RegistryText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/TextConvert.h"
#include "settings/RegistryHive.h"
#include "settings/StorageDiagnostics.h"

namespace Zezezezo {
namespace {

const wchar_t kHeader[] = L"Windows Registry Editor Version 5.00";
const wchar_t kRootName[] = L"HKEY_CURRENT_USER";
// Hex lines are wrapped before this column, as the registry editor does.
constexpr std::size_t kHexLineWidth = 77;
// What an import reads at most: the program's settings take a few kilobytes, and a file
// without end (/dev/zero) must not be read into memory whole.
constexpr std::size_t kMaxImportBytes = 64u << 20;
// The longest line of an import file in characters (hex data continued over lines joins
// into longer logical lines, which the file size bounds).
constexpr std::size_t kMaxImportLineChars = 1u << 20;
// The largest value the settings store holds, in bytes.
constexpr std::size_t kMaxValueBytes = 16u << 20;

void SetError(std::wstring* error, const std::wstring& text) {
    if (error != nullptr) {
        *error = text;
    }
}

std::wstring PathText(const std::filesystem::path& file) {
    return Platform::PrintableText(Platform::Utf8ToWide(file.string()), 256);
}

// --- export -------------------------------------------------------------------------------

std::wstring Quoted(const std::wstring& text) {
    std::wstring out = L"\"";
    for (const wchar_t c : text) {
        if (c == L'\\' || c == L'"') {
            out += L'\\';
        }
        out += c;
    }
    return out + L"\"";
}

std::wstring HexByte(std::uint8_t b) {
    wchar_t text[4];
    std::swprintf(text, 4, L"%02x", static_cast<unsigned>(b));
    return text;
}

void AppendHexValue(std::wstring* out, std::wstring line, const std::vector<std::uint8_t>& data) {
    bool firstOnLine = true;
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::wstring piece = HexByte(data[i]);
        if (i + 1 < data.size()) {
            piece += L',';
        }
        if (!firstOnLine && line.size() + piece.size() > kHexLineWidth) {
            *out += line + L"\\\r\n";
            line = L"  ";
        }
        line += piece;
        firstOnLine = false;
    }
    *out += line + L"\r\n";
}

std::vector<std::uint8_t> Utf16Le(const std::wstring& text) {
    const std::u16string units = Platform::WideToUtf16(text);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(units.size() * 2);
    for (const char16_t u : units) {
        bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return bytes;
}

// The text of an SZ value when the quoted form gives back exactly its bytes; otherwise the
// value is written as hex(1) (odd length, a terminator, line breaks, unpaired surrogates).
std::optional<std::wstring> PlainText(const std::vector<std::uint8_t>& data) {
    if (data.size() % 2 != 0) {
        return std::nullopt;
    }
    std::u16string units(data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    const std::wstring text = Platform::Utf16ToWide(units);
    if (text.find_first_of(std::wstring(L"\0\r\n", 3)) != std::wstring::npos ||
        Utf16Le(text) != data) {
        return std::nullopt;
    }
    return text;
}

void AppendValue(std::wstring* out, const HiveValue& value) {
    std::wstring line = value.name.empty() ? L"@" : Quoted(value.name);
    line += L'=';
    if (value.type == kHiveSz) {
        if (const auto text = PlainText(value.data)) {
            *out += line + Quoted(*text) + L"\r\n";
            return;
        }
    }
    if (value.type == kHiveDword && value.data.size() == 4) {
        const std::uint32_t v = static_cast<std::uint32_t>(value.data[0]) |
                                (static_cast<std::uint32_t>(value.data[1]) << 8) |
                                (static_cast<std::uint32_t>(value.data[2]) << 16) |
                                (static_cast<std::uint32_t>(value.data[3]) << 24);
        wchar_t text[16];
        std::swprintf(text, 16, L"dword:%08x", static_cast<unsigned>(v));
        *out += line + text + L"\r\n";
        return;
    }
    if (value.type == kHiveBinary) {
        line += L"hex:";
    } else {
        wchar_t text[24];
        std::swprintf(text, 24, L"hex(%x):", static_cast<unsigned>(value.type));
        line += text;
    }
    AppendHexValue(out, line, value.data);
}

bool FoldedLess(const std::wstring& a, const std::wstring& b) {
    return HiveFoldName(a) < HiveFoldName(b);
}

HiveResult AppendKey(HiveKey key, const std::wstring& fullName, std::wstring* out) {
    *out += L"[" + fullName + L"]\r\n";
    std::vector<HiveValue> values;
    HiveResult r = HiveEnumValues(key, &values);
    if (r != HiveResult::Success) {
        return r;
    }
    std::sort(values.begin(), values.end(),
              [](const HiveValue& a, const HiveValue& b) { return FoldedLess(a.name, b.name); });
    for (const HiveValue& value : values) {
        AppendValue(out, value);
    }
    *out += L"\r\n";
    std::vector<std::wstring> children;
    r = HiveEnumSubKeys(key, &children);
    if (r != HiveResult::Success) {
        return r;
    }
    std::sort(children.begin(), children.end(), FoldedLess);
    for (const std::wstring& child : children) {
        HiveKey childKey = nullptr;
        r = HiveOpenKey(key, child, false, &childKey);
        if (r == HiveResult::Success) {
            r = AppendKey(childKey, fullName + L"\\" + child, out);
            HiveCloseKey(childKey);
        }
        if (r != HiveResult::Success) {
            return r;
        }
    }
    return HiveResult::Success;
}

std::wstring NormalisedPath(const std::wstring& path) {
    std::wstring out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        if (end > start) {
            if (!out.empty()) {
                out += L'\\';
            }
            out += path.substr(start, end - start);
        }
        start = end + 1;
    }
    return out;
}

// What an export writes to: `file` itself when it is a regular file or a new name, the file
// a symbolic link leads to when that is a regular file. Anything else (a folder, a device
// such as /dev/full, a pipe, a link to nothing) is refused: replacing it with a regular file
// would destroy it, and writing into it would not be a settings file.
std::optional<std::filesystem::path> ExportTarget(const std::filesystem::path& file,
                                                  std::wstring* error) {
    std::error_code ec;
    const std::filesystem::file_status own = std::filesystem::symlink_status(file, ec);
    if (own.type() == std::filesystem::file_type::not_found) {
        return file;
    }
    std::filesystem::path target = file;
    if (std::filesystem::is_symlink(own)) {
        target = std::filesystem::canonical(file, ec);
        if (ec) {
            SetError(error, L"\"" + PathText(file) +
                                L"\" is a link to nothing; give a regular file or a new name");
            return std::nullopt;
        }
    }
    if (!std::filesystem::is_regular_file(std::filesystem::status(target, ec))) {
        SetError(error, L"\"" + PathText(file) +
                            L"\" is not a regular file; give a regular file or a new name");
        return std::nullopt;
    }
    return target;
}

// Writes a temporary file beside the target and renames it over the target, so a failed
// write (a full disk) leaves the old file whole and no half file behind.
bool WriteFileAtomically(const std::filesystem::path& file, const std::vector<char>& bytes,
                         std::wstring* error) {
    const std::optional<std::filesystem::path> target = ExportTarget(file, error);
    if (!target) {
        return false;
    }
    std::filesystem::path temp = *target;
    temp += ".tmp";
    std::error_code ec;
    std::filesystem::remove(temp, ec);  // a stale one, or a link planted there
    // "x": created here, never opened through something that appeared in between.
    std::FILE* stream = std::fopen(temp.string().c_str(), "wbx");
    if (stream == nullptr) {
        SetError(error, L"cannot write \"" + PathText(temp) + L"\"");
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() &&
                         std::fflush(stream) == 0;
    const bool closed = std::fclose(stream) == 0;
    if (!written || !closed) {
        std::filesystem::remove(temp, ec);
        SetError(error, L"cannot write \"" + PathText(*target) +
                            L"\" (the disk may be full); it was left as it was");
        return false;
    }
    std::filesystem::rename(temp, *target, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        SetError(error, L"cannot write \"" + PathText(*target) + L"\"");
        return false;
    }
    return true;
}

// --- import -------------------------------------------------------------------------------

enum class OpKind { CreateKey, DeleteKey, SetValue, DeleteValue };

struct Operation {
    OpKind kind;
    std::wstring path;  // below the per-user root
    std::wstring name;
    std::uint32_t type = kHiveNone;
    std::vector<std::uint8_t> data;
};

struct SyntaxError {
    std::size_t line;
    std::wstring message;
};

bool DecodeFile(const std::vector<std::uint8_t>& bytes, std::wstring* text, std::wstring* problem) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (bytes.size() % 2 != 0) {
            *problem = L"the UTF-16 text has an odd number of bytes";
            return false;
        }
        std::u16string units((bytes.size() - 2) / 2, u'\0');
        for (std::size_t i = 0; i < units.size(); ++i) {
            units[i] = static_cast<char16_t>(bytes[2 + 2 * i] | (bytes[3 + 2 * i] << 8));
        }
        *text = Platform::Utf16ToWide(units);
        return true;
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        *problem = L"UTF-16 big-endian text is not supported; save it as UTF-16 LE or UTF-8";
        return false;
    }
    std::size_t start = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        start = 3;
    }
    *text =
        Platform::Utf8ToWide(std::string(bytes.begin() + static_cast<long>(start), bytes.end()));
    return true;
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::wstring Trimmed(const std::wstring& s) {
    const auto first = s.find_first_not_of(L" \t");
    if (first == std::wstring::npos) {
        return L"";
    }
    const auto last = s.find_last_not_of(L" \t");
    return s.substr(first, last - first + 1);
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

class CParser {
public:
    explicit CParser(std::vector<std::wstring> lines) : m_lines(std::move(lines)) {}

    std::optional<SyntaxError> Parse(std::vector<Operation>* ops) {
        std::size_t i = 0;
        while (i < m_lines.size() && Trimmed(m_lines[i]).empty()) {
            ++i;
        }
        if (i == m_lines.size() || Trimmed(m_lines[i]) != kHeader) {
            return SyntaxError{i < m_lines.size() ? i + 1 : 1,
                               L"the file does not begin with \"" + std::wstring(kHeader) + L"\""};
        }
        for (++i; i < m_lines.size(); ++i) {
            const std::size_t lineNumber = i + 1;
            if (m_lines[i].size() > kMaxImportLineChars) {
                return SyntaxError{lineNumber, L"the line is longer than " +
                                                   std::to_wstring(kMaxImportLineChars) +
                                                   L" characters"};
            }
            std::wstring line = Trimmed(m_lines[i]);
            if (line.empty() || line[0] == L';') {
                continue;
            }
            std::optional<std::wstring> problem;
            if (line[0] == L'[') {
                problem = ParseKey(line, ops);
            } else if (line[0] == L'"' || line[0] == L'@') {
                // Hex data may continue over lines that end with a backslash; a quoted
                // string that ends with an escaped backslash does not.
                while (IsHexData(line) && line.back() == L'\\' && i + 1 < m_lines.size()) {
                    if (m_lines[i + 1].size() > kMaxImportLineChars) {
                        return SyntaxError{i + 2, L"the line is longer than " +
                                                      std::to_wstring(kMaxImportLineChars) +
                                                      L" characters"};
                    }
                    line.pop_back();
                    line += Trimmed(m_lines[++i]);
                }
                problem = ParseValue(line, ops);
            } else {
                problem = L"expected a [key] or a value line";
            }
            if (problem) {
                return SyntaxError{lineNumber, *problem};
            }
        }
        return std::nullopt;
    }

private:
    // Whether the data after the value name's '=' is a hex list.
    static bool IsHexData(const std::wstring& line) {
        std::size_t pos = 0;
        if (line[0] == L'@') {
            pos = 1;
        } else {
            std::wstring ignored;
            if (!QuotedString(line, pos, &ignored)) {
                return false;
            }
        }
        pos = line.find_first_not_of(L" \t", pos);
        if (pos == std::wstring::npos || line[pos] != L'=') {
            return false;
        }
        pos = line.find_first_not_of(L" \t", pos + 1);
        return pos != std::wstring::npos && line.compare(pos, 3, L"hex") == 0;
    }

    std::optional<std::wstring> ParseKey(const std::wstring& line, std::vector<Operation>* ops) {
        if (line.back() != L']') {
            return L"a key line must end with ']'";
        }
        std::wstring inner = line.substr(1, line.size() - 2);
        const bool remove = !inner.empty() && inner[0] == L'-';
        if (remove) {
            inner.erase(0, 1);
        }
        const std::size_t slash = inner.find(L'\\');
        const std::wstring root = inner.substr(0, slash);
        if (!HiveNamesEqual(root, kRootName) && !HiveNamesEqual(root, L"HKCU")) {
            return L"only keys below " + std::wstring(kRootName) + L" can be imported";
        }
        const std::wstring path =
            NormalisedPath(slash == std::wstring::npos ? L"" : inner.substr(slash + 1));
        std::size_t start = 0;
        while (start < path.size()) {
            std::size_t end = path.find(L'\\', start);
            if (end == std::wstring::npos) {
                end = path.size();
            }
            if (end - start > 255) {
                return std::wstring(L"a key name is longer than 255 characters");
            }
            start = end + 1;
        }
        if (remove && path.empty()) {
            return std::wstring(L"deleting the whole ") + kRootName + L" key is refused";
        }
        m_keyPath = path;
        m_deleting = remove;
        m_haveKey = true;
        ops->push_back({remove ? OpKind::DeleteKey : OpKind::CreateKey, path, L"", kHiveNone, {}});
        return std::nullopt;
    }

    // A quoted string starting at `pos`; `pos` ends after the closing quote.
    static std::optional<std::wstring> QuotedString(const std::wstring& line, std::size_t& pos,
                                                    std::wstring* problem) {
        std::wstring out;
        for (++pos; pos < line.size(); ++pos) {
            const wchar_t c = line[pos];
            if (c == L'"') {
                ++pos;
                return out;
            }
            if (c == L'\\') {
                if (pos + 1 >= line.size() || (line[pos + 1] != L'\\' && line[pos + 1] != L'"')) {
                    *problem =
                        L"unknown escape in a quoted string (only \\\\ and \\\" are allowed)";
                    return std::nullopt;
                }
                ++pos;
                out += line[pos];
                continue;
            }
            out += c;
        }
        *problem = L"a quoted string is not closed";
        return std::nullopt;
    }

    std::optional<std::wstring> ParseValue(const std::wstring& line, std::vector<Operation>* ops) {
        if (!m_haveKey) {
            return std::wstring(L"a value line before any [key] line");
        }
        if (m_deleting) {
            return std::wstring(L"a value line under a key that is being deleted");
        }
        std::size_t pos = 0;
        std::wstring name;
        std::wstring problem;
        if (line[0] == L'@') {
            pos = 1;
        } else {
            auto quoted = QuotedString(line, pos, &problem);
            if (!quoted) {
                return problem;
            }
            name = *quoted;
        }
        while (pos < line.size() && (line[pos] == L' ' || line[pos] == L'\t')) {
            ++pos;
        }
        if (pos >= line.size() || line[pos] != L'=') {
            return std::wstring(L"expected '=' after the value name");
        }
        const std::wstring data = Trimmed(line.substr(pos + 1));
        Operation op{OpKind::SetValue, m_keyPath, name, kHiveNone, {}};
        if (data == L"-") {
            op.kind = OpKind::DeleteValue;
        } else if (!data.empty() && data[0] == L'"') {
            std::size_t at = 0;
            auto text = QuotedString(data, at, &problem);
            if (!text) {
                return problem;
            }
            if (at != data.size()) {
                return std::wstring(L"unexpected text after the closing quote");
            }
            op.type = kHiveSz;
            op.data = Utf16Le(*text);
        } else if (data.rfind(L"dword:", 0) == 0) {
            const std::wstring digits = data.substr(6);
            if (digits.empty() || digits.size() > 8) {
                return std::wstring(L"a dword needs 1 to 8 hexadecimal digits");
            }
            std::uint32_t v = 0;
            for (const wchar_t c : digits) {
                const int d = HexDigit(c);
                if (d < 0) {
                    return std::wstring(L"a dword needs 1 to 8 hexadecimal digits");
                }
                v = (v << 4) | static_cast<std::uint32_t>(d);
            }
            op.type = kHiveDword;
            op.data = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                       static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
        } else if (data.rfind(L"hex", 0) == 0) {
            std::size_t at = 3;
            op.type = kHiveBinary;
            if (at < data.size() && data[at] == L'(') {
                const std::size_t close = data.find(L')', at);
                if (close == std::wstring::npos || close == at + 1 || close - at - 1 > 8) {
                    return std::wstring(L"hex(type) needs a hexadecimal type");
                }
                std::uint32_t type = 0;
                for (std::size_t k = at + 1; k < close; ++k) {
                    const int d = HexDigit(data[k]);
                    if (d < 0) {
                        return std::wstring(L"hex(type) needs a hexadecimal type");
                    }
                    type = (type << 4) | static_cast<std::uint32_t>(d);
                }
                op.type = type;
                at = close + 1;
            }
            if (at >= data.size() || data[at] != L':') {
                return std::wstring(L"expected ':' after hex");
            }
            auto bytes = HexBytes(data.substr(at + 1), &problem);
            if (!bytes) {
                return problem;
            }
            op.data = std::move(*bytes);
        } else {
            return std::wstring(L"unrecognised value data (expected \"text\", dword:, hex: or -)");
        }
        if (op.data.size() > kMaxValueBytes) {
            return L"the value holds " + std::to_wstring(op.data.size()) +
                   L" bytes; a setting holds at most 16 MB";
        }
        ops->push_back(std::move(op));
        return std::nullopt;
    }

    static std::optional<std::vector<std::uint8_t>> HexBytes(const std::wstring& list,
                                                             std::wstring* problem) {
        std::vector<std::uint8_t> bytes;
        const std::wstring body = Trimmed(list);
        if (body.empty()) {
            return bytes;
        }
        std::size_t start = 0;
        while (start <= body.size()) {
            std::size_t end = body.find(L',', start);
            if (end == std::wstring::npos) {
                end = body.size();
            }
            const std::wstring item = Trimmed(body.substr(start, end - start));
            const int hi = item.size() == 2 ? HexDigit(item[0]) : 0;
            const int lo = item.empty() || item.size() > 2 ? -1 : HexDigit(item.back());
            if (hi < 0 || lo < 0) {
                *problem =
                    L"\"" + Platform::PrintableText(item, 16) + L"\" is not a hexadecimal byte";
                return std::nullopt;
            }
            bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
            start = end + 1;
        }
        return bytes;
    }

    std::vector<std::wstring> m_lines;
    std::wstring m_keyPath;
    bool m_haveKey = false;
    bool m_deleting = false;
};

HiveResult Apply(HiveKey root, const Operation& op) {
    switch (op.kind) {
        case OpKind::CreateKey: {
            HiveKey key = nullptr;
            const HiveResult r = HiveCreateKey(root, op.path, &key);
            if (r == HiveResult::Success) {
                HiveCloseKey(key);
            }
            return r;
        }
        case OpKind::DeleteKey: {
            const HiveResult r = HiveDeleteTree(root, op.path);
            return r == HiveResult::NotFound ? HiveResult::Success : r;
        }
        case OpKind::SetValue: {
            HiveKey key = nullptr;
            HiveResult r = HiveCreateKey(root, op.path, &key);
            if (r == HiveResult::Success) {
                r = HiveSetValue(key, op.name.c_str(), op.type, op.data.data(), op.data.size());
                HiveCloseKey(key);
            }
            return r;
        }
        case OpKind::DeleteValue: {
            HiveKey key = nullptr;
            HiveResult r = HiveOpenKey(root, op.path, true, &key);
            if (r == HiveResult::Success) {
                r = HiveDeleteValue(key, op.name.c_str());
                HiveCloseKey(key);
            }
            return r == HiveResult::NotFound ? HiveResult::Success : r;
        }
    }
    return HiveResult::Failed;
}

}  // namespace

bool ExportRegistryText(const std::wstring& keyPath, const std::filesystem::path& file,
                        std::wstring* error) {
    const std::wstring path = NormalisedPath(keyPath);
    const std::wstring fullName = path.empty() ? kRootName : std::wstring(kRootName) + L"\\" + path;
    HiveKey key = nullptr;
    HiveResult r = HiveOpenKey(HiveCurrentUser(), path, false, &key);
    if (r != HiveResult::Success) {
        SetError(error, L"cannot export \"" + fullName + L"\": " + HiveResultText(r));
        return false;
    }
    std::wstring text = std::wstring(kHeader) + L"\r\n\r\n";
    r = AppendKey(key, fullName, &text);
    HiveCloseKey(key);
    if (r != HiveResult::Success) {
        SetError(error, L"cannot export \"" + fullName + L"\": " + HiveResultText(r));
        return false;
    }
    const std::vector<std::uint8_t> body = Utf16Le(text);
    std::vector<char> bytes = {static_cast<char>(0xFF), static_cast<char>(0xFE)};
    bytes.insert(bytes.end(), body.begin(), body.end());
    return WriteFileAtomically(file, bytes, error);
}

bool ImportRegistryText(const std::filesystem::path& file, std::wstring* error) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        SetError(error, L"cannot open \"" + PathText(file) + L"\"");
        return false;
    }
    std::vector<std::uint8_t> bytes;
    char chunk[65536];
    while (bytes.size() <= kMaxImportBytes && stream.read(chunk, sizeof chunk).gcount() > 0) {
        bytes.insert(bytes.end(), chunk, chunk + stream.gcount());
    }
    if (stream.bad()) {
        SetError(error, L"cannot read \"" + PathText(file) + L"\"");
        return false;
    }
    if (bytes.size() > kMaxImportBytes) {
        SetError(error, L"\"" + PathText(file) + L"\" is larger than " +
                            std::to_wstring(kMaxImportBytes >> 20) +
                            L" MB, far more than settings take; nothing was imported");
        return false;
    }
    std::wstring text;
    std::wstring problem;
    if (!DecodeFile(bytes, &text, &problem)) {
        SetError(error, L"\"" + PathText(file) + L"\": " + problem + L"; nothing was imported");
        return false;
    }
    std::vector<Operation> ops;
    CParser parser(SplitLines(text));
    if (const auto syntax = parser.Parse(&ops)) {
        const std::wstring message = L"\"" + PathText(file) + L"\" line " +
                                     std::to_wstring(syntax->line) + L": " + syntax->message +
                                     L"; nothing was imported";
        ReportStorageProblem(L"Settings: " + message);
        SetError(error, message);
        return false;
    }
    HiveKey root = nullptr;
    HiveResult r = HiveCreateKey(HiveCurrentUser(), L"", &root);
    if (r != HiveResult::Success) {
        SetError(error, L"cannot import \"" + PathText(file) + L"\": " + HiveResultText(r));
        return false;
    }
    for (const Operation& op : ops) {
        r = Apply(root, op);
        if (r != HiveResult::Success) {
            // Without transactions the lines before this one stay written.
            const bool undone = HiveAbortKey(root) == HiveResult::Success;
            SetError(error, L"cannot import \"" + PathText(file) + L"\" (" + HiveResultText(r) +
                                (undone ? L"); nothing was imported"
                                        : L"); the lines before it may have been imported"));
            return false;
        }
    }
    r = HiveCloseKey(root);
    if (r != HiveResult::Success) {
        SetError(error, L"cannot import \"" + PathText(file) + L"\" (" + HiveResultText(r) +
                            L"); nothing was imported");
        return false;
    }
    return true;
}

}  // namespace Zezezezo
