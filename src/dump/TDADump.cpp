#include "dump/TDADump.h"

#include "dump/DumpStream.h"
#include "dump/SqlIdentifier.h"

namespace tharvel {

TDADump::TDADump() : options_(std::make_unique<TDADumpOptions>()) {}

TDADump::~TDADump() = default;

std::string TDADump::TableNamesText() const {
    std::string out;
    for (const std::string& name : tableNames_) {
        if (!out.empty()) out += ';';
        out += name;
    }
    return out;
}

void TDADump::SetTableNamesText(std::string_view text) {
    tableNames_.clear();
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ';' && text[i] != ',') continue;
        std::string_view part = text.substr(start, i - start);
        while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
        if (!part.empty()) tableNames_.emplace_back(part);
        start = i + 1;
    }
}

std::string TDADump::QuoteName(std::string_view name) const {
    std::string_view bare = SqlIdentifier::Unquote(name);
    if (!options_->QuoteNames && !SqlIdentifier::IsBracketNeeds(bare)) return std::string(bare);
    std::string out(1, leftQuote_);
    for (char c : bare) {
        if (c == rightQuote_) out += c;
        out += c;
    }
    return out + rightQuote_;
}

void TDADump::FireProgress(const std::string& objectName, int objectNum, int objectCount, int percent) {
    if (OnBackupProgress) OnBackupProgress(*this, objectName, objectNum, objectCount, percent);
}

void TDADump::BackupToFile(const std::string& fileName, Compression compression) {
    DumpStream out(fileName, compression);
    outputPath_ = fileName;
    struct Forget {
        std::string& path;
        ~Forget() { path.clear(); }
    } forget{outputPath_};
    Backup(out, "");  // on a failure the stream's destructor still writes the finished lines
    out.close();
}

}  // namespace tharvel
