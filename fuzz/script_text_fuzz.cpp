// Splits arbitrary text into script command lines: every line must have a
// command word without blanks, line numbers must rise and stay within the
// text, and nothing of a line may be longer than the text itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "script/script_text.h"

using namespace trakvio;

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> problems;
    const std::vector<ScriptLine> lines = ParseScript(text, problems);
    size_t lineFeeds = 0;
    for (char c : text) lineFeeds += c == '\n' ? 1 : 0;
    int last = 0;
    for (const ScriptLine& line : lines) {
        Check(!line.words.empty() && !line.words[0].empty());
        Check(line.words[0].find_first_of(" \t") == std::string::npos);
        Check(line.lineNumber > last && static_cast<size_t>(line.lineNumber) <= lineFeeds + 1);
        last = line.lineNumber;
        for (const std::string& word : line.words) Check(word.size() <= size);
        for (const std::string& blockLine : line.block) Check(blockLine.size() <= size);
        Check(line.hasBlock || line.block.empty());
    }
    return 0;
}
