// ReadDIB: the saver's way of reading its pictures. The engine reads a BMP file and reports why
// it refused one as a value; these functions read through it and, where the saver tells the
// user about a refused file, show the reader's message in a message box with one OK button, no
// icon and the caption "PlenovaSaver". Every reader message is shown except for a file shorter
// than its 14-byte header, which is refused silently. A picture that reads but does not fit a
// surface (not 8 bits per pixel, or no surface to be had) shows nothing either: the caller
// decides what that means for its scene.
#pragma once

#include <memory>
#include <string>

#include "engine/cdib.h"

namespace plenova::engine {
class CWinGBitmap;
class CWinGDC;
}  // namespace plenova::engine

namespace plenova::saver {

// True when the picture was read whole; false after the message (if any) was dismissed.
bool ReadDIB(engine::CDib& dib, const std::string& filename);
bool ReadDIB(engine::CWinGBitmap& bitmap, const std::shared_ptr<engine::CWinGDC>& wingDC,
             const std::string& filename);

}  // namespace plenova::saver
