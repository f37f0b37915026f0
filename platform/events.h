// Event pumping and the quit request of the program's event loop.
#pragma once

namespace plenova::platform {

// Lets pending events run once (QCoreApplication::processEvents). Does nothing when no Qt
// application object exists.
void DoEvents();

// Posts a quit request to the program's event loop (the classic PostMessage WM_QUIT): the loop
// ends when control returns to it. Does nothing when no Qt application object exists.
void PostQuit(int exitCode = 0);

}  // namespace plenova::platform
