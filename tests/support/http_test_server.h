// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small threaded HTTP/1.1 server for tests and benchmarks, on 127.0.0.1 or ::1 and a free port,
// optionally over TLS with a self-signed certificate made at start. It records every request and
// answers with what the test scripts. Header-only so benchmarks can use it without the test library.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

struct ReceivedRequest {
    std::string method;
    std::string target;
    std::vector<std::pair<std::string, std::string>> headers;  // as received, values trimmed
    std::string body;

    // Every value of a header whose name matches without regard to case.
    std::vector<std::string> all(const std::string& name) const {
        std::vector<std::string> out;
        for (auto& [n, v] : headers)
            if (strcasecmp(n.c_str(), name.c_str()) == 0) out.push_back(v);
        return out;
    }
    bool has(const std::string& name) const { return !all(name).empty(); }
    std::string header(const std::string& name) const {
        auto v = all(name);
        return v.empty() ? std::string("<absent>") : v.front();
    }
};

struct ScriptedResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body = "ok";
    bool chunked = false;

    static ScriptedResponse redirect(int status, std::string location) {
        return {status, {{"Location", std::move(location)}}, "", false};
    }
};

class HttpTestServer {
public:
    enum class Family { V4, V6 };
    enum class Tls { Off, On };
    using Handler = std::function<ScriptedResponse(const ReceivedRequest&)>;

    explicit HttpTestServer(Family family = Family::V4, Tls tls = Tls::Off) : family_(family) {
        if (tls == Tls::On) makeTls();
        listenFd_ = socket(family == Family::V4 ? AF_INET : AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_storage addr{};
        socklen_t len;
        if (family == Family::V4) {
            auto* a = reinterpret_cast<sockaddr_in*>(&addr);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            len = sizeof(sockaddr_in);
        } else {
            auto* a = reinterpret_cast<sockaddr_in6*>(&addr);
            a->sin6_family = AF_INET6;
            a->sin6_addr = in6addr_loopback;
            len = sizeof(sockaddr_in6);
        }
        if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(listenFd_, 512) != 0)
            throw std::runtime_error("test server: cannot listen on loopback");
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(family == Family::V4 ? reinterpret_cast<sockaddr_in*>(&addr)->sin_port
                                           : reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
        acceptThread_ = std::thread([this] { acceptLoop(); });
    }

    ~HttpTestServer() {
        stopping_ = true;
        shutdown(listenFd_, SHUT_RDWR);
        acceptThread_.join();
        close(listenFd_);
        {
            std::lock_guard lock(mutex_);
            for (int fd : openFds_) shutdown(fd, SHUT_RDWR);
        }
        for (auto& t : connectionThreads_) t.join();
        if (ctx_) SSL_CTX_free(ctx_);
    }

    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int port() const { return port_; }
    bool tls() const { return ctx_ != nullptr; }
    // The certificate a client must trust to reach this server over TLS (names localhost, 127.0.0.1,
    // ::1, and public.test and other.test, which tests resolve to loopback to stand for remote hosts).
    const std::string& certificatePem() const { return certPem_; }
    std::string origin(const std::string& host = "") const {
        std::string h = !host.empty() ? host : family_ == Family::V4 ? "127.0.0.1" : "[::1]";
        return std::string(tls() ? "https" : "http") + "://" + h + ":" + std::to_string(port_);
    }
    std::string url(const std::string& path = "/") const { return origin() + path; }

    void handle(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }
    std::vector<ReceivedRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    int connections() const { return connections_.load(); }

private:
    struct Conn {
        int fd;
        SSL* ssl = nullptr;
        long read(char* buf, size_t n) { return ssl ? SSL_read(ssl, buf, static_cast<int>(n)) : ::recv(fd, buf, n, 0); }
        bool write(const char* data, size_t n) {
            while (n > 0) {
                long w = ssl ? SSL_write(ssl, data, static_cast<int>(std::min<size_t>(n, 1 << 20)))
                             : ::send(fd, data, n, MSG_NOSIGNAL);
                if (w <= 0) return false;
                data += w;
                n -= static_cast<size_t>(w);
            }
            return true;
        }
    };

    void acceptLoop() {
        while (!stopping_) {
            int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (stopping_) return;
                continue;
            }
            ++connections_;
            int one = 1;  // answers go out at once, not after the client's delayed acknowledgement
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::lock_guard lock(mutex_);
            openFds_.push_back(fd);
            connectionThreads_.emplace_back([this, fd] { serve(fd); });
        }
    }

