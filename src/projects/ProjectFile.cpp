#include "projects/ProjectFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "platform/FileDescriptor.h"
#include "platform/Text.h"

namespace tharvel {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 for the bytes 0x80 to 0x9F; the undefined ones keep their number.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendUtf16Le(std::string& out, char32_t cp) {
    auto unit = [&out](char32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    };
    if (cp < 0x10000) {
        unit(cp);
    } else {
        cp -= 0x10000;
        unit(0xD800 | (cp >> 10));
        unit(0xDC00 | (cp & 0x3FF));
    }
}

std::string decodeUtf16(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    auto unitAt = [&](size_t i) -> char32_t {
        auto lo = static_cast<unsigned char>(bytes[i]), hi = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (char32_t(lo) << 8 | hi) : (char32_t(hi) << 8 | lo);
    };
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        char32_t u = unitAt(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            char32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
    }
    if (i < bytes.size()) appendUtf8(out, kReplacement);  // odd last byte
    return out;
}

std::string decodeUtf8WithFallback(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        char32_t cp;
        size_t length = utf8SequenceAt(bytes, i, cp);
        if (length) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            auto b = static_cast<unsigned char>(bytes[i++]);
            appendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char32_t(b));
        }
    }
    return out;
}

bool isLineBreakAt(std::string_view s, size_t pos) {
    return s.compare(pos, 3, "\xE2\x80\xA8") == 0;  // U+2028
}

void appendLine(std::string& out, std::string_view line) {
    for (size_t i = 0; i < line.size();) {
        char32_t cp;
        size_t length = utf8SequenceAt(line, i, cp);
        // Only plain or escaped texts get here, so this is always valid UTF-8.
        if (!length) cp = kReplacement, length = 1;
        appendUtf16Le(out, cp);
        i += length;
    }
    out.append("\r\0\n\0", 4);
}

std::string valueLine(ProjectColumn column, const std::string& text) {
    std::string line(columnName(column));
    if (ProjectFile::isPlain(text)) return line + "=" + text;
    return line + "*=" + ProjectFile::escape(text);
}

// The value of a key line, if it is one: "Key=value" or "Key*=escaped".
bool parseKeyLine(std::string_view line, ProjectColumn& column, std::string& value) {
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    std::string_view key = trimBlanks(line.substr(0, equals));
    bool escaped = !key.empty() && key.back() == '*';
    if (escaped) key.remove_suffix(1);
    auto found = columnFromName(key);
    if (!found) return false;
    column = *found;
    std::string_view raw = trimBlanks(line.substr(equals + 1));
    value = escaped ? ProjectFile::unescape(raw) : std::string(raw);
    return true;
}

bool readWholeFile(const std::filesystem::path& path, std::string& bytes) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT) return false;
        throw std::runtime_error("Cannot read the project file " + path.string() + ": " +
                                 std::strerror(errno));
    }
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw std::runtime_error("Cannot read the project file " + path.string() + ": " +
                                     std::strerror(errno));
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

bool ProjectFile::isPlain(std::string_view value) {
    if (value.empty()) return true;
    if (static_cast<unsigned char>(value.front()) <= 0x20 || static_cast<unsigned char>(value.back()) <= 0x20)
        return false;
    for (size_t i = 0; i < value.size();) {
        char32_t cp;
        size_t length = utf8SequenceAt(value, i, cp);
        if (!length || cp == 0 || cp == '\r' || cp == '\n' || cp == 0x2028) return false;
        i += length;
    }
    return true;
}

std::string ProjectFile::escape(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size() * 3);
    for (unsigned char c : value) {
        if (c > 0x20 && c < 0x7F && c != '%') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

std::string ProjectFile::unescape(std::string_view value) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size() && hex(value[i + 1]) >= 0 && hex(value[i + 2]) >= 0) {
            out += static_cast<char>(hex(value[i + 1]) * 16 + hex(value[i + 2]));
            i += 2;
        } else {
            out += value[i];  // a stray "%" stays as it is
        }
    }
    return out;
}

std::string ProjectFile::decode(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE")) return decodeUtf16(bytes.substr(2), false);
    if (bytes.starts_with("\xFE\xFF")) return decodeUtf16(bytes.substr(2), true);
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    return decodeUtf8WithFallback(bytes);
}

