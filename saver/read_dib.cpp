#include "saver/read_dib.h"

#include "forms/form_support.h"
#include "engine/cwingbitmap.h"
#include "platform/message_box.h"
#include "dialogs/saver_names.h"

namespace plenova::saver {
namespace {

// Whether a refusal of this kind is shown to the user. Every kind is listed, so that a new one
// is decided here rather than falling into either group unnoticed.
bool ShowsMessage(engine::DibError code) {
    using engine::DibError;
    switch (code) {
        case DibError::OpenFailed:
        case DibError::ShortInfoHeader:
        case DibError::BadFileType:
        case DibError::BadInfoHeader:
        case DibError::TopDown:
        case DibError::BadWidth:
        case DibError::TooManyColors:
        case DibError::ShortColorTable:
        case DibError::ShortPixels: return true;
        case DibError::ShortFileHeader:
        case DibError::NotEightBits:
        case DibError::NoSurface: return false;
    }
    return true;
}

bool Reported(const engine::DibReadResult& result) {
    if (result) return true;
    if (ShowsMessage(result.error().code)) {
        platform::ShowMessage(result.error().message, dialogs::kProgramTitle,
                              platform::MsgButtons::Ok, platform::MsgIcon::None);
    }
    return false;
}

}  // namespace

bool ReadDIB(engine::CDib& dib, const std::string& filename) {
    return Reported(dib.ReadBmp(filename));
}

bool ReadDIB(engine::CWinGBitmap& bitmap, const std::shared_ptr<engine::CWinGDC>& wingDC,
             const std::string& filename) {
    return Reported(bitmap.ReadBmp(wingDC, filename));
}

}  // namespace plenova::saver
