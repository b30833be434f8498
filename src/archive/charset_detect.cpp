#include "archive/charset_detect.h"

#include <iconv.h>

#include <cerrno>

#include "platform/utf.h"

namespace trakvio {

namespace {

// One byte machine: its state (-1 once dead) and its score.
struct Machine {
    int state = 0;
    double score = 1.0;
    bool Alive() const { return state >= 0; }
};

void StepEucJp(Machine& m, unsigned char b) {
    switch (m.state) {
        case 0:
            if (b <= 0x7F) return;
            if (b == 0x8E) {
                m.state = 1;
                m.score *= 0.8;
            } else if (b == 0x8F) {
                m.state = 3;
                m.score *= 0.95;
            } else if (b >= 0xA1 && b <= 0xFE) {
                m.state = 2;
            } else {
                m.state = -1;
            }
            return;
        case 1:
            m.state = b >= 0xA1 && b <= 0xDF ? 0 : -1;
            return;
        default:  // 2 and 3: the second byte of a pair
            m.state = b >= 0xA1 && b <= 0xFE ? 0 : -1;
            return;
    }
}

void StepShiftJis(Machine& m, unsigned char b) {
    if (m.state == 1) {
        m.state = (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC) ? 0 : -1;
        return;
    }
    if (b <= 0x7F) return;
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE1 && b <= 0xEF)) {
        m.state = 1;
    } else if (b >= 0xA1 && b <= 0xDF) {
        m.score *= 0.8;  // half-width katakana
    } else if (b >= 0xF0 && b <= 0xFC) {
        m.state = 1;
        m.score *= 0.95;  // user-defined area
    } else if (b >= 0xFD) {
        m.score *= 0.8;
    } else {
        m.state = -1;  // 0x80, 0xA0, 0xE0
    }
}

void StepUtf8(Machine& m, unsigned char b) {
    if (m.state > 0) {
        m.state = b >= 0x80 && b <= 0xBF ? m.state - 1 : -1;
        return;
    }
    if (b <= 0x7F) return;
    if (b >= 0xC2 && b <= 0xDF) {
        m.state = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
        m.state = 2;
    } else if (b >= 0xF0 && b <= 0xF7) {
        m.state = 3;
    } else if (b >= 0xF8 && b <= 0xFB) {
        m.state = 4;
    } else if (b == 0xFC || b == 0xFD) {
        m.state = 5;
    } else {
        m.state = -1;
    }
}

bool IsPlain(std::string_view raw) {
    for (char c : raw) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b > 0x7E) return false;
    }
    return true;
}

// CP932 bytes as UTF-8; undecodable bytes become U+FFFD one at a time.
std::string DecodeCp932(std::string_view raw) {
    std::string out;
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return Utf16ToUtf8(Utf8ToUtf16(raw));
    std::string input(raw);
    char* in = input.data();
    size_t inLeft = input.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (result != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (a lead byte at the end): skip one byte.
        out += "\xEF\xBF\xBD";
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

}  // namespace

int DetectCharset(std::string_view raw) {
    if (IsPlain(raw)) return kCharsetAscii;
    const auto* bytes = reinterpret_cast<const unsigned char*>(raw.data());
    const size_t n = raw.size();
    if (n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return kCharsetUtf16Le;
    if (n >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return kCharsetUtf16Be;
    Machine euc, sjis, utf8;
    for (size_t i = 0; i < n; ++i) {
        if (bytes[i] == 0x1B && i + 1 < n && (bytes[i + 1] == '$' || bytes[i + 1] == '(')) return kCharsetIso2022Jp;
        const int alive = euc.Alive() + sjis.Alive() + utf8.Alive();
        if (alive == 0) return kCharsetUnknown;
        if (alive == 1) return utf8.Alive() ? kCharsetUtf8 : sjis.Alive() ? kCharsetShiftJis : kCharsetEucJp;
        if (euc.Alive()) StepEucJp(euc, bytes[i]);
        if (sjis.Alive()) StepShiftJis(sjis, bytes[i]);
        if (utf8.Alive()) StepUtf8(utf8, bytes[i]);
    }
    // The best score among the survivors; ties go to UTF-8, then Shift-JIS.
    int best = kCharsetUnknown;
    double bestScore = -1;
    const struct {
        const Machine& machine;
        int charset;
    } order[] = {{utf8, kCharsetUtf8}, {sjis, kCharsetShiftJis}, {euc, kCharsetEucJp}};
    for (const auto& candidate : order) {
        if (candidate.machine.Alive() && candidate.machine.score > bestScore) {
            best = candidate.charset;
            bestScore = candidate.machine.score;
        }
    }
    return best;
}

std::string DecodeEntryName(std::string_view raw) {
    if (IsPlain(raw)) return std::string(raw);
    if (DetectCharset(raw) == kCharsetUtf8) return Utf16ToUtf8(Utf8ToUtf16(raw));
    return DecodeCp932(raw);
}

}  // namespace trakvio
