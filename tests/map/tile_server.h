// A small HTTP/1.1 tile server on 127.0.0.1 for the map tests: an ephemeral
// port, one thread per connection, every response closes its connection. The
// test decides each response by path (status, body, delay, a body cut short)
// and reads back the requests that arrived.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace trakvio::test {

struct TileResponse {
    int status = 200;
    std::string body;
    int delayMs = 0;
    bool cutBody = false;  // announce the whole length, send half, close
};

struct TileRequest {
    std::string path;
    std::string userAgent;
};

// A PNG of one colour.
inline std::string PngOfColor(QColor color, int side = 256) {
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

class TileServer {
  public:
    using Handler = std::function<TileResponse(const std::string& path)>;

    explicit TileServer(Handler handler) : handler_(std::move(handler)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener_, 64);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        acceptor_ = std::thread([this] { Accept(); });
    }

    ~TileServer() {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        acceptor_.join();
        ::close(listener_);
        for (auto& w : workers_) w.join();
    }

    int port() const { return port_; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

    std::vector<TileRequest> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

  private:
    // Shutting the listener down in the destructor ends the blocking accept.
    void Accept() {
        while (!stop_) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            std::lock_guard<std::mutex> lock(mutex_);
            workers_.emplace_back([this, fd] { Serve(fd); });
        }
    }

    void Serve(int fd) {
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) break;
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            request.append(buf, static_cast<size_t>(n));
        }
        TileRequest seen;
        const size_t sp1 = request.find(' ');
        const size_t sp2 = request.find(' ', sp1 + 1);
        if (sp1 != std::string::npos && sp2 != std::string::npos) seen.path = request.substr(sp1 + 1, sp2 - sp1 - 1);
        const size_t ua = request.find("User-Agent: ");
        if (ua != std::string::npos) seen.userAgent = request.substr(ua + 12, request.find("\r\n", ua) - ua - 12);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(seen);
        }
        const TileResponse r = handler_(seen.path);
        if (r.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(r.delayMs));
        const std::string all = "HTTP/1.1 " + std::to_string(r.status) + " X\r\nContent-Type: image/png\r\n" +
                                "Content-Length: " + std::to_string(r.body.size()) + "\r\nConnection: close\r\n\r\n" +
                                (r.cutBody ? r.body.substr(0, r.body.size() / 2) : r.body);
        ::send(fd, all.data(), all.size(), MSG_NOSIGNAL);
        ::shutdown(fd, SHUT_WR);
        ::close(fd);
    }

    Handler handler_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> workers_;
    std::vector<TileRequest> requests_;
};

}  // namespace trakvio::test
