// Windows paths to Linux paths: '\' and '/' both separate, and a path that does not exist as
// written is looked up again component by component without regard to case.
#pragma once

#include <windows.h>

#include <string>

namespace umbra::kernel {

// The Linux form of a Windows path as written ('\' turned into '/', UTF-8).
std::string ToNativePath(LPCWSTR path);

// The Linux path of an existing file or folder, found case-insensitively when the exact
// path does not exist; for a path that does not exist, the exact form with as many leading
// components as could be matched replaced by their on-disk spelling (so a new file is
// created in the folder that already exists under another case).
std::string ResolvePath(LPCWSTR path);

// Sets the Win32 last error for an errno value from a file operation on 'nativePath'.
void SetLastErrorFromErrno(int err, const std::string& nativePath);

}  // namespace umbra::kernel
