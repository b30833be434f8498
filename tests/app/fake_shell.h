// A Shell that records what child windows ask of the main window, for tests
// that build one child window on its own.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/shell.h"

namespace trakvio {

class FakeShell : public Shell {
public:
    std::string status[kStatusPartCount];
    std::vector<int> pointInfo;  // every ShowPointInfo index
    int refreshAfterLoad = 0, refreshAfterEdit = 0, refreshTrackList = 0, redrawMap = 0, redrawGraph = 0;
    int mapHover = -1, graphHover = -1;
    std::vector<std::string> pickPrompts;
    // Answers PickTracks; by default Cancel.
    std::function<int(std::string_view)> pickAnswer = [](std::string_view) { return -1; };

    void SetStatusPart(int part, std::string_view text) override {
        if (part >= 0 && part < kStatusPartCount) status[part] = std::string(text);
    }
    void ShowPointInfo(int index) override { pointInfo.push_back(index); }
    void RefreshAfterLoad() override { ++refreshAfterLoad; }
    void RefreshAfterEdit() override { ++refreshAfterEdit; }
    void RefreshTrackList() override { ++refreshTrackList; }
    void RedrawMap() override { ++redrawMap; }
    void RedrawGraph() override { ++redrawGraph; }
    void SetMapHoverPoint(int index) override { mapHover = index; }
    void SetGraphHoverPoint(int index) override { graphHover = index; }
    int PickTracks(std::string_view prompt) override {
        pickPrompts.emplace_back(prompt);
        return pickAnswer(prompt);
    }
};

}  // namespace trakvio
