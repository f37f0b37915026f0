// The saver's own names: the title of its message boxes, its settings application name and the
// captions by which start-up recognises a running copy.
#pragma once

namespace plenova::dialogs {

inline constexpr const char* kProgramTitle = "PlenovaSaver";
inline constexpr const char* kAppName = "PlenovaSaver";
inline constexpr const char* kSaverCaption = "PlenovaSaver";
inline constexpr const char* kSettingCaption = "Plenova Saver Setting";

}  // namespace plenova::dialogs
