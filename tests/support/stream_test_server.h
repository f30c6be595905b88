// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A loopback HTTP/1.1 server whose handler writes the response itself, piece by piece and at its
// own pace, and can watch for the client closing the connection: for streams, trickles and
// cancellation. One thread per connection (the server's, not the client's under test).
// Header-only so benchmarks can use it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class StreamTestServer {
public:
    using Clock = std::chrono::steady_clock;

    // One request and the connection to answer it on.
    class Exchange {
    public:
        std::string method;
        std::string target;
        std::string head;  // the request head as received

        // The status line and headers; chunked unless a Content-Length is given among them.
        bool sendHead(int status, const std::vector<std::string>& headers = {}) {
            std::string h = "HTTP/1.1 " + std::to_string(status) + " Streamed\r\n";
            chunked_ = true;
            for (auto& line : headers) {
                if (line.rfind("Content-Length:", 0) == 0) chunked_ = false;
                h += line + "\r\n";
            }
            if (chunked_) h += "Transfer-Encoding: chunked\r\n";
            return raw(h + "\r\n");
        }
        // Body bytes, sent at once as one write (one chunk when chunked).
        bool send(const std::string& bytes) {
            if (!chunked_) return raw(bytes);
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", bytes.size());
            return raw(size + bytes + "\r\n");
        }
        bool end() { return !chunked_ || raw("0\r\n\r\n"); }
        bool raw(const std::string& bytes) {
            const char* p = bytes.data();
            size_t n = bytes.size();
            while (n > 0) {
                long w = ::send(fd_, p, n, MSG_NOSIGNAL);
                if (w <= 0) return false;
                p += w;
                n -= static_cast<size_t>(w);
            }
            return true;
        }
        // Waits until the client closes the connection; false when it does not within `limit`.
        bool waitForClose(std::chrono::milliseconds limit) {
            auto deadline = Clock::now() + limit;
            for (;;) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (left <= 0) return false;
                pollfd p{fd_, POLLIN | POLLRDHUP, 0};
                if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
                char b[4096];
                long n = ::recv(fd_, b, sizeof b, MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return true;
            }
        }

    private:
        friend class StreamTestServer;
        int fd_ = -1;
        bool chunked_ = true;
    };
    using Handler = std::function<void(Exchange&)>;

    StreamTestServer() {
        listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(listenFd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(listenFd_, 1024) != 0)
            throw std::runtime_error("stream server: cannot listen on loopback");
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        acceptThread_ = std::thread([this] { acceptLoop(); });
    }
    ~StreamTestServer() {
        stopping_ = true;
        shutdown(listenFd_, SHUT_RDWR);
        acceptThread_.join();
        close(listenFd_);
        {
            std::lock_guard lock(mutex_);
            for (int fd : openFds_) shutdown(fd, SHUT_RDWR);
        }
        for (auto& t : threads_) t.join();
    }
    StreamTestServer(const StreamTestServer&) = delete;
    StreamTestServer& operator=(const StreamTestServer&) = delete;

    std::string url(const std::string& path = "/") const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    void handle(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }
    bool stopping() const { return stopping_; }

private:
    void acceptLoop() {
        while (!stopping_) {
            int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (stopping_) return;
                continue;
            }
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::lock_guard lock(mutex_);
            openFds_.push_back(fd);
            threads_.emplace_back([this, fd] { serve(fd); });
        }
    }

    void serve(int fd) {
        std::string buffer;
        char chunk[16384];
        size_t end;
        while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
            long n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            buffer.append(chunk, static_cast<size_t>(n));
        }
        if (end != std::string::npos) {
            Exchange x;
            x.fd_ = fd;
            x.head = buffer.substr(0, end);
            auto sp1 = x.head.find(' ');
            auto sp2 = x.head.find(' ', sp1 + 1);
            x.method = x.head.substr(0, sp1);
            x.target = x.head.substr(sp1 + 1, sp2 - sp1 - 1);
            Handler handler;
            {
                std::lock_guard lock(mutex_);
                handler = handler_;
            }
            if (handler) handler(x);
        }
        std::lock_guard lock(mutex_);
        shutdown(fd, SHUT_RDWR);
        close(fd);
        std::erase(openFds_, fd);
    }

    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    Handler handler_;
    std::vector<int> openFds_;
    std::vector<std::thread> threads_;
    std::thread acceptThread_;
};

}  // namespace testsupport
