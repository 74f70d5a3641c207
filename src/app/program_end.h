#pragma once
// What every front end (the window, the command-line tool) does as it ends.

#include <functional>

namespace app {

// The window program's whole run: the code page fixed before any text is
// converted, `runWindow`, then FinishProgram. The window's guard shows every error
// the program knows; anything else that escapes is reported here as a last
// resort, and the program still ends normally. Returns the process's exit code.
int RunWindowProgram(const std::function<void()>& runWindow);

// Tells a console which reader library file did not load and why (the window's box
// only says that one is missing). Ends the process at once when a card monitor could
// not be ended: returning would unload the reader library and the runtime under a
// thread that may still be inside them.
// `program` names the program in those lines.
void FinishProgram(const char* program);

}  // namespace app
