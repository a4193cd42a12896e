#include "input/UrlResolver.h"

#include <memory>
#include <optional>

#include "input/CurlLibrary.h"
#include "input/RefreshScan.h"
#include "input/UrlSplit.h"

namespace sondrel {
namespace {

struct CurlEasyFree {
    void operator()(CURL* handle) const { Curl()->easyCleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyFree>;

struct CurlListFree {
    void operator()(curl_slist* list) const { Curl()->slistFreeAll(list); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListFree>;

// Keeps the first bytes of a body the way fixed-size reads would, then stops the transfer.
struct PageSink {
    std::string body;
    bool full = false;
};

size_t WriteToSink(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<PageSink*>(user);
    const size_t bytes = size * count;
    const size_t room = kPageExaminedMax - sink->body.size();
    sink->body.append(data, bytes < room ? bytes : room);
    if (sink->body.size() >= kPageExaminedMax) {
        sink->full = true;
        // A short count makes curl end the transfer: the rest of the page is never looked at.
        return 0;
    }
    return bytes;
}

// One internet session: a curl handle whose connections are reused from page to page.
class PageSession {
public:
    // A session whose library cannot be loaded fetches nothing.
    explicit PageSession(const HttpTimeLimits& limits) {
        const CurlLibrary* curl = Curl();
        if (curl == nullptr) {
            return;
        }
        handle_.reset(curl->easyInit());
        headers_.reset(curl->slistAppend(nullptr, kHttpAcceptHeader));
        if (!handle_ || !headers_) {
            handle_.reset();
            return;
        }
        CURL* h = handle_.get();
        curl->easySetopt(h, CURLOPT_USERAGENT, kHttpUserAgent);
        // Our Accept replaces curl's own "*/*"; nothing else adds one.
        curl->easySetopt(h, CURLOPT_HTTPHEADER, headers_.get());
        curl->easySetopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl->easySetopt(h, CURLOPT_MAXREDIRS, 10L);
        curl->easySetopt(h, CURLOPT_PROTOCOLS_STR, "http");
        curl->easySetopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        // The monitored host is an IPv4 address; fetch its pages over IPv4 too.
        curl->easySetopt(h, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
        curl->easySetopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.connectMs);
        curl->easySetopt(h, CURLOPT_TIMEOUT_MS, limits.pageMs);
        // Time limits without SIGALRM: this runs on worker threads.
        curl->easySetopt(h, CURLOPT_NOSIGNAL, 1L);
        curl->easySetopt(h, CURLOPT_WRITEFUNCTION, WriteToSink);
    }

    // The examined bytes of a page that answered 200; nullopt for every other outcome.
    std::optional<std::string> FetchPage(const std::string& url) {
        if (!handle_) {
            return std::nullopt;
        }
        const CurlLibrary* curl = Curl();
        CURL* h = handle_.get();
        PageSink sink;
        curl->easySetopt(h, CURLOPT_URL, url.c_str());
        curl->easySetopt(h, CURLOPT_WRITEDATA, &sink);
        const CURLcode result = curl->easyPerform(h);
        curl->easySetopt(h, CURLOPT_WRITEDATA, nullptr);
        const bool stoppedByUs = result == CURLE_WRITE_ERROR && sink.full;
        if (result != CURLE_OK && !stoppedByUs) {
            return std::nullopt;
        }
        long status = 0;
        curl->easyGetinfo(h, CURLINFO_RESPONSE_CODE, &status);
        if (status != 200) {
            return std::nullopt;
        }
        return std::move(sink.body);
    }

private:
    CurlEasy handle_;
    CurlList headers_;
};

}  // namespace

std::string ResolveUrlHost(const std::string& url, const HttpTimeLimits& limits) {
    PageSession session(limits);
    std::string current = url;
    std::string host;
    for (int pages = 0; pages < MAX_URL_HOPS; ++pages) {
        const UrlParts parts = SplitUrl(current);
        if (!parts.accepted) {
            // A target the parser refuses leaves us where the previous page was.
            return host;
        }
        host = parts.host;
        if (parts.serviceKind != kServiceHttp) {
            return host;
        }
        const std::optional<std::string> page = session.FetchPage(JoinHttpUrl(parts));
        if (!page) {
            return host;
        }
        std::optional<std::string> target = ScanRefresh(*page);
        if (!target) {
            return host;
        }
        current = std::move(*target);
    }
    return host;
}

}  // namespace sondrel
