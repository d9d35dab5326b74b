// What Win32 reports about a file (attributes, size, times), taken from Linux's statx; shared
// by the attribute calls and the find-first/next listing.
#pragma once

#include <windows.h>

#include <cstdint>

namespace umbra::kernel {

struct FileInfo {
  DWORD attributes = 0;
  FILETIME creationTime = {};
  FILETIME lastAccessTime = {};
  FILETIME lastWriteTime = {};
  uint64_t size = 0;  // 0 for folders, as Windows reports them
};

// Describes 'path' (relative to the folder 'dirFd', or AT_FDCWD); 'statxFlags' as for statx
// (AT_SYMLINK_NOFOLLOW describes a link itself). False with errno set on failure.
bool QueryFileInfo(int dirFd, const char* path, int statxFlags, FileInfo& info);

}  // namespace umbra::kernel
