#include "readers/kml_reader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "compute/default_colors.h"
#include "platform/ascii_text.h"
#include "platform/local_time.h"
#include "platform/utf.h"
#include "readers/kml_tuples.h"
#include "readers/text_scan.h"

namespace trakvio {

namespace {

// Styles past this many are not kept; references to them match nothing.
constexpr int kMaxStyles = 1024;
constexpr int64_t kNoTime = INT64_MIN;

// A Style element with an id. Ids point into the file's bytes.
struct StyleEntry {
    std::string_view id;
    uint32_t color = 0;  // aabbggrr, as KML writes it
    int32_t width = 0;
    bool hasColor = false, hasWidth = false;
};

// A StyleMap element: a placemark that refers to it is drawn with the style
// of its "normal" pair.
struct StyleMapEntry {
    std::string_view id;
    std::string_view normal;
};

struct KmlScan {
    TrackStore& store;
    int32_t namePosition;
    int64_t time;  // given to the next point that has no time of its own
    int32_t step;

    std::vector<StyleEntry> styles;
    int styleCount = 0;  // completed entries
    int openStyle = -1;  // entry being read, -1 outside a Style with an id
    std::vector<StyleMapEntry> styleMaps;
    int styleMapCount = 0;
    int openStyleMap = -1;
    bool pairIsNormal = false;

    // Line style of the current placemark; a placemark that names no style
    // of its own keeps the previous placemark's.
    uint32_t color = 0;
    float width = 0;
    bool hasColor = false, hasWidth = false;

    // Name of the current placemark: bytes of the file (from is null when it
    // has none), decoded at close.
    NameText name;
    bool nameEndMissing = false;  // no "</name>" follows: later searches are pointless

    bool inPlacemark = false, inLineString = false, inLineStyle = false, inGxTrack = false;
    std::vector<int64_t> whens;  // times of the open gx:Track, in order
    size_t coordIndex = 0;       // gx:coord elements seen in the open gx:Track
    // Points of gx:coord elements that came before their when: (coord index,
    // point index), patched when the when arrives.
    std::vector<std::pair<size_t, int32_t>> waiting;
    size_t waitingNext = 0;

    std::vector<int32_t> paletteTracks;  // tracks whose style gave no colour, ascending
    LatitudeRange latitudes;             // of the points stored, when there are any
    bool anyPoint = false;
    bool cut = false;
    std::string nameUtf8;
    std::u16string nameUtf16;

