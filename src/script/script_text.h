// The text of a batch script (.q9s) turned into command lines: comments
// removed, each line split into its command word and comma-separated
// arguments (quotes group, blanks around arguments go), and blocks — the
// lines between a line ending in '{' and the line ending in '}' — kept
// verbatim for the command that owns them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trakvio {

struct ScriptLine {
    int lineNumber = 0;               // 1-based, in the script file
    std::vector<std::string> words;   // command word first, then the arguments
    bool hasBlock = false;            // the line ended in '{'
    std::vector<std::string> block;   // the block's lines up to its closing line
};

// Splits the script text into command lines. problems gets one text per
// thing that could not be read as written (an unpaired quote, a block that is
// never closed); what can be read is still returned.
std::vector<ScriptLine> ParseScript(std::string_view text, std::vector<std::string>& problems);

}  // namespace trakvio