    void serve(int fd) {
        Conn c{fd};
        if (ctx_) {
            c.ssl = SSL_new(ctx_);
            SSL_set_fd(c.ssl, fd);
            if (SSL_accept(c.ssl) <= 0) return finish(c);
        }
        std::string buffer;
        char chunk[65536];
        for (;;) {
            size_t end;
            while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
                long n = c.read(chunk, sizeof chunk);
                if (n <= 0) return finish(c);
                buffer.append(chunk, static_cast<size_t>(n));
            }
            ReceivedRequest req = parseHead(buffer.substr(0, end));
            buffer.erase(0, end + 4);
            size_t length = 0;
            for (auto& v : req.all("Content-Length")) length = std::stoul(v);
            while (buffer.size() < length) {
                long n = c.read(chunk, sizeof chunk);
                if (n <= 0) return finish(c);
                buffer.append(chunk, static_cast<size_t>(n));
            }
            req.body = buffer.substr(0, length);
            buffer.erase(0, length);

            Handler handler;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(req);
                handler = handler_;
            }
            ScriptedResponse r = handler ? handler(req) : ScriptedResponse{};
            std::string head = renderHead(r);
            if (!c.write(head.data(), head.size())) return finish(c);
            if (req.method == "HEAD") continue;
            if (!r.chunked) {
                if (!c.write(r.body.data(), r.body.size())) return finish(c);
                continue;
            }
            for (size_t at = 0; at < r.body.size(); at += 65536) {
                size_t n = std::min<size_t>(65536, r.body.size() - at);
                char size[32];
                snprintf(size, sizeof size, "%zx\r\n", n);
                if (!c.write(size, strlen(size)) || !c.write(r.body.data() + at, n) || !c.write("\r\n", 2))
                    return finish(c);
            }
            if (!c.write("0\r\n\r\n", 5)) return finish(c);
        }
    }

    void finish(Conn& c) {
        if (c.ssl) {
            SSL_shutdown(c.ssl);
            SSL_free(c.ssl);
        }
        std::lock_guard lock(mutex_);
        shutdown(c.fd, SHUT_RDWR);
        close(c.fd);
        openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), c.fd), openFds_.end());
    }

    static std::string trim(std::string s) {
        auto b = s.find_first_not_of(" \t");
        auto e = s.find_last_not_of(" \t");
        return b == std::string::npos ? std::string{} : s.substr(b, e - b + 1);
    }

    static ReceivedRequest parseHead(const std::string& head) {
        ReceivedRequest req;
        size_t lineEnd = head.find("\r\n");
        std::string first = head.substr(0, lineEnd);
        auto sp1 = first.find(' ');
        auto sp2 = first.find(' ', sp1 + 1);
        req.method = first.substr(0, sp1);
        req.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
        size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
        while (at < head.size()) {
            size_t e = head.find("\r\n", at);
            if (e == std::string::npos) e = head.size();
            std::string line = head.substr(at, e - at);
            auto colon = line.find(':');
            if (colon != std::string::npos)
                req.headers.emplace_back(line.substr(0, colon), trim(line.substr(colon + 1)));
            at = e + 2;
        }
        return req;
    }

    static std::string renderHead(const ScriptedResponse& r) {
        std::string head = "HTTP/1.1 " + std::to_string(r.status) + " Scripted\r\n";
        for (auto& [n, v] : r.headers) head += n + ": " + v + "\r\n";
        head +=
            r.chunked ? "Transfer-Encoding: chunked\r\n" : "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
        return head + "\r\n";
    }

    void makeTls() {
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* cert = X509_new();
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
        X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1,
                                   -1, 0);
        X509_set_issuer_name(cert, name);
        X509V3_CTX v3;
        X509V3_set_ctx_nodb(&v3);
        X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
        for (auto [nid, value] :
             {std::pair{NID_subject_alt_name, "DNS:localhost,DNS:public.test,DNS:other.test,IP:127.0.0.1,IP:::1"},
              std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
            X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
            X509_add_ext(cert, ext, -1);
            X509_EXTENSION_free(ext);
        }
        X509_sign(cert, key, EVP_sha256());
        BIO* bio = BIO_new(BIO_s_mem());
        PEM_write_bio_X509(bio, cert);
        char* data = nullptr;
        long n = BIO_get_mem_data(bio, &data);
        certPem_.assign(data, static_cast<size_t>(n));
        BIO_free(bio);
        ctx_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(ctx_, cert);
        SSL_CTX_use_PrivateKey(ctx_, key);
        X509_free(cert);
        EVP_PKEY_free(key);
    }

    Family family_;
    int listenFd_ = -1;
    int port_ = 0;
    SSL_CTX* ctx_ = nullptr;
    std::string certPem_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<ReceivedRequest> requests_;
    std::vector<int> openFds_;
    std::vector<std::thread> connectionThreads_;
    std::thread acceptThread_;
};

// A loopback port on which nothing listens (bound, then closed).
inline int closedLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), len);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

}  // namespace testsupport
