// Results of the graph outputs (SVG and EMF files), from the writers up to
// the saves that the windows, the scripts and the command-line program call.
#pragma once

namespace trakvio {

enum GraphOutputResult : int {
    kGraphWritten = 0,
    kGraphNothingToDraw = 1,  // fewer than two enabled points: SVG left empty, EMF an empty picture
    kGraphCannotCreate = 2,   // the file could not be created
    kGraphWriteFailed = 3,    // writing failed part way
};

// Whether the result is a file that was not (fully) written.
inline bool GraphOutputFailed(GraphOutputResult result) {
    return result == kGraphCannotCreate || result == kGraphWriteFailed;
}

}  // namespace trakvio
