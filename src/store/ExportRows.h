#pragma once
// The text of sondrel --export: rows of CSV or JSON built straight into one buffer that is
// handed out about 64 KiB at a time.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "store/Sample.h"

namespace sondrel {

enum class ExportFormat { kCsv, kJson };

// 2026-12-07T15:04:05.123Z
std::string FormatUtcMs(int64_t ms);

struct MinuteValues {
    int64_t minute = 0;
    std::optional<int64_t> sent, lost, min, median, max, mean;  // times in microseconds
};

class ExportRows {
public:
    ExportRows(ExportFormat format, const std::function<void(std::string_view)>& out);
    ExportRows(const ExportRows&) = delete;
    ExportRows& operator=(const ExportRows&) = delete;

    void Header(std::span<const char* const> names);
    void Raw(std::string_view host, const Sample& s);
    void Minute(std::string_view host, const MinuteValues& m);
    // Closes the JSON array and hands out the rest.
    void Finish();

private:
    char* Room(size_t n);
    void Done(char* end);
    char* Begin(char* p);
    char* Key(char* p, std::string_view name, bool first) const;
    char* Time(char* p, int64_t ms);
    char* Host(char* p, std::string_view host) const;
    char* Ms(char* p, std::optional<int64_t> us) const;
    char* Int(char* p, std::optional<int64_t> v) const;
    char* End(char* p) const;

    ExportFormat format_;
    const std::function<void(std::string_view)>& out_;
    std::string buffer_;
    size_t used_ = 0;
    uint64_t rows_ = 0;
    // The date part of the last time written, kept while rows stay within its day.
    int64_t day_ = INT64_MIN;
    std::string date_;
};

}  // namespace sondrel