std::vector<std::string> ProjectFile::splitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0, i = 0;
    while (i < text.size()) {
        size_t breakLength = 0;
        if (text[i] == '\r')
            breakLength = (i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        else if (text[i] == '\n' || text[i] == '\0')
            breakLength = 1;
        else if (isLineBreakAt(text, i))
            breakLength = 3;
        if (breakLength) {
            lines.emplace_back(text.substr(start, i - start));
            i += breakLength;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string ProjectFile::encode(const ProjectTable& table) {
    std::string out("\xFF\xFE");
    for (int r = 0; r < table.rowCount(); ++r) {
        const ProjectTable::Row& row = table.row(r);
        std::string name = row[0].toText();
        if (name.empty())
            appendLine(out, "Project=");
        else if (isPlain(name))
            appendLine(out, "[" + name + "]");
        else
            appendLine(out, "Project*=" + escape(name));
        for (int c = 1; c < kProjectColumnCount; ++c) {
            const std::string text = row[static_cast<size_t>(c)].toText();
            // Optional settings at their default leave no line: files of projects
            // that never set one keep their form byte for byte.
            if (c >= kFirstOptionalColumn && text.empty()) continue;
            appendLine(out, valueLine(columnAt(c), text));
        }
        appendLine(out, "");
    }
    return out;
}

int ProjectFile::load(const std::filesystem::path& path, ProjectTable& table) {
    std::string bytes;
    if (!readWholeFile(path, bytes)) return 0;
    std::vector<std::string> lines = splitLines(decode(bytes));
    bytes.clear();

    int posted = 0;
    bool refused = false;
    {
        TagGuard tag(table, 1);
        table.checkBrowseMode();
        bool filling = false;
        auto finishRow = [&] {
            if (!filling) return;
            filling = false;
            try {
                table.post();
                ++posted;
            } catch (const PostRefused&) {
                table.cancel();
                refused = true;
            }
        };
        auto startRow = [&](std::string name) {
            finishRow();
            table.append();
            table.setValue(ProjectColumn::Project,
                           name.empty() ? std::string(kUnnamedProject) : std::move(name));
            filling = true;
        };
        for (const std::string& fullLine : lines) {
            std::string_view line = trimBlanks(fullLine);
            if (line.empty()) continue;
            if (line.front() == '[') {
                size_t close = line.rfind(']');
                std::string_view name =
                    line.substr(1, close == std::string_view::npos ? line.npos : close - 1);
                startRow(std::string(trimBlanks(name)));
                continue;
            }
            ProjectColumn column;
            std::string value;
            if (!parseKeyLine(line, column, value)) continue;
            if (column == ProjectColumn::Project) {
                startRow(std::move(value));
                continue;
            }
            if (!filling) startRow({});
            if (column == ProjectColumn::SkipFiles || column == ProjectColumn::MySQLNewBackupEachDay) {
                if (value.empty())
                    table.setValue(column, ProjectValue());
                else
                    table.setValue(column, parseInteger(value).value_or(0));
            } else {
                table.setValue(column, std::move(value));
            }
        }
        finishRow();
    }
    if (posted > 0 && !refused) save(path, table);
    table.first();
    return posted;
}

bool ProjectFile::save(const std::filesystem::path& path, ProjectTable& table) {
    TagGuard tag(table, 1);
    try {
        std::string bytes = encode(table);
        std::error_code ec;
        std::filesystem::path target = path;
        // Replace what a symbolic link points to, not the link.
        if (std::filesystem::is_symlink(path, ec)) {
            target = std::filesystem::weakly_canonical(path, ec);
            if (ec) return false;
        }
        std::filesystem::path directory = target.parent_path();
        if (directory.empty()) directory = ".";
        std::string pattern = (directory / ("." + target.filename().string() + ".XXXXXX")).string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        // A file that nobody may write was made read-only on purpose: keep it as it
        // is. Root passes every permission check, so the mode bits decide.
        struct stat old {};
        const bool exists = ::stat(target.c_str(), &old) == 0;
        if (exists && (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
        int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) return false;
        bool ok = ::fchmod(fd, exists ? (old.st_mode & 07777) : 0600) == 0;
        // The replacement keeps the old file's owner where we may give it; a user's
        // own save needs no change of owner, and the file stays private then.
        if (ok && exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
            (void)!::fchown(fd, old.st_uid, old.st_gid);
        ok = ok && writeAll(fd, bytes) == 0 && ::fsync(fd) == 0;
        ok = (::close(fd) == 0) && ok;
        if (ok) ok = ::rename(name.data(), target.c_str()) == 0;
        if (!ok) {
            ::unlink(name.data());
            return false;
        }
        int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);  // the rename itself; a failure here changes nothing
            ::close(dirFd);
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace tharvel
