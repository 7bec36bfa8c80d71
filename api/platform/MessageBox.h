// Stands for a message box of the library: one line on standard error with
// the caption and the text, and a log message.
#pragma once

namespace vkvx {
void messageBox(const char* caption, const char* text);
}
