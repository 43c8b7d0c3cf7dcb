// The kernel's lockdown mode: in "integrity" or "confidentiality" mode no
// program may write I/O ports, whatever its privileges.
#pragma once

#include <string>

/// The mode marked in brackets in the lockdown file at `path` (normally
/// /sys/kernel/security/lockdown): "none", "integrity" or "confidentiality";
/// empty when the file cannot be read.
std::string KernelLockdownMode(const std::string& path);

/// Whether `mode` forbids writing I/O ports.
bool LockdownForbidsPortWrites(const std::string& mode);
