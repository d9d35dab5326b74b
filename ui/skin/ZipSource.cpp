#include "ui/skin/ZipSource.h"

#include <unzip.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace Umbra {

// ---- Byte sources --------------------------------------------------------------------------------

// What minizip reads through: an open file (the Win32 file calls) or a memory block. minizip
// holds a pointer to it as both its "opaque" value and its stream. minizip reads headers a
// few bytes at a time, so a file is read through a window of whole blocks: without it every
// lookup, which walks the central directory, would cost thousands of system calls.
struct CZipSource::Source {
  static constexpr DWORD kWindowSize = 64 * 1024;

  HANDLE file = INVALID_HANDLE_VALUE;
  const BYTE* data = nullptr;  // memory source when file is not open
  ZPOS64_T size = 0;
  ZPOS64_T position = 0;
  std::unique_ptr<BYTE[]> window;  // file bytes from windowStart, windowLength of them
  ZPOS64_T windowStart = 0;
  DWORD windowLength = 0;

  ~Source() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }

  // The bytes at the position, reading the block there when the window does not hold it.
  const BYTE* At(ZPOS64_T at, DWORD& available) {
    if (file == INVALID_HANDLE_VALUE) {
      available = static_cast<DWORD>(std::min<ZPOS64_T>(size - at, 0x40000000));
      return data + at;
    }
    if (at < windowStart || at >= windowStart + windowLength) {
      windowLength = 0;
      if (!window) window = std::make_unique<BYTE[]>(kWindowSize);
      LONG high = static_cast<LONG>(at >> 32);
      const DWORD low = SetFilePointer(file, static_cast<LONG>(at & 0xFFFFFFFF), &high, FILE_BEGIN);
      if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return nullptr;
      DWORD read = 0;
      if (!ReadFile(file, window.get(), kWindowSize, &read, nullptr) || read == 0) return nullptr;
      windowStart = at;
      windowLength = read;
    }
    available = static_cast<DWORD>(windowStart + windowLength - at);
    return window.get() + (at - windowStart);
  }
};

namespace {

using Source = CZipSource::Source;

Source* AsSource(voidpf stream) { return static_cast<Source*>(stream); }

voidpf ZCALLBACK OpenSource(voidpf opaque, const void* /*filename*/, int mode) {
  // Opened before minizip is called; reading is all it may do.
  return (mode & ZLIB_FILEFUNC_MODE_WRITE) ? nullptr : opaque;
}

uLong ZCALLBACK ReadSource(voidpf /*opaque*/, voidpf stream, void* buffer, uLong size) {
  Source* source = AsSource(stream);
  auto* out = static_cast<BYTE*>(buffer);
  uLong done = 0;
  while (done < size && source->position < source->size) {
    DWORD available = 0;
    const BYTE* bytes = source->At(source->position, available);
    if (!bytes) break;
    const DWORD count = static_cast<DWORD>(std::min<uLong>(size - done, available));
    std::memcpy(out + done, bytes, count);
    done += count;
    source->position += count;
  }
  return done;
}

uLong ZCALLBACK WriteSource(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellSource(voidpf /*opaque*/, voidpf stream) { return AsSource(stream)->position; }

long ZCALLBACK SeekSource(voidpf /*opaque*/, voidpf stream, ZPOS64_T offset, int origin) {
  Source* source = AsSource(stream);
  ZPOS64_T base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
    base = source->position;
  } else if (origin == ZLIB_FILEFUNC_SEEK_END) {
    base = source->size;
  } else if (origin != ZLIB_FILEFUNC_SEEK_SET) {
    return -1;
  }
  if (offset > source->size || base > source->size - offset) return -1;  // beyond the end
  source->position = base + offset;  // the file is positioned when bytes are read
  return 0;
}

int ZCALLBACK CloseSource(voidpf /*opaque*/, voidpf stream) {
  Source* source = AsSource(stream);
  if (source->file != INVALID_HANDLE_VALUE) CloseHandle(source->file);
  source->file = INVALID_HANDLE_VALUE;
  source->data = nullptr;
  source->size = 0;  // nothing more to read from a closed source
  return 0;
}

int ZCALLBACK TestSourceError(voidpf, voidpf) { return 0; }

unzFile AsArchive(void* archive) { return static_cast<unzFile>(archive); }

// ---- Names -----------------------------------------------------------------------------------------

constexpr int kMaxNameLength = 255;
constexpr int kNameBytes = MAX_PATH - 1;  // converted names, terminator included

// The name as the archive stores names: ANSI bytes with '/' separators. False when the name
// cannot be converted exactly (a character the code page lacks, or too long).
bool ToArchiveName(LPCWSTR name, char (&out)[kNameBytes], int& length) {
  const bool utf8 = GetACP() == CP_UTF8;
  BOOL usedDefault = FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : 0, name, -1, out, kNameBytes,
                                        nullptr, utf8 ? nullptr : &usedDefault);
  if (bytes <= 0 || usedDefault) return false;
  length = bytes - 1;
  std::replace(out, out + length, '\\', '/');
  return true;
}

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

