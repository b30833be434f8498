#include "devices/receiver_capture.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "devices/serial_port.h"
#include "platform/local_time.h"
#include "platform/messages.h"

namespace trakvio {
namespace {

constexpr uint32_t kDefaultWaitMs = 100;
constexpr size_t kMinBufferSize = 16;
constexpr size_t kMinSentenceLength = 16;

// The comma-separated fields of a sentence (the last one keeps the
// checksum and the line end).
std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return fields;
}

std::string_view Field(const std::vector<std::string_view>& fields, size_t i) {
    return i < fields.size() ? fields[i] : std::string_view();
}

double Number(std::string_view text) {
    char buffer[32];
    size_t n = std::min(text.size(), sizeof buffer - 1);
    text.copy(buffer, n);
    buffer[n] = '\0';
    return std::strtod(buffer, nullptr);
}

// ddmm.mmmm or dddmm.mmmm, split two characters before the '.'; the value
// stays as it was when the field has no '.'.
void Coordinate(std::string_view text, std::string_view hemisphere, double& value) {
    size_t dot = text.find('.');
    if (dot == std::string_view::npos || dot < 2) return;
    double degrees = Number(text.substr(0, dot - 2));
    double minutes = Number(text.substr(dot - 2));
    value = degrees + minutes / 60.0;
    if (!hemisphere.empty() && (hemisphere[0] == 'S' || hemisphere[0] == 'W')) value = -value;
}

int TwoDigits(std::string_view text, size_t at) {
    if (text.size() < at + 2) return -1;
    char a = text[at], b = text[at + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    return (a - '0') * 10 + (b - '0');
}

// RMC time hhmmss.sss and date ddmmyy as UTC seconds; the two-digit year
// counts from 2000 and half a second or more rounds up. 0 when unreadable.
int64_t RmcTime(std::string_view time, std::string_view date) {
    int hour = TwoDigits(time, 0), minute = TwoDigits(time, 2), second = TwoDigits(time, 4);
    int day = TwoDigits(date, 0), month = TwoDigits(date, 2), year = TwoDigits(date, 4);
    if (hour < 0 || minute < 0 || second < 0 || day < 0 || month < 0 || year < 0) return 0;
    int64_t t = UtcFromCivil(2000 + year, month, day, hour, minute, second);
    if (time.size() > 6 && time[6] == '.' && Number(time.substr(6)) >= 0.5) ++t;
    return t;
}

// "$G", any letter, then kind ("GGA" or "RMC").
bool IsSentence(std::string_view line, std::string_view kind) {
    return line.size() >= 6 && line[0] == '$' && line[1] == 'G' && line.substr(3, 3) == kind;
}

}  // namespace

CaptureTimeouts CaptureTimeoutsFrom(const ReceiverSettings& receiver) {
    CaptureTimeouts timeouts;
    uint32_t wait = receiver.timeout1;
    if (wait < 1) {
        ShowMessage("gpsrcvtimeout: the first time-out must be at least 1 ms; " + std::to_string(kDefaultWaitMs) +
                        " ms is used instead.",
                    "GPS receiver", MessageButtons::kOk, kAnswerOk, MessageIcon::kWarning);
        wait = kDefaultWaitMs;
    }
    wait = std::min<uint32_t>(wait, 60000);
    timeouts.waitMs = static_cast<int>(wait);
    timeouts.allowed = static_cast<int>(std::min<uint32_t>(receiver.timeout2 / wait, 1000000));
    return timeouts;
}

int32_t CapturedPointCount(const TrackStore& store) {
    return LoadPointCount(store);
}

FixPairer::FixPairer(TrackStore& store, const GeoidModel* geoid, const ReceiverSettings& receiver, FILE* file,
                     const CaptureCallbacks& callbacks)
    : store_(store),
      geoid_(geoid),
      bufferSize_(std::max<size_t>(receiver.bufferSize, kMinBufferSize)),
      sentenceLength_(std::max<size_t>(receiver.sentenceLength, kMinSentenceLength)),
      file_(file),
      callbacks_(callbacks) {
    buffer_.reserve(bufferSize_);
}

size_t FixPairer::Room() const { return bufferSize_ - 1 - buffer_.size(); }

bool FixPairer::Feed(const char* data, size_t size) {
    buffer_.append(data, std::min(size, Room()));
    size_t start = 0;
    bool lineFeed = false;
    for (;;) {
        size_t feed = buffer_.find('\n', start);
        if (feed == std::string::npos) break;
        lineFeed = true;
        TakeLine(std::string_view(buffer_).substr(start, feed + 1 - start));
        start = feed + 1;
    }
    buffer_.erase(0, start);
    // A buffer filled without a line feed holds no sentence worth keeping.
    if (Room() == 0) buffer_.clear();
    return lineFeed;
}

void FixPairer::TakeLine(std::string_view line) {
    const bool gga = IsSentence(line, "GGA");
    const bool rmc = !gga && IsSentence(line, "RMC");
    if (!gga && !rmc) return;
    // Longer than a sentence buffer holds: not a sentence of a receiver.
    if (line.size() >= sentenceLength_) return;
    std::vector<std::string_view> fields = Fields(line);
    if (gga) {
        if (Field(fields, 2).empty()) return;
        gga_.assign(line);
    } else {
        std::string_view status = Field(fields, 2);
        if (status == "V" || Field(fields, 3).empty()) return;
        rmc_.assign(line);
    }
    timeLength_ = Field(fields, 1).size();
    if (gga_.empty() || rmc_.empty()) return;
    std::string_view ggaTime = Field(Fields(gga_), 1), rmcTime = Field(Fields(rmc_), 1);
    if (ggaTime.substr(0, timeLength_) != rmcTime.substr(0, timeLength_)) return;
    AddFix();
}

bool FixPairer::ReadFix(LogPoint& point) const {
    std::vector<std::string_view> g = Fields(gga_), r = Fields(rmc_);
    Coordinate(Field(g, 2), Field(g, 3), point.latitude);
    Coordinate(Field(g, 4), Field(g, 5), point.longitude);
    point.altitude = static_cast<float>(Number(Field(g, 9)) + Number(Field(g, 11)));
    point.enabled = Field(r, 2) == "A" ? 1 : 0;
    Coordinate(Field(r, 3), Field(r, 4), point.latitude);
    Coordinate(Field(r, 5), Field(r, 6), point.longitude);
    point.loggedSpeed = static_cast<float>(Number(Field(r, 7)) * 1.852);
    point.time = RmcTime(Field(r, 1), Field(r, 9));
    // A garbled sentence can name a place off the globe; such a fix is kept
    // in the capture file only.
    if (!(std::fabs(point.latitude) <= 90 && std::fabs(point.longitude) <= 180)) return false;
    float undulation = geoid_ != nullptr ? GeoidUndulation(*geoid_, point.longitude, point.latitude) : 0.0f;
    point.geoidAltitude = point.altitude - undulation;
    return true;
}

void FixPairer::AddFix() {
    if (file_ != nullptr) {
        std::fwrite(gga_.data(), 1, gga_.size(), file_);
        std::fwrite(rmc_.data(), 1, rmc_.size(), file_);
        std::fflush(file_);
    }
    const int32_t count = store_.pointCount;  // only this thread writes it while capturing
    bool added = false;
    LogPoint point;
    const bool onGlobe = ReadFix(point);
    if (count >= store_.maxlogpoints) {
        if (callbacks_.status) callbacks_.status(kCaptureFullText);
    } else if (onGlobe) {
        store_.points[static_cast<size_t>(count)] = point;
        std::atomic_ref<int32_t>(store_.pointCount).store(count + 1, std::memory_order_release);
        added = true;
    }
    gga_.clear();
    rmc_.clear();
    if (!added) return;
    if (count + 1 > 1) {
        if (callbacks_.newFixes) callbacks_.newFixes();
    } else if (callbacks_.status) {
        callbacks_.status(kCaptureFixText);
    }
}

ReceiverCapture::~ReceiverCapture() { Stop(); }

int ReceiverCapture::Start(TrackStore& store, const Settings& settings, const std::string& port,
                           const std::filesystem::path& captureFile, CaptureCallbacks callbacks) {
    if (active_) return 0;
    CaptureTimeouts timeouts = CaptureTimeoutsFrom(settings.receiver);
    if (OpenSerialPort(port, settings.serial, fd_) != kPortOpened) return -1;
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        CloseSerialPort(fd_);
        fd_ = -1;
        return -2;
    }
    file_ = std::fopen(captureFile.c_str(), "wb");
    callbacks_ = std::move(callbacks);
    store.pointCount = 0;
    if (callbacks_.status) callbacks_.status(kCaptureWaitingText);
    bits_.store(0, std::memory_order_relaxed);
    running_.store(true, std::memory_order_release);
    const GeoidModel* geoid = settings.geoidModel.loaded ? &settings.geoidModel : nullptr;
    try {
        thread_ = std::thread(&ReceiverCapture::Run, this, std::ref(store), geoid, settings.receiver, timeouts);
    } catch (const std::system_error&) {
        running_.store(false);
        CloseSerialPort(fd_);
        fd_ = -1;
        if (file_ != nullptr) std::fclose(file_);
        file_ = nullptr;
        ::close(wake_[0]);
        ::close(wake_[1]);
        wake_[0] = wake_[1] = -1;
        return -2;
    }
    active_ = true;
    return 0;
}

