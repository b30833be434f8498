// Text metrics without a window: the ascent, descent and text widths of a
// named face at a pixel height, measured with FreeType on the font file that
// fontconfig picks for the name. Names of faces that are not installed fall
// back through fontconfig (Arial to a metric-compatible face; Japanese face
// names such as Meiryo UI to a Japanese face), and characters the picked
// face lacks are measured in a face that has them. Heights follow the
// platform's font rule: a positive height is the cell height (ascent plus
// descent), a negative one the em height. With no usable font at all a fixed
// estimate stands in, so measuring never fails.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace trakvio {

struct FontMetrics {
    int32_t ascent = 0;
    int32_t descent = 0;
};

class TextMeasure {
  public:
    TextMeasure();
    ~TextMeasure();
    TextMeasure(const TextMeasure&) = delete;
    TextMeasure& operator=(const TextMeasure&) = delete;

    // Selects the font later calls measure with. Returns 0, or 1 when no
    // font file could be opened for it (the estimate then stands in).
    int SelectFont(std::u16string_view face, int32_t height, bool italic);
    FontMetrics Metrics() const;
    // Width in pixels of UTF-8 text: the sum of the hinted advances.
    int32_t TextWidth(std::string_view utf8);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace trakvio