zlib_filefunc64_def FileFunctions(Source* source) {
  zlib_filefunc64_def functions{};
  functions.zopen64_file = OpenSource;
  functions.zread_file = ReadSource;
  functions.zwrite_file = WriteSource;
  functions.ztell64_file = TellSource;
  functions.zseek64_file = SeekSource;
  functions.zclose_file = CloseSource;
  functions.zerror_file = TestSourceError;
  functions.opaque = source;
  return functions;
}

}  // namespace

// ---- Opening and closing ---------------------------------------------------------------------------

CZipSource::CZipSource(std::unique_ptr<Source> source) : m_source(std::move(source)) {}

CZipSource::~CZipSource() { Close(); }

bool CZipSource::Open() {
  zlib_filefunc64_def functions = FileFunctions(m_source.get());
  m_archive = unzOpen2_64(m_source.get(), &functions);
  return m_archive != nullptr;
}

std::unique_ptr<CZipSource> CZipSource::OpenFromFile(LPCWSTR path) {
  if (!path) return nullptr;
  auto source = std::make_unique<Source>();
  source->file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (source->file == INVALID_HANDLE_VALUE) return nullptr;
  DWORD high = 0;
  const DWORD low = GetFileSize(source->file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return nullptr;
  source->size = (static_cast<ZPOS64_T>(high) << 32) | low;
  std::unique_ptr<CZipSource> archive(new CZipSource(std::move(source)));
  return archive->Open() ? std::move(archive) : nullptr;
}

std::unique_ptr<CZipSource> CZipSource::OpenFromMemory(const void* data, DWORD size) {
  if (!data) return nullptr;
  auto source = std::make_unique<Source>();
  source->data = static_cast<const BYTE*>(data);
  source->size = size;
  std::unique_ptr<CZipSource> archive(new CZipSource(std::move(source)));
  return archive->Open() ? std::move(archive) : nullptr;
}

void CZipSource::Close() {
  if (m_archive) unzClose(AsArchive(m_archive));
  m_archive = nullptr;
  m_source.reset();
  m_currentIndex = -1;
  m_indexed = false;
  m_entries.clear();
  m_firstByFoldedName.clear();
}

// ---- Lookup ------------------------------------------------------------------------------------------

void CZipSource::BuildIndex() {
  m_indexed = true;
  unzFile archive = AsArchive(m_archive);
  for (int step = unzGoToFirstFile(archive); step == UNZ_OK; step = unzGoToNextFile(archive)) {
    unz_file_info64 info{};
    char stored[MAX_PATH];
    unz64_file_pos position{};
    if (unzGetCurrentFileInfo64(archive, &info, stored, sizeof stored, nullptr, 0, nullptr, 0) != UNZ_OK ||
        unzGetFilePos64(archive, &position) != UNZ_OK) {
      break;  // a damaged directory: what was read so far stays usable
    }
    Entry entry{{}, info.uncompressed_size, position.pos_in_zip_directory, position.num_of_file};
    if (info.size_filename <= static_cast<uLong>(kMaxNameLength)) entry.name.assign(stored, info.size_filename);
    std::string folded = entry.name;
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldAscii);
    m_firstByFoldedName.emplace(std::move(folded), static_cast<int>(m_entries.size()));
    m_entries.push_back(std::move(entry));
  }
  m_currentIndex = -1;
}

