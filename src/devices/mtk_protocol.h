// The MTK logger's PMTK182 protocol over a serial port: reading the whole log
// memory block by block, and erasing it. Sentences are '$', a body, '*' and
// the body's XOR checksum as two upper-case hex digits, then CR LF.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"

namespace trakvio {

// Results of the download (the first four are the port's, see serial_port.h).
inline constexpr int kMtkDone = 0;
inline constexpr int kMtkWriteFailed = 11;
inline constexpr int kMtkReadFailed = 12;
inline constexpr int kMtkUnexpectedAddress = 13;
inline constexpr int kMtkNoAnswer = 14;  // the logger stayed silent for the reply time-out

// Results of the erase.
inline constexpr int kMtkEraseDone = 1;
inline constexpr int kMtkEraseCancelled = 2;  // cancelled, or the port failed while waiting
inline constexpr int kMtkErasePortError = 3;

inline constexpr uint32_t kMtkRequestSize = 0x8000;
inline constexpr uint32_t kMtkSentenceSize = 0x800;

// "$" body "*XX\r\n".
std::string MtkSentence(std::string_view body);

// Scans the logger's replies to one read request after another; replies may
// be cut anywhere between reads.
class MtkReplyScanner {
  public:
    explicit MtkReplyScanner(std::vector<uint8_t>& image) : image_(image) {}
    // A new read request went out: its acknowledgement is awaited and the
    // more-data flag is cleared until a data sentence with data arrives.
    void StartRequest();
    void Feed(std::string_view piece);

    bool acknowledged() const { return acknowledged_; }
    bool moreData() const { return moreData_; }
    // kMtkDone, or kMtkUnexpectedAddress once a sentence came for another
    // address than the next expected one.
    int code() const { return code_; }

  private:
    void FeedData(std::string_view piece);
    void JudgeHex();

    std::vector<uint8_t>& image_;
    std::string pending_;   // text outside a data field not yet understood
    std::string hex_;       // data field collected so far
    size_t erasedRun_ = 0;  // bytes of erased sentences not yet known to be inside the log
    bool inData_ = false;
    bool acknowledged_ = false;
    bool moreData_ = false;
    int code_ = kMtkDone;
    uint32_t expectedAddress_ = 0;
};

struct MtkDownloadOptions {
    // The download ends with kMtkNoAnswer when the logger sends nothing for
    // this long while a reply is awaited.
    int replyTimeoutMs = 5000;
    // A guard against a logger that never reports erased memory.
    size_t maxImageBytes = size_t{64} << 20;
};

// Reads the log memory from the logger on port into image. Returns kMtkDone,
// a port code (1-3) or one of the kMtk* codes above.
int DownloadMtkImage(const std::string& port, const SerialSettings& settings, const MtkDownloadOptions& options,
                     std::vector<uint8_t>& image);

// Lines from a port, kept between calls. Returns the next complete line
// (with its line feed) in line and 1, or a negative code: -1 cancelled while
// waiting, -2 the buffer filled without a line feed, -3 the read failed.
class MtkLineReader {
  public:
    static constexpr size_t kCapacity = 4096;
    MtkLineReader(int fd, const std::atomic<bool>& cancel) : fd_(fd), cancel_(cancel) {}
    int Next(std::string& line);
    void Reset() { buffer_.clear(); }

  private:
    int fd_;
    const std::atomic<bool>& cancel_;
    std::string buffer_;
};

// The erase exchange: sends the erase command and waits for its
// acknowledgement until cancel is set. Returns kMtkEraseDone,
// kMtkEraseCancelled or kMtkErasePortError.
int EraseMtkLog(const std::string& port, const SerialSettings& settings, const std::atomic<bool>& cancel);

}  // namespace trakvio