void ReceiverCapture::Run(TrackStore& store, const GeoidModel* geoid, ReceiverSettings receiver,
                          CaptureTimeouts timeouts) {
    FixPairer pairer(store, geoid, receiver, file_, callbacks_);
    std::vector<char> chunk(std::max<size_t>(receiver.bufferSize, kMinBufferSize));
    int bits = 0;
    int timeoutCount = 0;
    while (running_.load(std::memory_order_acquire)) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        int ready = ::poll(fds, 2, timeouts.waitMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            bits |= kCapturePollFailed;
            break;
        }
        if (ready == 0) {
            if (++timeoutCount > timeouts.allowed) {
                bits |= kCaptureSilent;
                break;
            }
            continue;
        }
        if (fds[1].revents != 0) continue;  // woken by Stop
        if (fds[0].revents & POLLNVAL) {
            bits |= kCaptureWaitFailed;
            break;
        }
        if (!(fds[0].revents & POLLIN)) {
            bits |= kCaptureReadFailed;  // hung up or line error
            break;
        }
        ssize_t n = ::read(fd_, chunk.data(), std::min(chunk.size(), pairer.Room()));
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) {
            bits |= kCaptureReadFailed;
            break;
        }
        if (pairer.Feed(chunk.data(), static_cast<size_t>(n))) timeoutCount = 0;
    }
    bits_.store(bits, std::memory_order_release);
    if (bits != 0 && callbacks_.failed) callbacks_.failed(bits);
}

void ReceiverCapture::Stop() {
    if (!active_) return;
    running_.store(false, std::memory_order_release);
    char wake = 1;
    [[maybe_unused]] ssize_t ignored = ::write(wake_[1], &wake, 1);
    if (thread_.joinable()) thread_.join();
    CloseSerialPort(fd_);
    fd_ = -1;
    ::close(wake_[0]);
    ::close(wake_[1]);
    wake_[0] = wake_[1] = -1;
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    active_ = false;
    if (callbacks_.status) callbacks_.status(kCaptureStoppedText);
}

}  // namespace trakvio
