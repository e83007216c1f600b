#pragma once

// Plain records of a window's remembered state, as SettingsStore keeps them
// in the INI file: its bounds, the sizes of the panes beside its splitters and
// its font. The front end copies them to and from its widgets; these records
// know nothing of widgets.

#include <string>

namespace vellrun::settings {

// Position and size in pixels; stored under the control name followed by
// ".Top", ".Left", ".Width", ".Height". A stored 0 is never applied.
struct WindowBounds {
    int top = 0;
    int left = 0;
    int width = 0;
    int height = 0;

    bool operator==(const WindowBounds&) const = default;
};

// One pane beside a splitter: its width is stored under name + ".Width" when
// the splitter stands upright (panes left and right of it), else its height
// under name + ".Height".
struct PaneSize {
    std::string name;
    bool horizontalSplitter = false;  // panes above and below: the height counts
    int size = 0;

    bool operator==(const PaneSize&) const = default;
};

// A font as stored: "Name" (text), "CharSet", "Color", "Size" (points) and
// "Style" (the bits below).
struct FontRecord {
    static constexpr int kBold = 1;
    static constexpr int kItalic = 2;
    static constexpr int kUnderline = 4;
    static constexpr int kStrikeOut = 8;

    std::string name;
    int charSet = 1;  // the default character set
    int color = 0;
    int size = 8;
    int style = 0;

    bool operator==(const FontRecord&) const = default;
};

}  // namespace vellrun::settings
