// Builders of logs for the tests: NMEA sentences with their checksums, and
// MTK logger dumps (sector headers and records of any format, byte by byte as
// a logger writes them); a store to load into, and its points as text to
// compare whole points.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "config/settings.h"
#include "readers/mtk_reader.h"
#include "store/track_store.h"

namespace trakvio::test {

// A store of the given capacity and the settings a load reads.
struct Loader {
    TrackStore store;
    Settings settings;
    explicit Loader(int32_t points = 1000, int32_t tracks = 50) {
        EXPECT_EQ(CreateTrackStore(store, points, tracks), 0);
    }
};

// The points of the store as "latitude,longitude altitude m speed km/h
// yyyy-mm-ddThh:mm:ss" (UTC); a disabled point ends in " off".
inline std::vector<std::string> PointTexts(const TrackStore& store) {
    std::vector<std::string> texts;
    for (int32_t i = 0; i < store.pointCount; ++i) {
        const LogPoint& p = store.points[i];
        const time_t time = static_cast<time_t>(p.time);
        std::tm civil{};
        gmtime_r(&time, &civil);
        char text[160], when[32];
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &civil);
        std::snprintf(text, sizeof text, "%.12g,%.12g %gm %gkm/h %s%s", p.latitude, p.longitude, p.altitude,
                      p.loggedSpeed, when, p.enabled ? "" : " off");
        texts.emplace_back(text);
    }
    return texts;
}

// "$body*hh" with its checksum and a CR LF.
inline std::string NmeaSentence(const std::string& body) {
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    return "$" + body + "*" + "0123456789ABCDEF"[sum >> 4] + "0123456789ABCDEF"[sum & 15] + "\r\n";
}

template <typename T>
void PutBytes(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof(T));
}

// A sector header of 512 bytes; records follow it.
inline void AppendMtkHeader(std::string& dump, uint32_t format) {
    const size_t start = dump.size();
    PutBytes<uint16_t>(dump, 0xFFFF);
    PutBytes<uint32_t>(dump, format);
    PutBytes<uint16_t>(dump, 0x0104);
    PutBytes<uint32_t>(dump, 10);
    dump.resize(start + 508, '\xFF');
    dump.append(4, '\xBB');
}

struct MtkPosition {
    double latitude, longitude;
    float height;
};

// Record i of the given format with '*' and the XOR checksum, logged at
// firstTime + i; bit 13 writes `satellites` blocks (a single empty one when
// 0). Without a position, record i lies i * 1e-4 degrees north-east of 35, 139
// at 10 + i metres.
inline void AppendMtkRecord(std::string& dump, uint32_t format, int i, int satellites = 0,
                            const MtkPosition* at = nullptr, uint32_t firstTime = 1700000000u) {
    std::string r;
    auto has = [format](int bit) { return (format >> bit & 1u) != 0; };
    if (has(0)) PutBytes<uint32_t>(r, firstTime + static_cast<uint32_t>(i));
    if (has(1)) PutBytes<uint16_t>(r, 2);
    if (has(2)) PutBytes<double>(r, at ? at->latitude : 35.0 + i * 1e-4);
    if (has(3)) PutBytes<double>(r, at ? at->longitude : 139.0 + i * 1e-4);
    if (has(4)) PutBytes<float>(r, at ? at->height : 10.0f + static_cast<float>(i));
    if (has(5)) PutBytes<float>(r, 3.6f);
    if (has(6)) PutBytes<float>(r, 90.0f);
    for (int bit = 7; bit <= 12; ++bit)
        if (has(bit)) r.append(bit == 8 ? 4 : 2, '\0');
    for (int s = 0; has(13) && s < std::max(satellites, 1); ++s) {
        r.push_back(static_cast<char>(10 + s));
        r.push_back(1);
        PutBytes<uint16_t>(r, static_cast<uint16_t>(satellites));
        if (satellites == 0) break;
        for (int bit = 14; bit <= 16; ++bit)
            if (has(bit)) PutBytes<uint16_t>(r, static_cast<uint16_t>((bit == 14 ? 40 : bit == 15 ? 200 : 30) + s));
    }
    if (has(17)) PutBytes<uint16_t>(r, 1);
    if (has(18)) PutBytes<uint16_t>(r, 250);
    if (has(19)) PutBytes<double>(r, 12.5);
    char sum = 0;
    for (char c : r) sum ^= c;
    dump += r + '*' + sum;
}

// Erased bytes to the end of the dump's last sector.
inline void PadMtkSector(std::string& dump) {
    dump.resize((dump.size() + kMtkSectorSize - 1) / kMtkSectorSize * kMtkSectorSize, '\xFF');
}

}  // namespace trakvio::test
