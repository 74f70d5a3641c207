#pragma once
// What both front ends do once their window has closed.

namespace app {

// Tells a console which reader library file did not load and why (the window's box
// only says that one is missing). Ends the process at once when a card monitor could
// not be ended: returning would unload the reader library and the runtime under a
// thread that may still be inside them.
void FinishProgram();

}  // namespace app
