#pragma once
// A tiny HTTP/1.0 server on a loopback address, run by a test on its own thread. It answers
// each request from a table of canned responses and records what arrived.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sondrel::test {

struct CannedResponse {
    CannedResponse() = default;
    CannedResponse(int statusCode, std::string text, std::string headers = {})
        : status(statusCode), body(std::move(text)), extraHeaders(std::move(headers)) {}

    int status = 200;
    std::string body;
    std::string extraHeaders;  // full lines, each ending in "\r\n"
    bool neverAnswer = false;  // accept, read the request, then stay silent
};

struct ReceivedRequest {
    std::string path;
    std::map<std::string, std::vector<std::string>> headers;  // lower-case names
};

class HttpTestServer {
public:
    // Binds ip:port (port 0: any free port). A port in use is retried for a few seconds,
    // since parallel test processes may hold it briefly.
    HttpTestServer(const std::string& ip, std::uint16_t port);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    bool ok() const { return listenFd_ >= 0; }
    const std::string& error() const { return error_; }
    std::uint16_t port() const { return port_; }
    std::string Url(const std::string& path = "/") const;

    // Unknown paths get 404. Set the responses before requests arrive.
    void Serve(const std::string& path, CannedResponse response);
    std::vector<ReceivedRequest> Requests() const;

private:
    void Run();
    void Answer(int fd);

    std::string ip_;
    std::uint16_t port_ = 0;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::string error_;
    mutable std::mutex mutex_;
    std::map<std::string, CannedResponse> responses_;
    std::vector<ReceivedRequest> requests_;
    std::vector<int> silentFds_;
    std::thread thread_;
};

// A loopback port on which nothing listens (bound once, then closed).
std::uint16_t ClosedLoopbackPort(const std::string& ip);

// A page ordering a refresh to the target, in the usual header form.
std::string RefreshPage(const std::string& target);

}  // namespace sondrel::test
