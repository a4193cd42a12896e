#include "console/ConsoleFront.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "input/HostEditing.h"
#include "model/ListFile.h"
#include "model/ReplyRules.h"

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

ConsoleFront::ConsoleFront(SessionSetup setup, ConsolePrinting printing)
    : printing_(printing), session_(std::move(setup), *this) {}

// The session's last error texts are printed while this is still whole.
ConsoleFront::~ConsoleFront() { session_.Shutdown(); }

ConsoleFront::ArgumentResult ConsoleFront::AddArgument(const std::string& argument,
                                                       Resolver& resolver,
                                                       const UrlHostResolver& resolveUrlHost) {
    EditOutcome outcome;
    std::optional<uint32_t> interval;
    if (HasListFileExtension(argument)) {
        const std::string problem = ListFileProblem(argument);
        if (!problem.empty()) return {std::nullopt, argument + ": " + problem};
        // One reading gives both the hosts and the interval.
        const ListLoadStatus status = ImportListFile(argument, session_.Hosts());
        if (status.kind == ListLoadStatus::Kind::Missing ||
            status.kind == ListLoadStatus::Kind::Unreadable)
            return {std::nullopt, status.message};
        interval = status.interval;
        outcome = ImportOutcome(status);
    } else {
        // The outcome carries the parse's own messages first, so each is shown once.
        outcome =
            AddTypedHost(session_.Hosts(), ParseTypedAddress(argument, resolver, resolveUrlHost));
    }
    for (const std::string& m : outcome.messages) ShowMessage(m);
    // Nothing else drives the session yet: the hosts are listed at once, not posted.
    session_.OnListAddedMany(outcome.addresses);
    return {interval, {}};
}

void ConsoleFront::ShowMessage(const std::string& text) {
    std::fprintf(printing_.err, "%s\n", MessageForTerminal(text).c_str());
    std::fflush(printing_.err);
}

void ConsoleFront::HostEvent(HostEventKind, uint32_t address, const HostRecord& record,
                             std::string_view stamp, std::string_view event) {
    if (!printing_.events) return;
    const std::string display = DisplayText(address, record);
    std::fprintf(printing_.out, "%s\t%.*s\t%.*s\n", display.c_str(), static_cast<int>(stamp.size()),
                 stamp.data(), static_cast<int>(event.size()), event.data());
}

void ConsoleFront::RoundJudged() {
    ++roundsJudged_;
    // The rows are shown as a round starts, judged; the pass after the last round shows none.
    if (printing_.tables && !LastRoundJudged()) PrintTable();
}

void ConsoleFront::PrintTable() {
    const RowStore& rows = session_.Rows();
    std::string piece;
    piece.reserve(kPiece + 256);
    for (size_t i = 0; i < rows.Size(); ++i) {
        const ListRow& row = rows.At(i);
        const ResultColumns texts = row.results.Texts();
        piece.append(row.text.View());
        for (const std::string* column : {&texts.ttl, &texts.time, &texts.bytes}) {
            piece += '\t';
            piece += *column;
        }
        piece += '\n';
        WriteFullPiece(piece);
    }
    piece += '\n';
    std::fwrite(piece.data(), 1, piece.size(), printing_.out);
}

void ConsoleFront::PrintStatistics() {
    const RowStore& rows = session_.Rows();
    std::string piece;
    piece.reserve(kPiece + 256);
    for (size_t i = 0; i < rows.Size(); ++i) {
        const ListRow& row = rows.At(i);
        const HostRecord* record = session_.Hosts().FindHost(row.address);
        if (record == nullptr) continue;
        const DetailsFields f = DetailsFieldsOnOpen(*record);
        piece.append(row.text.View());
        const std::string lost = f.lost.value_or("");
        for (const std::string* field :
             {&f.sent, &f.received, &lost, &f.minTime, &f.maxTime, &f.avgTime, &f.speed}) {
            piece += '\t';
            piece += *field;
        }
        piece += '\n';
        WriteFullPiece(piece);
    }
    std::fwrite(piece.data(), 1, piece.size(), printing_.out);
}

void ConsoleFront::WriteFullPiece(std::string& piece) {
    if (piece.size() < kPiece) return;
    std::fwrite(piece.data(), 1, piece.size(), printing_.out);
    piece.clear();
}

void ConsoleFront::Flush() {
    // A failed write leaves the stream's error flag set, so the flush after a batch of
    // writes catches them all.
    if ((std::fflush(printing_.out) != 0 || std::ferror(printing_.out)) && outputError_ == 0)
        outputError_ = errno != 0 ? errno : EIO;
}

}  // namespace sondrel
