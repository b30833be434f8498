#include "script/script_text.h"

namespace trakvio {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One line outside blocks: the command word up to the first blank, then the
// arguments separated by commas, each without the blanks around it. Double
// quotes group text with commas, blanks or '#' and are removed; a '#'
// outside quotes ends the line. Returns false when a quote is left open (the
// quoted text then runs to the end of the line).
bool SplitLine(std::string_view line, std::vector<std::string>& words) {
    const size_t n = line.size();
    size_t i = 0;
    while (i < n && IsBlank(line[i])) ++i;
    size_t start = i;
    while (i < n && !IsBlank(line[i]) && line[i] != '#') ++i;
    if (i == start) return true;
    words.emplace_back(line.substr(start, i - start));

    bool paired = true;
    while (i < n && IsBlank(line[i])) ++i;
    if (i == n || line[i] == '#') return true;
    for (;;) {
        while (i < n && IsBlank(line[i])) ++i;
        std::string argument;
        size_t kept = 0;  // quoted text is never trimmed
        char separator = 0;
        for (; i < n; ++i) {
            const char c = line[i];
            if (c == ',' || c == '#') {
                separator = c;
                ++i;
                break;
            }
            if (c == '"') {
                size_t close = line.find('"', i + 1);
                if (close == std::string_view::npos) {
                    paired = false;
                    close = n;
                }
                argument.append(line.substr(i + 1, close - i - 1));
                kept = argument.size();
                i = close;
                continue;
            }
            argument.push_back(c);
        }
        size_t end = argument.size();
        while (end > kept && IsBlank(argument[end - 1])) --end;
        argument.resize(end);
        words.push_back(std::move(argument));
        if (separator != ',') return paired;
    }
}

std::string LineLabel(int number) { return "line " + std::to_string(number); }

}  // namespace

std::vector<ScriptLine> ParseScript(std::string_view text, std::vector<std::string>& problems) {
    std::vector<ScriptLine> lines;
    ScriptLine* owner = nullptr;  // the command line whose block is open
    int number = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        size_t next = eol == std::string_view::npos ? text.size() : eol + 1;
        std::string_view line = text.substr(pos, (eol == std::string_view::npos ? text.size() : eol) - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = next;
        ++number;

        if (owner != nullptr) {
            // Block lines are kept verbatim; the line ending in '}' closes
            // the block, and the command reads up to a line beginning with
            // '}', so a closing line with text before its brace is its last.
            const bool closes = !line.empty() && line.back() == '}';
            if (!(closes && line.front() == '}')) owner->block.emplace_back(line);
            if (closes) owner = nullptr;
            continue;
        }
        ScriptLine parsed;
        parsed.lineNumber = number;
        if (!SplitLine(line, parsed.words)) {
            problems.push_back(LineLabel(number) + ": a double quote is not closed; the quoted text runs to the end of the line");
        }
        if (parsed.words.empty()) continue;
        // A line whose last character is '{' opens a block (a brace in a
        // comment does not count).
        parsed.hasBlock = !line.empty() && line.back() == '{' && !parsed.words.back().empty() &&
                          parsed.words.back().back() == '{';
        lines.push_back(std::move(parsed));
        if (lines.back().hasBlock) owner = &lines.back();
    }
    if (owner != nullptr) {
        problems.push_back(LineLabel(owner->lineNumber) +
                           ": the block is not closed by a line \"}\"; it runs to the end of the script");
    }
    return lines;
}

}  // namespace trakvio
