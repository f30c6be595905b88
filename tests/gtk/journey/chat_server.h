// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A chat-completions endpoint on 127.0.0.1 for the journeys: answers every POST with an
// OpenAI-style reply when the request carries the expected bearer key, and 401 otherwise.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <mutex>
#include <string>
#include <thread>

namespace journey {

class ChatServer {
public:
    ChatServer(std::string key, std::string answer) : key_(std::move(key)), answer_(std::move(answer)) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(fd_, 8);
        socklen_t len = sizeof addr;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~ChatServer() {
        stop_ = true;
        shutdown(fd_, SHUT_RDWR);
        close(fd_);
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/v1/chat/completions"; }
    int authorised() const { return authorised_; }
    int refused() const { return refused_; }
    std::string lastBody() const {
        std::lock_guard lock(mutex_);
        return lastBody_;
    }

private:
    void serve() {
        while (!stop_) {
            int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) return;
            std::string request;
            char buf[4096];
            size_t headerEnd = std::string::npos, want = 0;
            for (;;) {
                ssize_t n = read(c, buf, sizeof buf);
                if (n <= 0) break;
                request.append(buf, static_cast<size_t>(n));
                if (headerEnd == std::string::npos && (headerEnd = request.find("\r\n\r\n")) != std::string::npos) {
                    auto at = lower(request.substr(0, headerEnd)).find("content-length:");
                    want = at == std::string::npos ? 0 : std::stoul(request.substr(at + 15));
                }
                if (headerEnd != std::string::npos && request.size() >= headerEnd + 4 + want) break;
            }
            std::string head = headerEnd == std::string::npos ? request : request.substr(0, headerEnd);
            bool ok = head.find("\r\nAuthorization: Bearer " + key_ + "\r\n") != std::string::npos ||
                      head.find("\r\nauthorization: Bearer " + key_ + "\r\n") != std::string::npos;
            if (headerEnd != std::string::npos) {
                std::lock_guard lock(mutex_);
                lastBody_ = request.substr(headerEnd + 4);
            }
            std::string body = ok ? R"({"choices":[{"message":{"role":"assistant","content":")" + answer_ + R"("}}]})"
                                  : R"({"error":{"message":"invalid api key"}})";
            (ok ? authorised_ : refused_)++;
            std::string response =
                std::string(ok ? "HTTP/1.1 200 OK" : "HTTP/1.1 401 Unauthorized") +
                "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body;
            (void)!write(c, response.data(), response.size());
            close(c);
        }
    }
    static std::string lower(std::string s) {
        for (auto& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return s;
    }

    std::string key_, answer_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> authorised_{0}, refused_{0};
    mutable std::mutex mutex_;
    std::string lastBody_;
    std::thread thread_;
};

}  // namespace journey
