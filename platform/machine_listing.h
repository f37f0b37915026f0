// Listing a folder of the emulated machine (platform/machine.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plenova::platform {

class Machine;

// The Windows paths of the plain files in the machine folder `folder` whose names end with
// `extension` (".scr"; letter case ignored), in name order without regard to letter case. Empty
// when the folder does not exist. Links that lead out of the folder are left out, as a file
// that a setup medium planted there may not make the machine run a host program.
std::vector<std::string> FilesWithExtension(const Machine& machine, std::string_view folder,
                                            std::string_view extension);

}  // namespace plenova::platform
