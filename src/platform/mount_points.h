#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorvex {

// The mount point fields of /proc/self/mountinfo text (the fifth field) or
// of fstab text (the second field, absolute ones only), octal escapes such
// as "\040" decoded. Pure; lines that do not parse are skipped.
std::vector<std::string> ParseMountinfoPoints(std::string_view text);
std::vector<std::string> ParseFstabPoints(std::string_view text);

// True when the files of folder may be on a disk that is not there now, so
// that a file missing from it is no proof of its loss: the folder is gone,
// or it is, or lies below, a mount point of /etc/fstab that is not mounted,
// or it is an empty folder that is no mount point now (where a disk
// mounted by hand or by the desktop would appear). False when the folder's
// disk is mounted, or the folder holds files of the disk it lies on.
bool DiskMayBeAbsent(const std::string& folder);

}  // namespace zorvex
