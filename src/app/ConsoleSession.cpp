#include "app/ConsoleSession.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "input/HostEditing.h"
#include "model/History.h"
#include "model/ListFile.h"

namespace sondrel {
namespace {

bool HasListFileExtension(const std::string& argument) {
    std::string extension = std::filesystem::path(argument).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".ipl";
}

// Why a list file cannot be read, or empty when it is a regular file (links followed).
std::string ListFileProblem(const std::string& path) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) return "no such file";
    if (ec) return ec.message();
    if (status.type() != std::filesystem::file_type::regular) return "not a regular file";
    return {};
}

}  // namespace

std::string MessageForTerminal(std::string_view message) {
    std::string out;
    out.reserve(message.size());
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
        out += message[i] == '\r' ? '\n' : message[i];
    }
    return out;
}

ConsoleSession::ConsoleSession(bool printEvents, std::FILE* out, std::FILE* err, Resolver& resolver,
                               UrlHostResolver resolveUrlHost)
    : printEvents_(printEvents),
      out_(out),
      err_(err),
      resolver_(resolver),
      resolveUrlHost_(std::move(resolveUrlHost)) {}

ConsoleSession::ArgumentResult ConsoleSession::AddArgument(const std::string& argument) {
    if (HasListFileExtension(argument)) {
        std::string problem = ListFileProblem(argument);
        ListReadResult read;
        if (problem.empty()) read = ReadListFile(argument);
        if (read.fault == ListFault::Unreadable) problem = read.error;
        if (!problem.empty()) return {std::nullopt, argument + ": " + problem};
        EditOutcome outcome = ImportHosts(hosts_, argument);
        ShowMessages(outcome.messages);
        AddHosts(outcome.addresses);
        return {read.interval, {}};
    }
    TypedAddress parsed = ParseTypedAddress(argument, resolver_, resolveUrlHost_);
    ShowMessages(parsed.messages);
    if (!parsed.ok) return {};
    EditOutcome outcome = AddTypedHost(hosts_, parsed);
    ShowMessages(outcome.messages);
    AddHosts(outcome.addresses);
    return {};
}

void ConsoleSession::AddHosts(const std::vector<uint32_t>& added) {
    for (uint32_t address : added) {
        HostRecord* record = hosts_.FindHost(address);
        if (record == nullptr || rows_.count(address)) continue;
        AppendAddress(addresses_, address);
        Row& row = rows_[address];
        row.address = address;
        row.display = DisplayText(address, *record);
        row.columns = NewRowColumns();
        PrintEvent(row, WithoutLineEnd(StampNow()), kEventAdded);
    }
}

void ConsoleSession::ShowMessages(const std::vector<std::string>& messages) {
    for (const std::string& m : messages) std::fprintf(err_, "%s\n", MessageForTerminal(m).c_str());
    std::fflush(err_);
}

void ConsoleSession::PrintEvent(const Row& row, std::string_view stamp, std::string_view text) {
    if (!printEvents_) return;
    std::fprintf(out_, "%s\t%.*s\t%.*s\n", row.display.c_str(), static_cast<int>(stamp.size()),
                 stamp.data(), static_cast<int>(text.size()), text.data());
}

const std::string& ConsoleSession::StampNow() {
    // One local-time conversion per second is plenty: a round of thousands of replies
    // arrives within the same second.
    long now = static_cast<long>(std::time(nullptr));
    if (now != stampSecond_) {
        stampSecond_ = now;
        stamp_ = TimeStampNow();
    }
    return stamp_;
}

void ConsoleSession::BeginRound(bool printTable) {
    TimeoutPassOnly();
    if (printTable) PrintTable();
    CountRoundSent(hosts_);
}

void ConsoleSession::TimeoutPassOnly() {
    const std::string stamp = StampNow();
    auto hasRow = [this](uint32_t address, const HostRecord&) { return rows_.count(address) > 0; };
    for (uint32_t address : TimeoutPass(hosts_, hasRow, stamp)) {
        Row& row = rows_.at(address);
        row.columns = TimeoutColumns();
        PrintEvent(row, WithoutLineEnd(stamp), kEventTimeout);
        // Nothing reads the history here (no files, no details window): keep memory flat.
        if (HostRecord* record = hosts_.FindHost(address)) record->m_history.clear();
    }
    Flush();
}

void ConsoleSession::ApplyReply(uint32_t address, std::string_view text) {
    HostRecord* record = hosts_.FindHost(address);
    if (record == nullptr) return;
    auto it = rows_.find(address);
    std::optional<std::string_view> rowTime;
    if (it != rows_.end()) rowTime = it->second.columns.time;
    ReplyOutcome outcome = sondrel::ApplyReply(*record, text, rowTime, StampNow());
    record->m_history.clear();
    ++repliesApplied_;
    if (!outcome.rowChanged || it == rows_.end()) return;
    it->second.columns = outcome.columns;
    PrintEvent(it->second, outcome.stamp, outcome.event);
}

std::vector<const ConsoleSession::Row*> ConsoleSession::RowsInOrder() const {
    std::vector<const Row*> rows;
    rows.reserve(rows_.size());
    for (const auto& [address, row] : rows_) rows.push_back(&row);
    std::sort(rows.begin(), rows.end(), [](const Row* a, const Row* b) {
        return CompareRowText(a->display, b->display) < 0;
    });
    return rows;
}

void ConsoleSession::PrintTable() {
    for (const Row* row : RowsInOrder()) {
        std::fprintf(out_, "%s\t%s\t%s\t%s\n", row->display.c_str(), row->columns.ttl.c_str(),
                     row->columns.time.c_str(), row->columns.bytes.c_str());
    }
    std::fputc('\n', out_);
    Flush();
}

void ConsoleSession::PrintStatistics() {
    for (const Row* row : RowsInOrder()) {
        const HostRecord* record = hosts_.FindHost(row->address);
        if (record == nullptr) continue;
        DetailsFields f = DetailsFieldsOnOpen(*record);
        std::fprintf(out_, "%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", row->display.c_str(), f.sent.c_str(),
                     f.received.c_str(), f.lost.value_or("").c_str(), f.minTime.c_str(),
                     f.maxTime.c_str(), f.avgTime.c_str(), f.speed.c_str());
    }
    Flush();
}

void ConsoleSession::Flush() {
    // A failed write leaves the stream's error flag set, so the flush after a batch of
    // writes catches them all.
    if ((std::fflush(out_) != 0 || std::ferror(out_)) && outputError_ == 0)
        outputError_ = errno != 0 ? errno : EIO;
}

}  // namespace sondrel
