#pragma once
// What every front end (the window, the command-line tool) does as it ends.

namespace app {

// Tells a console which reader library file did not load and why (the window's box
// only says that one is missing). Ends the process at once when a card monitor could
// not be ended: returning would unload the reader library and the runtime under a
// thread that may still be inside them.
// `program` names the program in those lines.
void FinishProgram(const char* program);

}  // namespace app
