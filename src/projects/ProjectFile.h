#pragma once
// The project file: UTF-16 LE with its byte-order mark, CR LF after every line.
// Per project a header "[name]", ten lines "Key=value" in column order, a line for
// each optional setting that is not at its default, and an empty line. A value
// that would not survive that form (a line break, NUL, U+2028, blanks or control
// characters at either end, bytes that are not UTF-8) is written on a line "Key*="
// with the value percent-encoded: every byte except printable ASCII other than "%"
// becomes %HH. A project whose name needs that is introduced
// by "Project*=" in place of the header; a nameless one by "Project=". All other
// values are written raw, so plain files keep their old form.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AppPaths.h"
#include "projects/ProjectTable.h"

namespace tharvel {

class ProjectFile {
public:
    static constexpr const char* kFileName = AppPaths::kProjectFileName;
    // Name given to a project whose header has no name, and to key lines that come
    // before the first header.
    static constexpr const char* kUnnamedProject = "Unnamed project";

    // Appends the file's projects to the table through append/setValue/post (so the
    // table's post rules apply), with Tag 1 while it fills. When at least one project
    // was posted and none was refused, the file is then rewritten once in the form
    // save() writes. Finally the first row becomes current. A missing file adds
    // nothing; a file that exists but cannot be read throws std::runtime_error.
    // Returns the number of projects posted.
    static int load(const std::filesystem::path& path, ProjectTable& table);

    // Writes the stored rows of the table, replacing the file atomically (temporary
    // file beside it, then rename). The new file keeps the old one's mode and owner
    // (a new file gets 0600). A file without any write bit is never replaced. False
    // on any failure, and the old file is then left as it was. Tag is 1 while it runs.
    static bool save(const std::filesystem::path& path, ProjectTable& table);

    // The file's bytes for the table's stored rows.
    static std::string encode(const ProjectTable& table);
    // Text (UTF-8) of file bytes: by byte-order mark UTF-16 LE/BE or UTF-8;
    // without a mark UTF-8, where each byte that is not valid UTF-8 is read as
    // Windows-1252.
    static std::string decode(std::string_view bytes);
    // Lines split at CR LF, CR, LF, U+2028 and NUL; a final break adds no line.
    static std::vector<std::string> splitLines(std::string_view text);

    // True when a value can be written raw and loads back unchanged.
    static bool isPlain(std::string_view value);
    static std::string escape(std::string_view value);
    static std::string unescape(std::string_view value);
};

}  // namespace tharvel