    KmlScan(TrackStore& s, int32_t position, int64_t start, int32_t timeStep)
        : store(s), namePosition(position), time(start), step(timeStep) {
        nameUtf16.resize(kTrackNamesCapacity);
    }
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// An element's name ends here (and not in a longer name).
bool EndsName(char c) { return c == '>' || c == '/' || IsBlank(c); }

std::string_view Trimmed(const char* from, const char* to) {
    while (from < to && IsBlank(*from)) ++from;
    while (to > from && IsBlank(to[-1])) --to;
    return std::string_view(from, static_cast<size_t>(to - from));
}

// The value of the id attribute in the tag [tag, tagEnd): the text between
// its quotes, or up to a blank when it has none. Empty when there is no id.
std::string_view IdAttribute(const char* tag, const char* tagEnd) {
    const char* p = tag;
    while (const char* at = FindBytes(p, tagEnd, "id=", 3)) {
        p = at + 3;
        if (!IsBlank(at[-1])) continue;
        if (p < tagEnd && (*p == '"' || *p == '\'')) {
            const char* close = FindChar(p + 1, tagEnd, *p);
            return std::string_view(p + 1, static_cast<size_t>((close ? close : tagEnd) - (p + 1)));
        }
        const char* q = p;
        while (q < tagEnd && !IsBlank(*q) && *q != '/') ++q;
        return std::string_view(p, static_cast<size_t>(q - p));
    }
    return {};
}

// Reads digits[0..n) at p as a number; false when one is not a digit.
bool Digits(const char* p, const char* end, int n, int& value) {
    if (end - p < n) return false;
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (!IsDigit(p[i])) return false;
        v = v * 10 + (p[i] - '0');
    }
    value = v;
    return true;
}

// An XML Schema date-time as KML writes it in when elements: a year, then
// optionally month, day, "Thh:mm[:ss]" with a fraction (dropped) and a zone
// ("Z", "+09:00", "-0500"). kNoTime when not even a year is there.
int64_t ParseKmlTime(const char* p, const char* end) {
    while (p < end && IsBlank(*p)) ++p;
    int year, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    if (!Digits(p, end, 4, year)) return kNoTime;
    p += 4;
    if (p < end && *p == '-' && Digits(p + 1, end, 2, month)) {
        p += 3;
        if (p < end && *p == '-' && Digits(p + 1, end, 2, day)) {
            p += 3;
            if (p < end && *p == 'T' && Digits(p + 1, end, 2, hour) && p + 3 < end && p[3] == ':' &&
                Digits(p + 4, end, 2, minute)) {
                p += 6;
                if (p < end && *p == ':' && Digits(p + 1, end, 2, second)) p += 3;
                if (p < end && (*p == '.' || *p == ',')) {
                    ++p;
                    while (p < end && IsDigit(*p)) ++p;
                }
            }
        }
    }
    int64_t offset = 0;
    int hours, minutes = 0;
    if (p < end && (*p == '+' || *p == '-') && Digits(p + 1, end, 2, hours)) {
        const char* q = p + 3;
        if (q < end && *q == ':') ++q;
        Digits(q, end, 2, minutes);
        if (hours <= 23 && minutes <= 59) offset = (*p == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    }
    return UtcFromCivil(year, month, day, hour, minute, second) - offset;
}

// KML aabbggrr to the store's 0xRRGGBB; the alpha byte is dropped.
uint32_t StoreColor(uint32_t kml) { return ((kml & 0xFF) << 16) | (kml & 0xFF00) | ((kml >> 16) & 0xFF); }

void AddLatitudes(KmlScan& s, double low, double high) {
    s.latitudes.min = s.anyPoint ? std::min(s.latitudes.min, low) : low;
    s.latitudes.max = s.anyPoint ? std::max(s.latitudes.max, high) : high;
    s.anyPoint = true;
}

bool StorePoint(KmlScan& s, double latitude, double longitude, float altitude, int64_t time) {
    if (!AppendPoint(s.store, latitude, longitude, altitude, 0.0f, time, 1)) {
        s.cut = true;
        return false;
    }
    AddLatitudes(s, latitude, latitude);
    s.time = time + s.step;
    return true;
}

// Closes the open track with the current placemark's name (a default name
// when it has none), width and colour. At a capacity the track's points are
// given up and the scan stops.
bool CloseKmlTrack(KmlScan& s) {
    TrackStore& store = s.store;
    int32_t first = PointsInClosedTracks(store);
    int32_t next = -1;
    if (store.trackCount < store.maxtracks && TrackNameRoom(s.namePosition) >= 0) {
        if (s.name.from) {
            s.name.Decode(s.nameUtf8);
            size_t n = Utf8ToUtf16(s.nameUtf8, s.nameUtf16.data(), static_cast<size_t>(TrackNameRoom(s.namePosition)));
            next = WriteTrackName(store, s.namePosition, std::u16string_view(s.nameUtf16.data(), n));
        } else {
            next = WriteOpenTrackDefaultName(store, s.namePosition);
        }
    }
    if (next < 0 || !CloseTrack(store)) {
        store.pointCount = first;
        s.cut = true;
        return false;
    }
    s.namePosition = next;
    TrackRecord& track = store.tracks[store.trackCount - 1];
    track.lineWidth = s.hasWidth ? static_cast<int32_t>(s.width) : store.tracklinewidthdefault;
    if (s.hasColor) {
        track.color = StoreColor(s.color);
    } else {
        track.color = 0;
        s.paletteTracks.push_back(store.trackCount - 1);
    }
    return true;
}

// The tuples in [p, limit), appended with invented times. False when the
// store is full.
bool ReadTuples(KmlScan& s, const char* p, const char* limit) {
    TrackStore& store = s.store;
    int64_t slots = std::min<int64_t>(store.maxlogpoints, static_cast<int64_t>(store.points.size()));
    TupleRunResult run =
        ReadTupleRun(p, limit, store.points.data() + store.pointCount, slots - store.pointCount, s.time, s.step);
    store.pointCount += static_cast<int32_t>(run.points);
    if (run.points > 0) AddLatitudes(s, run.minLatitude, run.maxLatitude);
    s.time = static_cast<int64_t>(static_cast<uint64_t>(s.time) +
                                  static_cast<uint64_t>(run.points) * static_cast<uint64_t>(int64_t{s.step}));
    if (run.full) s.cut = true;
    return !run.full;
}

// The text of a coordinates element from text on, comments included; resume
// is set behind its end tag (or at the '<' that ended it). False when the
// store is full.
bool ReadCoordinates(KmlScan& s, AngleBracketIndex& brackets, const char* text, const char* end, const char*& resume) {
    const char* p = text;
    for (;;) {
        const char* lt = brackets.NextOpen(p);
        if (!ReadTuples(s, p, lt ? lt : end)) return false;
        if (!lt) {
            p = end;
            break;
        }
        p = lt;
        if (!StartsWith(lt, static_cast<size_t>(end - lt), "<!--")) break;
        const char* close = FindBytes(lt + 4, end, "-->", 3);
        if (!close) {
            p = end;
            break;
        }
        p = close + 3;
    }
    if (StartsWith(p, static_cast<size_t>(end - p), "</coordinates>")) p += 14;
    resume = p;
    return true;
}

// One gx:coord: "longitude latitude [altitude]". Empty or unreadable ones
// add no point but still use up their when.
bool ReadGxCoord(KmlScan& s, const char* p, const char* limit) {
    size_t index = s.coordIndex++;
    const char* next;
    double longitude = ParseNumber<double>(p, limit, &next);
    if (next == p) return true;
    p = next;
    double latitude = ParseNumber<double>(p, limit, &next);
    if (next == p) return true;
    float altitude = ParseNumber<float>(next, limit);
    if (!IsPlaceablePosition(latitude, longitude)) return true;
    if (index >= s.whens.size()) s.waiting.emplace_back(index, s.store.pointCount);
    int64_t time = index < s.whens.size() && s.whens[index] != kNoTime ? s.whens[index] : s.time;
    return StorePoint(s, latitude, longitude, altitude, time);
}

// One when of a gx:Track: the time of the gx:coord of the same rank, which
// may have come before it.
void ReadWhen(KmlScan& s, const char* p, const char* limit) {
    int64_t time = ParseKmlTime(p, limit);
    size_t index = s.whens.size();
    s.whens.push_back(time);
    while (s.waitingNext < s.waiting.size() && s.waiting[s.waitingNext].first < index) ++s.waitingNext;
    if (s.waitingNext < s.waiting.size() && s.waiting[s.waitingNext].first == index) {
        if (time != kNoTime && s.waiting[s.waitingNext].second < s.store.pointCount) {
            s.store.points[s.waiting[s.waitingNext].second].time = time;
            s.time = time + s.step;
        }
        ++s.waitingNext;
    }
}

// Applies the style a styleUrl refers to: the text after its '#', compared
// without regard to case with the ids of completed styles, then with those
// of style maps. A reference that matches nothing leaves the placemark
// without width and colour, so that it gets the defaults.
void ApplyStyleUrl(KmlScan& s, std::string_view reference) {
    size_t hash = reference.find('#');
    if (hash != std::string_view::npos) reference.remove_prefix(hash + 1);
    auto apply = [&s](std::string_view id) {
        bool matched = false;
        for (int i = 0; i < s.styleCount; ++i) {
            const StyleEntry& e = s.styles[static_cast<size_t>(i)];
            if (!EqualsIgnoreCase(e.id, id)) continue;
            matched = true;
            if (e.hasColor) {
                s.color = e.color;
                s.hasColor = true;
            }
            if (e.hasWidth) {
                s.width = static_cast<float>(e.width);
                s.hasWidth = true;
            }
        }
        return matched;
    };
    if (apply(reference)) return;
    for (int i = s.styleMapCount - 1; i >= 0; --i) {
        const StyleMapEntry& m = s.styleMaps[static_cast<size_t>(i)];
        if (!EqualsIgnoreCase(m.id, reference)) continue;
        std::string_view normal = m.normal;
        size_t mark = normal.find('#');
        if (mark != std::string_view::npos) normal.remove_prefix(mark + 1);
        if (apply(normal)) return;
        break;
    }
    s.hasColor = false;
    s.hasWidth = false;
}

// A hexadecimal colour after an optional '#'; false when there is none.
bool ParseColor(const char* p, const char* end, uint32_t& color) {
    while (p < end && IsBlank(*p)) ++p;
    if (p < end && *p == '#') ++p;
    uint32_t value = 0;
    int digits = 0;
    for (; p < end && digits < 8; ++p, ++digits) {
        const int d = HexDigitValue(*p);
        if (d < 0) break;
        value = value * 16 + static_cast<uint32_t>(d);
    }
    if (digits == 0) return false;
    color = value;
    return true;
}

void ReadName(KmlScan& s, const char* text, const char* end, const char*& resume) {
    if (s.nameEndMissing) return;
    if (!FindNameText(text, end, s.name)) {
        s.nameEndMissing = true;
        return;
    }
    resume = s.name.after;
}

// Gives the tracks whose style named no colour the colour the default
// colouring would give them; every other track keeps its own.
void ApplyPaletteColors(KmlScan& s) {
    if (s.paletteTracks.empty()) return;
    TrackStore& store = s.store;
    std::vector<uint32_t> kept(static_cast<size_t>(store.trackCount));
    for (int t = 0; t < store.trackCount; ++t) kept[static_cast<size_t>(t)] = store.tracks[t].color;
    AssignDefaultColors(store);
    size_t k = 0;
    for (int t = 0; t < store.trackCount; ++t) {
        if (k < s.paletteTracks.size() && s.paletteTracks[k] == t) {
            ++k;
            continue;
        }
        store.tracks[t].color = kept[static_cast<size_t>(t)];
    }
}

// The scan's place in the file and the tag being read.
struct TagStep {
    KmlScan& s;
    AngleBracketIndex& brackets;
    const Tag& tag;
    const char* end;
    const char*& resume;  // where the scan goes on; moved past text a step consumed

    // The tag opens (or closes, with a leading '/') the element name: the
    // name is not merely the start of a longer one.
    template <size_t N>
    bool Is(const char (&name)[N]) const {
        return StartsWith(tag.text, tag.length, name) && EndsName(tag.text[N - 1]);
    }
    // The tag is exactly "name>" (simple elements, attributes not expected).
    template <size_t N>
    bool IsPlain(const char (&nameAndBracket)[N]) const {
        return StartsWith(tag.text, tag.length, nameAndBracket);
    }
    bool Opens() const { return !tag.selfClosing; }
    // The text behind the tag: from its '>' to the next '<' (or the end).
    const char* Text() const { return tag.close + 1; }
    const char* TextEnd() const {
        const char* close = brackets.NextOpen(Text());
        return close ? close : end;
    }
    // Moves the scan past endTag when it stands at textEnd.
    template <size_t N>
    void SkipEndTag(const char* textEnd, const char (&endTag)[N]) const {
        if (StartsWith(textEnd, static_cast<size_t>(end - textEnd), endTag)) resume = textEnd + (N - 1);
    }
};

// Comments and CDATA sections may hold anything, tags included: the scan
// goes on behind them. False when one never ends.
bool SkipCommentOrCdata(const TagStep& t) {
    const char* tag = t.tag.text;
    const size_t available = static_cast<size_t>(t.end - tag);
    const char* close;
    if (StartsWith(tag, available, "!--")) {
        close = FindBytes(tag + 3, t.end, "-->", 3);
    } else if (StartsWith(tag, available, "![CDATA[")) {
        close = FindBytes(tag + 8, t.end, "]]>", 3);
    } else {
        return true;
    }
    if (!close) return false;
    t.resume = close + 3;
    return true;
}

// Style and StyleMap: only those with an id are kept, up to kMaxStyles each.
void OpenStyleElement(const TagStep& t) {
    KmlScan& s = t.s;
    if (t.Is("StyleMap")) {
        s.openStyleMap = -1;
        std::string_view id = IdAttribute(t.tag.text, t.tag.close);
        if (t.Opens() && !id.empty() && s.styleMapCount < kMaxStyles) {
            if (s.styleMaps.empty()) s.styleMaps.resize(kMaxStyles);
            s.styleMaps[static_cast<size_t>(s.styleMapCount)] = StyleMapEntry{id, {}};
            s.openStyleMap = s.styleMapCount;
        }
    } else if (t.Is("Style")) {
        s.openStyle = -1;
        std::string_view id = IdAttribute(t.tag.text, t.tag.close);
        if (t.Opens() && !id.empty() && s.styleCount < kMaxStyles) {
            if (s.styles.empty()) s.styles.resize(kMaxStyles);
            s.styles[static_cast<size_t>(s.styleCount)] = StyleEntry{id};
            s.openStyle = s.styleCount;
        }
    }
}

// Placemark starts a placemark without a name; Pair a StyleMap pair that is
// not the normal one until its key says so.
void OpenPlacemarkOrPair(const TagStep& t) {
    if (t.Is("Placemark") && t.Opens()) {
        t.s.inPlacemark = true;
        t.s.name = NameText{};
    } else if (t.Is("Pair")) {
        t.s.pairIsNormal = false;
    }
}

void ReadPairKey(const TagStep& t) {
    if (t.IsPlain("key>") && t.s.openStyleMap >= 0) t.s.pairIsNormal = Trimmed(t.Text(), t.TextEnd()) == "normal";
}

// A styleUrl in a StyleMap pair gives the map's normal style (the first
// pair's until a "normal" key comes); in a placemark it applies the style.
void ReadStyleUrl(const TagStep& t) {
    KmlScan& s = t.s;
    if (!t.IsPlain("styleUrl>") || !(s.inPlacemark || s.openStyleMap >= 0)) return;
    const char* close = t.TextEnd();
    std::string_view reference = Trimmed(t.Text(), close);
    if (s.openStyleMap >= 0) {
        StyleMapEntry& m = s.styleMaps[static_cast<size_t>(s.openStyleMap)];
        if (m.normal.empty() || s.pairIsNormal) m.normal = reference;
    } else {
        ApplyStyleUrl(s, reference);
    }
    t.SkipEndTag(close, "</styleUrl>");
}

void OpenLineElement(const TagStep& t) {
    if (t.Is("LineString") && t.Opens()) {
        t.s.inLineString = true;
    } else if (t.Is("LineStyle") && t.Opens()) {
        t.s.inLineStyle = true;
    }
}

void ReadPlacemarkName(const TagStep& t) {
    if (t.IsPlain("name>") && t.s.inPlacemark) ReadName(t.s, t.Text(), t.end, t.resume);
}

// The colour of a LineStyle, for the open Style and the open placemark.
void ReadLineColor(const TagStep& t) {
    KmlScan& s = t.s;
    uint32_t color;
    if (!ParseColor(t.Text(), t.end, color)) return;
    if (s.openStyle >= 0) {
        StyleEntry& e = s.styles[static_cast<size_t>(s.openStyle)];
        e.color = color;
        e.hasColor = true;
    }
    if (s.inPlacemark) {
        s.color = color;
        s.hasColor = true;
    }
}

// coordinates of a LineString or a LineStyle's color. False when the store
// is full.
bool ReadCoordinatesOrColor(const TagStep& t) {
    if (t.Is("coordinates") && t.s.inLineString && t.Opens()) {
        return ReadCoordinates(t.s, t.brackets, t.Text(), t.end, t.resume);
    }
    if (t.IsPlain("color>") && t.s.inLineStyle) ReadLineColor(t);
    return true;
}

// The width of a LineStyle, for the open Style and the open placemark.
void ReadLineWidth(const TagStep& t) {
    KmlScan& s = t.s;
    const char* next;
    float width = ParseNumber<float>(t.Text(), t.end, &next);
    // Less than one pixel would not be drawn: such a width counts as none.
    if (next == t.Text() || !(width >= 1.0f && width <= 1000.0f)) return;
    if (s.openStyle >= 0) {
        StyleEntry& e = s.styles[static_cast<size_t>(s.openStyle)];
        e.width = static_cast<int32_t>(width);
        e.hasWidth = true;
    }
    if (s.inPlacemark) {
        s.width = width;
        s.hasWidth = true;
    }
}

// A LineStyle's width or a gx:Track's when.
void ReadWidthOrWhen(const TagStep& t) {
    if (t.IsPlain("width>") && t.s.inLineStyle) {
        ReadLineWidth(t);
    } else if (t.IsPlain("when>") && t.s.inGxTrack) {
        const char* close = t.TextEnd();
        ReadWhen(t.s, t.Text(), close);
        t.SkipEndTag(close, "</when>");
    }
}

// gx:coord of the open gx:Track, or the start of a gx:Track. False when the
// store is full.
bool ReadGxElement(const TagStep& t) {
    KmlScan& s = t.s;
    if (t.Is("gx:coord") && s.inGxTrack) {
        if (!t.Opens()) {
            ++s.coordIndex;
            return true;
        }
        const char* close = t.TextEnd();
        if (!ReadGxCoord(s, t.Text(), close)) return false;
        t.SkipEndTag(close, "</gx:coord>");
    } else if (t.Is("gx:Track") && t.Opens()) {
        s.inGxTrack = true;
        s.whens.clear();
        s.coordIndex = 0;
        s.waiting.clear();
        s.waitingNext = 0;
    }
    return true;
}

// End tags: a LineString or a gx:Track closes a track; the others end what
// they opened. False when the store is full.
bool CloseElement(const TagStep& t) {
    KmlScan& s = t.s;
    if (t.IsPlain("/LineString>")) {
        if (s.inLineString && !CloseKmlTrack(s)) return false;
        s.inLineString = false;
    } else if (t.IsPlain("/gx:Track>")) {
        // A gx:Track without points is no track: location-history exports
        // hold many.
        if (s.inGxTrack && s.store.pointCount > PointsInClosedTracks(s.store) && !CloseKmlTrack(s)) return false;
        s.inGxTrack = false;
    } else if (t.IsPlain("/Placemark>")) {
        s.inPlacemark = false;
    } else if (t.IsPlain("/LineStyle>")) {
        s.inLineStyle = false;
    } else if (t.IsPlain("/Style>")) {
        if (s.openStyle >= 0) s.styleCount = s.openStyle + 1;
        s.openStyle = -1;
    } else if (t.IsPlain("/StyleMap>")) {
        if (s.openStyleMap >= 0) s.styleMapCount = s.openStyleMap + 1;
        s.openStyleMap = -1;
    }
    return true;
}

// One tag, by its first byte (the elements KML tracks need start with few
// letters). False when the scan must stop: the store is full or a comment
// never ends.
bool ReadTag(const TagStep& t) {
    switch (t.tag.text[0]) {
        case '!':
            return SkipCommentOrCdata(t);
        case 'S':
            OpenStyleElement(t);
            return true;
        case 'P':
            OpenPlacemarkOrPair(t);
            return true;
        case 'k':
            ReadPairKey(t);
            return true;
        case 's':
            ReadStyleUrl(t);
            return true;
        case 'L':
            OpenLineElement(t);
            return true;
        case 'n':
            ReadPlacemarkName(t);
            return true;
        case 'c':
            return ReadCoordinatesOrColor(t);
        case 'w':
            ReadWidthOrWhen(t);
            return true;
        case 'g':
            return ReadGxElement(t);
        case '/':
            return CloseElement(t);
        default:
            return true;
    }
}

// Points left outside every track (a file that ends inside a line string, or
// a scan stopped at the point capacity) are closed into one last track; the
// tracks without a colour of their own get the default ones.
void FinishKmlScan(KmlScan& s) {
    TrackStore& store = s.store;
    if (store.pointCount > PointsInClosedTracks(store)) CloseKmlTrack(s);
    ApplyPaletteColors(s);
    store.trackNames[s.namePosition] = kNamesEndMarker;
}

}  // namespace

int ReadKmlBuffer(TrackStore& store, const char* data, size_t size, int32_t namePosition, int64_t timeStart,
                  int32_t timeStep, LatitudeRange* latitudes) {
    if (namePosition < 0 || namePosition >= kTrackNamesCapacity) namePosition = NamesEndPosition(store);
    int64_t start = store.pointCount > 0 ? store.points[store.pointCount - 1].time + timeStep : timeStart;
    KmlScan s(store, namePosition, start, timeStep);
    const char* p = data;
    AngleBracketIndex brackets(data, size);
    Tag found;
    const TagStep step{s, brackets, found, data + size, p};
    while (NextTag(brackets, p, found)) {
        if (!ReadTag(step)) break;
    }
    FinishKmlScan(s);
    if (latitudes && s.anyPoint) *latitudes = s.latitudes;
    return s.cut ? kReaderCut : kReaderDone;
}

int ReadKml(TrackStore& store, const std::filesystem::path& path, int32_t namePosition, int64_t timeStart,
            int32_t timeStep, LatitudeRange* latitudes) {
    FileBytes file;
    if (file.Open(path) != 0) return kReaderCannotOpen;
    return ReadKmlBuffer(store, file.data(), file.size(), namePosition, timeStart, timeStep, latitudes);
}

}  // namespace trakvio
