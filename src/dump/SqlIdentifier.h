#pragma once
#include <string>
#include <string_view>

namespace tharvel {

// How the dump writes the names of tables, views, databases and columns.
class SqlIdentifier {
public:
    // A part that cannot be written bare: a leading digit, underscore or "$", a
    // character outside $ _ 0-9 A-Z a-z, or a reserved word.
    static bool needsQuotes(std::string_view part);
    static bool isReservedWord(std::string_view word);

    // One name part enclosed in backticks, inner backticks doubled.
    static std::string quoted(std::string_view part);

    // A name as the server knows it (one part, dots and all): bare when it may be,
    // else in backticks. The form used for every object name the dump writes.
    static std::string quotedIfNeeded(std::string_view name);
};

}  // namespace tharvel
