#pragma once

// The clipboard of the graphical session as a program reaches it when it
// holds no clipboard of its own, or is about to end: the text goes to the
// session's clipboard tool (wl-copy under Wayland, xclip under X11), which
// keeps serving it after this program has gone. A free function; it owns
// nothing beyond the call and never passes the text through a shell.

#include <string>
#include <string_view>

namespace vellrun::platform {

// Hands text to the session's clipboard tool and waits for the tool to take
// it. Empty when the tool took the text; else why the text is not on the
// clipboard (no graphical session, no tool, the tool failed).
std::string PutOnSessionClipboard(std::string_view text);

}  // namespace vellrun::platform