// The first entry in directory order with the name, or -1.
int CZipSource::FindIndex(const std::string& wanted, bool ignoreCase) const {
  std::string folded = wanted;
  std::transform(folded.begin(), folded.end(), folded.begin(), FoldAscii);
  const auto it = m_firstByFoldedName.find(folded);
  if (it == m_firstByFoldedName.end()) return -1;
  if (ignoreCase || m_entries[static_cast<size_t>(it->second)].name == wanted) return it->second;
  // An exact match may sit behind an entry that differs only in case.
  for (size_t i = static_cast<size_t>(it->second) + 1; i < m_entries.size(); ++i) {
    if (m_entries[i].name == wanted) return static_cast<int>(i);
  }
  return -1;
}

DWORD CZipSource::FindEntry(LPCWSTR name, bool ignoreCase, ZipEntryInfo& info) {
  info.index = -1;
  info.name[0] = 0;
  info.uncompressedSize = 0;
  char wanted[kNameBytes];
  int length = 0;
  if (!m_archive || !name || wcsnlen(name, kMaxNameLength + 1) > kMaxNameLength ||
      !ToArchiveName(name, wanted, length) || length == 0) {
    return kZipNotFound;
  }
  if (!m_indexed) BuildIndex();
  const int index = FindIndex(std::string(wanted, static_cast<size_t>(length)), ignoreCase);
  // Entries above 4 GiB cannot be described by the info; they count as absent.
  if (index < 0 || m_entries[static_cast<size_t>(index)].size > 0xFFFFFFFFu || !MoveTo(index)) {
    return kZipNotFound;
  }
  const Entry& entry = m_entries[static_cast<size_t>(index)];
  info.index = index;
  const int units = MultiByteToWideChar(CP_ACP, 0, entry.name.data(), static_cast<int>(entry.name.size()),
                                        info.name, MAX_PATH - 1);
  info.name[units > 0 ? units : 0] = 0;
  info.uncompressedSize = static_cast<DWORD>(entry.size);
  return kZipOk;
}

bool CZipSource::MoveTo(int index) {
  if (index == m_currentIndex) return true;
  if (!m_indexed) BuildIndex();
  if (index < 0 || static_cast<size_t>(index) >= m_entries.size()) return false;
  unz64_file_pos position{m_entries[static_cast<size_t>(index)].directoryOffset,
                          m_entries[static_cast<size_t>(index)].directoryIndex};
  m_currentIndex = -1;
  if (unzGoToFilePos64(AsArchive(m_archive), &position) != UNZ_OK) return false;
  m_currentIndex = index;
  return true;
}

// ---- Extraction ----------------------------------------------------------------------------------------

DWORD CZipSource::ExtractToMemory(int index, void* buffer, DWORD size) {
  if (!m_archive || index < 0 || (!buffer && size)) return kZipBadArguments;
  if (!MoveTo(index)) return kZipNotFound;
  unzFile archive = AsArchive(m_archive);
  unz_file_info64 entry{};
  if (unzGetCurrentFileInfo64(archive, &entry, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
    return kZipCorrupt;
  if (entry.flag & 1) return kZipCorrupt;  // encrypted: no password is ever used
  if (unzOpenCurrentFile(archive) != UNZ_OK) return kZipCorrupt;

  auto* out = static_cast<BYTE*>(buffer);
  DWORD filled = 0;
  int error = 0;
  while (filled < size) {
    const unsigned chunk = std::min<DWORD>(size - filled, 0x40000000);
    const int n = unzReadCurrentFile(archive, out + filled, chunk);
    if (n <= 0) {
      error = n;
      break;
    }
    filled += static_cast<DWORD>(n);
  }
  // Only once the declared size has been produced does closing check the CRC.
  const bool complete = unzeof(archive) == 1;
  const int closed = unzCloseCurrentFile(archive);
  if (error < 0) return error == UNZ_ERRNO ? kZipReadError : kZipCorrupt;
  if (complete && closed == UNZ_CRCERROR) return kZipCorrupt;
  if (filled == size) return kZipMoreData;
  return complete ? kZipOk : kZipCorrupt;  // the data ended before its declared size
}

}  // namespace Umbra
