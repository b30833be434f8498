#include "app/track_list_rows.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include "platform/utf.h"

namespace trakvio {
namespace {

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    char small[64];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    // Very large figures ("%.3f" of 1e300) need more room.
    std::string out(static_cast<size_t>(n) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(out.data(), out.size(), format, args);
    va_end(args);
    out.resize(static_cast<size_t>(n));
    return out;
}

// Walks trackNames in track order. A missing name (the end marker or the end
// of the buffer reached early) is empty.
class NameWalker {
  public:
    explicit NameWalker(const TrackStore& store) : names_(store.trackNames) {}
    std::u16string_view Next() {
        if (pos_ >= kTrackNamesCapacity || names_[pos_] == kNamesEndMarker) return {};
        int32_t end = pos_;
        while (end < kTrackNamesCapacity && names_[end] != 0 && names_[end] != kNamesEndMarker) ++end;
        std::u16string_view name(names_.data() + pos_, static_cast<size_t>(end - pos_));
        pos_ = (end < kTrackNamesCapacity && names_[end] == 0) ? end + 1 : end;
        return name;
    }

  private:
    const std::array<char16_t, kTrackNamesCapacity>& names_;
    int32_t pos_ = 0;
};

}  // namespace

std::string TrackTimeText(const char (&text)[20], size_t from) {
    size_t length = strnlen(text, sizeof text);
    if (length <= from) return {};
    return Utf16ToUtf8(Utf8ToUtf16(std::string_view(text + from, length - from)));
}

int32_t TrackListRowCount(const TrackStore& store) { return HeldTrackCount(store); }

int32_t TrackDuration(const TrackStore& store, int t) {
    if (t < 0 || t >= TrackListRowCount(store)) return 0;
    const TrackRecord& record = store.tracks[static_cast<size_t>(t)];
    const int64_t limit = HeldPointCount(store);
    if (record.firstPoint < 0 || record.lastPoint < 0 || record.firstPoint >= limit || record.lastPoint >= limit) {
        return 0;
    }
    // Modulo 2^64 in unsigned arithmetic, then the low 32 bits as a signed value.
    uint64_t difference = static_cast<uint64_t>(store.points[static_cast<size_t>(record.lastPoint)].time) -
                          static_cast<uint64_t>(store.points[static_cast<size_t>(record.firstPoint)].time);
    return static_cast<int32_t>(static_cast<uint32_t>(difference));
}

TrackPointCounts CountTrackPoints(const TrackStore& store, int t) {
    TrackPointCounts counts;
    if (t < 0 || t >= TrackListRowCount(store)) return counts;
    const int64_t first = t == 0 ? 0 : static_cast<int64_t>(store.trackEnd[static_cast<size_t>(t) - 1]) + 1;
    const int64_t last = store.trackEnd[static_cast<size_t>(t)];
    counts.points = std::max<int64_t>(last - first + 1, 0);
    const int64_t from = std::max<int64_t>(first, 0);
    const int64_t to = std::min(last, int64_t{HeldPointCount(store)} - 1);
    for (int64_t i = from; i <= to; ++i) {
        if (store.points[static_cast<size_t>(i)].enabled == 0) ++counts.deleted;
    }
    return counts;
}

std::string FormatTrackDuration(int64_t seconds) {
    // The magnitude is taken in unsigned arithmetic, where even that of the
    // most negative value fits.
    const char* sign = seconds < 0 ? "-" : "";
    uint64_t magnitude = seconds < 0 ? 0 - static_cast<uint64_t>(seconds) : static_cast<uint64_t>(seconds);
    unsigned long long s = magnitude % 60;
    unsigned long long m = magnitude / 60 % 60;
    unsigned long long h = magnitude / 3600;
    if (magnitude >= 3600) return Format("%s%llu:%02llu:%02llu", sign, h, m, s);
    return Format("%s%llu:%02llu", sign, static_cast<unsigned long long>(magnitude / 60), s);
}

namespace {

// Stores smaller than this count on one thread.
constexpr int64_t kParallelCountPoints = int64_t{1} << 18;

// The point counts of every row. The deleted counts read every point, which
// for a large store costs more than the rest of the table: its rows are
// shared with a second thread, split where about half the points lie.
std::vector<TrackPointCounts> CountEveryTrackPoint(const TrackStore& store, int32_t rowCount) {
    std::vector<TrackPointCounts> counts(static_cast<size_t>(rowCount));
    auto countRows = [&](int32_t from, int32_t to) {
        for (int32_t t = from; t < to; ++t) counts[static_cast<size_t>(t)] = CountTrackPoints(store, t);
    };
    int32_t split = rowCount;
    const int64_t held = HeldPointCount(store);
    if (held >= kParallelCountPoints && rowCount >= 2 && std::thread::hardware_concurrency() >= 2) {
        split = 1;
        while (split + 1 < rowCount && store.trackEnd[static_cast<size_t>(split) - 1] < held / 2) ++split;
    }
    std::thread worker;
    if (split < rowCount) {
        try {
            worker = std::thread(countRows, split, rowCount);
        } catch (const std::system_error&) {
            countRows(split, rowCount);
        }
    }
    countRows(0, split);
    if (worker.joinable()) worker.join();
    return counts;
}

}  // namespace

TrackListTable BuildTrackListTable(const TrackStore& store) {
    TrackListTable table;
    const int32_t rowCount = TrackListRowCount(store);
    table.rows.resize(static_cast<size_t>(rowCount));
    table.counts = CountEveryTrackPoint(store, rowCount);

    NameWalker names(store);
    int64_t totalDuration = 0;
    double totalDistance = 0;
    int64_t totalDeleted = 0;
    for (int32_t t = 0; t < rowCount; ++t) {
        const TrackRecord& record = store.tracks[static_cast<size_t>(t)];
        const int32_t duration = TrackDuration(store, t);
        const TrackPointCounts& counts = table.counts[static_cast<size_t>(t)];
        TrackListRow& row = table.rows[static_cast<size_t>(t)];
        row[kColumnTrack] = Format("%2d", t + 1);
        row[kColumnTitle] = Utf16ToUtf8(names.Next());
        row[kColumnColor] = Format("%06X", static_cast<unsigned>(record.color));
        row[kColumnWidth] = Format("%d", static_cast<int>(record.lineWidth));
        row[kColumnStart] = TrackTimeText(record.startText);
        row[kColumnEnd] = TrackTimeText(record.endText, 11);  // "YYYY-MM-DD " skipped
        row[kColumnDuration] = FormatTrackDuration(duration);
        row[kColumnDistance] = Format("%.3f", record.distanceKm);
        if (duration >= 1) row[kColumnSpeed] = Format("%.2f", record.distanceKm / duration * 3600.0);
        row[kColumnPoints] = Format("%lld", static_cast<long long>(counts.points));
        row[kColumnDeleted] = Format("%lld", static_cast<long long>(counts.deleted));
        row[kColumnFile] = Format("%lld", static_cast<long long>(record.fileIndex) + 1);
        totalDuration += duration;
        totalDistance += record.distanceKm;
        totalDeleted += counts.deleted;
    }

    TrackListRow& total = table.total;
    total[kColumnTrack] = std::string(kTotalRowLabel);
    total[kColumnDuration] = FormatTrackDuration(totalDuration);
    total[kColumnDistance] = Format("%.3f", totalDistance);
    // Without a positive total duration there is no average speed to show.
    if (totalDuration >= 1) {
        total[kColumnSpeed] = Format("%.2f", totalDistance / static_cast<double>(totalDuration) * 3600.0);
    }
    total[kColumnPoints] = Format("%d", static_cast<int>(HeldPointCount(store)));
    total[kColumnDeleted] = Format("%lld", static_cast<long long>(totalDeleted));
    return table;
}

}  // namespace trakvio
