// The support library's shell links: the format code lives in the platform layer, which the
// desktop menu shares; the library keeps its own names for it.
#pragma once

#include "platform/shell_link.h"

namespace plenova::tavorin {

using platform::BuildShellLink;
using platform::ShellLinkTarget;
using platform::ShortName;
using platform::WriteShellLinkFile;

}  // namespace plenova::tavorin
