// Live capture from a GPS receiver on a serial port: a reader thread pairs
// each GGA sentence with the RMC sentence of the same time, appends one point
// per pair to the track store, writes the pair to a capture file, and tells
// its owner through callbacks (which run on the reader thread; a window
// posts them on to its own thread).
//
// Sharing with the owner's thread: the reader thread fills a point
// completely and then publishes the new pointCount with a release store;
// readers take pointCount with an acquire load (CapturedPointCount) before
// they look at the points. Nothing else of the store is written while the
// capture runs.
#pragma once

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "compute/geoid.h"
#include "config/settings.h"
#include "store/track_store.h"

namespace trakvio {

// Status bits of an abnormal end.
inline constexpr int kCaptureWaitFailed = 1;  // waiting for the port could not start
inline constexpr int kCaptureReadFailed = 2;  // the port failed or hung up while reading
inline constexpr int kCapturePollFailed = 4;  // the wait itself failed
inline constexpr int kCaptureSilent = 8;      // no line for more than the allowed time-outs

// Status texts of the capture.
inline constexpr std::string_view kCaptureWaitingText = "GPS衛星が捕捉されていません";
inline constexpr std::string_view kCaptureFixText = "GPS衛星が捕捉され測位しています";
inline constexpr std::string_view kCaptureFullText = "測位結果をメモリに追加できません";
inline constexpr std::string_view kCaptureStoppedText = "GPS receiver disconnected";

struct CaptureCallbacks {
    std::function<void()> newFixes;                // a fix was added and the store holds two or more points
    std::function<void(int statusBits)> failed;    // the reader thread ended abnormally
    std::function<void(std::string_view)> status;  // a status text
};

// The wait time-out and the number of consecutive time-outs allowed, from
// the receiver settings. A first time-out below 1 ms is refused with a
// message and the default used.
struct CaptureTimeouts {
    int waitMs = 100;
    int allowed = 50;
};
CaptureTimeouts CaptureTimeoutsFrom(const ReceiverSettings& receiver);

// pointCount as the reader thread last published it (acquire load).
int32_t CapturedPointCount(const TrackStore& store);

// Pairs GGA and RMC lines into fixes. Lines arrive in pieces of any size.
class FixPairer {
  public:
    FixPairer(TrackStore& store, const GeoidModel* geoid, const ReceiverSettings& receiver, FILE* file,
              const CaptureCallbacks& callbacks);
    // Bytes that may be fed before the buffer is full.
    size_t Room() const;
    // Appends data (at most Room() bytes) and handles every complete line.
    // Returns true when a line feed came in.
    bool Feed(const char* data, size_t size);

  private:
    void TakeLine(std::string_view line);
    void AddFix();
    // The point of the pair in hand; false when it lies off the globe.
    bool ReadFix(LogPoint& point) const;

    TrackStore& store_;
    const GeoidModel* geoid_;
    size_t bufferSize_;
    size_t sentenceLength_;
    FILE* file_;
    const CaptureCallbacks& callbacks_;
    std::string buffer_;
    std::string gga_, rmc_;
    size_t timeLength_ = 0;
};

class ReceiverCapture {
  public:
    ReceiverCapture() = default;
    ~ReceiverCapture();
    ReceiverCapture(const ReceiverCapture&) = delete;
    ReceiverCapture& operator=(const ReceiverCapture&) = delete;

    // Opens port, creates captureFile (replacing it; the capture goes on
    // without a file when it cannot be created), sets the store's pointCount
    // to 0 and starts the reader thread. Returns 0, -1 when the port cannot
    // be opened, -2 when the thread cannot be started.
    int Start(TrackStore& store, const Settings& settings, const std::string& port,
              const std::filesystem::path& captureFile, CaptureCallbacks callbacks);
    // Ends the reader thread, closes port and file. Nothing when idle.
    void Stop();
    bool active() const { return active_; }
    // Status bits of the thread's end (0 while it runs or after a normal stop).
    int statusBits() const { return bits_.load(std::memory_order_acquire); }

  private:
    void Run(TrackStore& store, const GeoidModel* geoid, ReceiverSettings receiver, CaptureTimeouts timeouts);

    bool active_ = false;
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    FILE* file_ = nullptr;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<int> bits_{0};
    CaptureCallbacks callbacks_;
};

}  // namespace trakvio
