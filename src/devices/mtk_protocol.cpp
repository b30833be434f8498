#include "devices/mtk_protocol.h"

#include <algorithm>
#include <cstdio>

#include "devices/serial_port.h"

namespace trakvio {
namespace {

constexpr std::string_view kDataHeader = "$PMTK182,8,";
constexpr std::string_view kReadAck = "$PMTK001,182,7,3";
constexpr std::string_view kEraseAck = "$PMTK001,182,6,3";
// Longest address text accepted between the header and its ','.
constexpr size_t kMaxAddressDigits = 8;
// Room of the data field of one sentence (2,048 bytes as hex text).
constexpr size_t kHexCapacity = 2 * kMtkSentenceSize;
constexpr int kWriteTimeoutMs = 1000 + 10 * 64;
constexpr int kPollSliceMs = 100;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string MtkSentence(std::string_view body) {
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    std::string sentence = "$";
    sentence += body;
    sentence += tail;
    return sentence;
}

void MtkReplyScanner::StartRequest() {
    acknowledged_ = false;
    moreData_ = false;
}

void MtkReplyScanner::JudgeHex() {
    bool erased = true;
    for (char c : hex_) {
        if (c != 'F') {
            erased = false;
            break;
        }
    }
    if (erased) {
        // Erased memory: the log ends here unless data follows (the unused
        // end of a sector), whose bytes then keep their place in the image.
        moreData_ = false;
        erasedRun_ += hex_.size() / 2;
    } else {
        moreData_ = true;
        image_.insert(image_.end(), erasedRun_, 0xFF);
        erasedRun_ = 0;
        for (size_t i = 0; i + 1 < hex_.size(); i += 2) {
            int high = HexValue(hex_[i]), low = HexValue(hex_[i + 1]);
            image_.push_back(static_cast<uint8_t>(((high < 0 ? 0 : high) << 4) | (low < 0 ? 0 : low)));
        }
    }
    hex_.clear();
}

void MtkReplyScanner::FeedData(std::string_view piece) {
    size_t star = piece.find('*');
    std::string_view field = piece.substr(0, star);
    // A field longer than one sentence holds is cut; the rest is noise.
    if (hex_.size() < kHexCapacity) hex_.append(field.substr(0, kHexCapacity - hex_.size()));
    if (star == std::string_view::npos) return;
    inData_ = false;
    JudgeHex();
    Feed(piece.substr(star + 1));
}

void MtkReplyScanner::Feed(std::string_view piece) {
    if (inData_) {
        FeedData(piece);
        return;
    }
    pending_.append(piece);
    for (;;) {
        size_t header = pending_.find(kDataHeader);
        size_t ack = pending_.find(kReadAck);
        if (ack != std::string::npos && (header == std::string::npos || ack < header)) {
            acknowledged_ = true;
            pending_.erase(0, ack + kReadAck.size());
            continue;
        }
        if (header == std::string::npos) break;
        size_t start = header + kDataHeader.size();
        size_t comma = pending_.find(',', start);
        if (comma == std::string::npos) {
            if (pending_.size() - start > kMaxAddressDigits) {
                pending_.erase(0, start);  // not an address: look for the next header
                continue;
            }
            pending_.erase(0, header);  // the address goes on in the next piece
            return;
        }
        uint32_t address = 0;
        bool digits = comma > start && comma - start <= kMaxAddressDigits;
        for (size_t i = start; digits && i < comma; ++i) {
            int v = HexValue(pending_[i]);
            if (v < 0) digits = false;
            address = address * 16 + static_cast<uint32_t>(v < 0 ? 0 : v);
        }
        if (!digits || address != expectedAddress_) code_ = kMtkUnexpectedAddress;
        expectedAddress_ += kMtkSentenceSize;
        inData_ = true;
        std::string rest = pending_.substr(comma + 1);
        pending_.clear();
        FeedData(rest);
        return;
    }
    // Keep only a tail that could still begin a header or an acknowledgement.
    const size_t keep = std::max(kDataHeader.size(), kReadAck.size()) - 1;
    if (pending_.size() > keep) pending_.erase(0, pending_.size() - keep);
}

int DownloadMtkImage(const std::string& port, const SerialSettings& settings, const MtkDownloadOptions& options,
                     std::vector<uint8_t>& image) {
    image.clear();
    image.reserve(16384);
    int fd = -1;
    if (int code = OpenSerialPort(port, settings, fd); code != kPortOpened) return code;
    MtkReplyScanner scanner(image);
    int code = kMtkDone;
    uint32_t address = 0;
    char buffer[4096];
    bool more = true;
    while (more) {
        char body[40];
        std::snprintf(body, sizeof body, "PMTK182,7,%X,%X", address, kMtkRequestSize);
        if (!WriteSerial(fd, MtkSentence(body), kWriteTimeoutMs)) {
            code = kMtkWriteFailed;
            break;
        }
        scanner.StartRequest();
        int silentMs = 0;
        while (!scanner.acknowledged()) {
            long n = ReadSerial(fd, buffer, sizeof buffer, kPollSliceMs);
            if (n < 0) {
                code = kMtkReadFailed;
                break;
            }
            if (n == 0) {
                silentMs += kPollSliceMs;
                if (silentMs >= options.replyTimeoutMs) {
                    code = kMtkNoAnswer;
                    break;
                }
                continue;
            }
            silentMs = 0;
            scanner.Feed(std::string_view(buffer, static_cast<size_t>(n)));
        }
        if (code != kMtkDone) break;
        more = scanner.moreData() && image.size() < options.maxImageBytes;
        address += kMtkRequestSize;
    }
    CloseSerialPort(fd);
    if (code == kMtkDone) code = scanner.code();
    return code;
}

int MtkLineReader::Next(std::string& line) {
    for (;;) {
        size_t feed = buffer_.find('\n');
        if (feed != std::string::npos) {
            line.assign(buffer_, 0, feed + 1);
            buffer_.erase(0, feed + 1);
            return 1;
        }
        if (buffer_.size() >= kCapacity) return -2;
        if (cancel_.load(std::memory_order_relaxed)) return -1;
        char chunk[kCapacity];
        long n = ReadSerial(fd_, chunk, kCapacity - buffer_.size(), kPollSliceMs);
        if (n < 0) return -3;
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

int EraseMtkLog(const std::string& port, const SerialSettings& settings, const std::atomic<bool>& cancel) {
    int fd = -1;
    if (OpenSerialPort(port, settings, fd) != kPortOpened) return kMtkErasePortError;
    if (!WriteSerial(fd, MtkSentence("PMTK182,6,1"), kWriteTimeoutMs)) {
        CloseSerialPort(fd);
        return kMtkErasePortError;
    }
    MtkLineReader reader(fd, cancel);
    std::string line;
    int result = kMtkEraseCancelled;
    for (;;) {
        if (cancel.load(std::memory_order_relaxed)) break;
        if (reader.Next(line) < 0) break;
        if (line.find(kEraseAck) != std::string::npos) {
            result = kMtkEraseDone;
            break;
        }
    }
    CloseSerialPort(fd);
    return result;
}

}  // namespace trakvio
