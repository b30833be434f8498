// Devices on pseudo-terminals for the tests: an MTK logger that answers
// PMTK182 read and erase requests from a memory image, and a GPS receiver
// whose sentences the test writes. The code under test opens the terminal's
// device path as it would open a serial port.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace trakvio::test {

// A pseudo-terminal; the tests write to and read from the master side.
class Pty {
  public:
    Pty() {
        char name[128] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
            path_ = name;
            termios tio{};
            tcgetattr(slave_, &tio);
            cfmakeraw(&tio);
            tcsetattr(slave_, TCSANOW, &tio);
            fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        }
    }
    ~Pty() {
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    int master() const { return master_; }
    // Ends the device: the other side then sees it hang up.
    void HangUp() {
        ::close(slave_);
        ::close(master_);
        slave_ = master_ = -1;
    }
    // Writes text, waiting while the other side does not read; gives up
    // after two seconds without progress.
    void Write(std::string_view text) const {
        while (!text.empty()) {
            ssize_t n = ::write(master_, text.data(), text.size());
            if (n > 0) {
                text.remove_prefix(static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return;
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 2000) <= 0) return;
        }
    }

  private:
    int master_ = -1, slave_ = -1;
    std::string path_;
};

inline std::string Sentence(std::string_view body) {
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + std::string(body) + tail;
}

// An MTK logger answering on a pseudo-terminal until it is destroyed.
class MtkLoggerSimulator {
  public:
    struct Behaviour {
        // Replies go out in pieces of these sizes, in turn, with a pause
        // between them, so that reads end at odd places.
        std::vector<size_t> pieces;
        // The second data sentence names this address instead (0: none).
        uint32_t wrongAddress = 0;
        bool silent = false;       // read requests get no answer at all
        bool eraseAnswers = true;  // the erase is acknowledged
        int eraseDelayMs = 50;
    };

    MtkLoggerSimulator(std::vector<unsigned char> image, Behaviour behaviour)
        : image_(std::move(image)), behaviour_(std::move(behaviour)) {
        thread_ = std::thread([this] { Serve(); });
    }
    ~MtkLoggerSimulator() {
        stop_ = true;
        thread_.join();
    }
    const std::string& path() const { return pty_.path(); }
    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    bool erased() const { return erased_; }

  private:
    void Send(const std::string& text) {
        if (behaviour_.pieces.empty()) {
            pty_.Write(text);
            return;
        }
        size_t at = 0;
        while (at < text.size()) {
            size_t size = behaviour_.pieces[piece_++ % behaviour_.pieces.size()];
            pty_.Write(std::string_view(text).substr(at, size));
            at += size;
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    }

    void Answer(const std::string& request) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        unsigned address = 0, size = 0;
        if (std::sscanf(request.c_str(), "$PMTK182,7,%X,%X", &address, &size) == 2) {
            if (behaviour_.silent) return;
            std::string reply;
            for (unsigned a = address; a < address + size; a += 0x800) {
                char head[40];
                unsigned named = (a == 0x800 && behaviour_.wrongAddress != 0) ? behaviour_.wrongAddress : a;
                std::snprintf(head, sizeof head, "PMTK182,8,%08X,", named);
                std::string body = head;
                for (unsigned i = 0; i < 0x800; ++i) {
                    std::snprintf(head, sizeof head, "%02X", a + i < image_.size() ? image_[a + i] : 0xFFu);
                    body += head;
                }
                reply += Sentence(body);
            }
            reply += Sentence("PMTK001,182,7,3");
            Send(reply);
        } else if (request.rfind("$PMTK182,6,1", 0) == 0) {
            if (!behaviour_.eraseAnswers) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(behaviour_.eraseDelayMs));
            erased_ = true;
            Send(Sentence("PMTK001,182,6,3"));
        }
    }

    void Serve() {
        std::string line;
        while (!stop_) {
            char buffer[256];
            pollfd wait{pty_.master(), POLLIN, 0};
            if (::poll(&wait, 1, 20) <= 0) continue;
            ssize_t n = ::read(pty_.master(), buffer, sizeof buffer);
            if (n <= 0) continue;
            for (ssize_t i = 0; i < n; ++i) {
                line += buffer[i];
                if (buffer[i] == '\n') {
                    Answer(line);
                    line.clear();
                }
            }
        }
    }

    Pty pty_;
    std::vector<unsigned char> image_;
    Behaviour behaviour_;
    size_t piece_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> erased_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

inline std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace trakvio::test
