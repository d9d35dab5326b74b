#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Umbra {

// Results of CZipSource's FindEntry and ExtractToMemory. Callers treat kZipOk and
// kZipMoreData alike as success.
enum : DWORD {
  kZipOk = 0,
  kZipNotFound = 0x500,
  kZipMoreData = 0x600,  // the buffer is full: what a buffer of the entry's exact size gives
  kZipCorrupt = 0x800,   // the data ends early, does not inflate, or fails its CRC check
  kZipReadError = 0x1000,
  kZipBadArguments = 0x10000,
};

// What a lookup tells of an entry.
struct ZipEntryInfo {
  int index;               // position in the central directory, from 0; -1 when not found
  WCHAR name[MAX_PATH];    // the stored name, read in the ANSI code page
  DWORD uncompressedSize;  // bytes
};

// An open ZIP archive read from a file or from a memory block. It remembers the entry found
// last, so extracting that entry needs no second search. One current entry: lookups and
// extractions must not interleave between users.
class CZipSource {
 public:
  ~CZipSource();
  CZipSource(const CZipSource&) = delete;
  CZipSource& operator=(const CZipSource&) = delete;

  // Null when the file cannot be opened or holds no ZIP archive.
  static std::unique_ptr<CZipSource> OpenFromFile(LPCWSTR path);
  // The block is read in place: it must stay valid and unchanged while the archive is open.
  static std::unique_ptr<CZipSource> OpenFromMemory(const void* data, DWORD size);

  // Looks the name up in the central directory ('\' matches '/'; with ignoreCase only ASCII
  // letters fold). kZipOk makes the entry current; otherwise info.index is -1 and the current
  // entry is unchanged.
  DWORD FindEntry(LPCWSTR name, bool ignoreCase, ZipEntryInfo& info);

  // Fills the buffer with the entry's data: kZipOk when the whole entry fit, kZipMoreData when
  // the buffer was filled; an entry that turns out shorter than its declared size or fails
  // its CRC check is kZipCorrupt, never a partly filled buffer reported as complete.
  DWORD ExtractToMemory(int index, void* buffer, DWORD size);

  void Close();

  // The bytes minizip reads through; defined with the archive code.
  struct Source;

 private:
  // One central-directory entry, read once so that lookups need no walk over the directory.
  struct Entry {
    std::string name;  // stored bytes; empty for names too long to look up
    unsigned long long size;
    unsigned long long directoryOffset;  // minizip's position of the entry
    unsigned long long directoryIndex;
  };

  explicit CZipSource(std::unique_ptr<Source> source);
  bool Open();
  void BuildIndex();
  int FindIndex(const std::string& wanted, bool ignoreCase) const;
  bool MoveTo(int index);

  std::unique_ptr<Source> m_source;
  void* m_archive = nullptr;  // minizip's unzFile
  int m_currentIndex = -1;    // the entry minizip is positioned on, -1 unknown
  bool m_indexed = false;
  std::vector<Entry> m_entries;
  std::unordered_map<std::string, int> m_firstByFoldedName;  // ASCII upper-cased name -> entry
};

}  // namespace Umbra
