#include "ui/skin/DiagLog.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <stdarg.h>
#include <tchar.h>

#include <climits>
#include <map>
#include <memory>
#include <string>

namespace Umbra {
namespace {

// Puts the caller's last error back on the way out.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : m_error(GetLastError()) {}
  ~LastErrorKeeper() { SetLastError(m_error); }

 private:
  DWORD m_error;
};

std::map<std::u16string, std::unique_ptr<CDiagLog>>& Writers() {
  static auto* writers = new std::map<std::u16string, std::unique_ptr<CDiagLog>>;  // live until exit
  return *writers;
}

// Formats a path into a MAX_PATH buffer; false when it would not fit, so that a cut path,
// which names some other file or folder, is never used.
bool FormatPath(WCHAR (&out)[MAX_PATH], LPCWSTR format, ...) {
  WCHAR wide[2 * MAX_PATH];
  va_list args;
  va_start(args, format);
  const int length = wvnsprintfW(wide, static_cast<int>(std::size(wide)), format, args);
  va_end(args);
  if (length < 0 || length >= MAX_PATH) return false;
  lstrcpynW(out, wide, MAX_PATH);
  return true;
}

void CreateFolderIfMissing(LPCWSTR folder) {
  if (!PathFileExistsW(folder)) CreateDirectoryW(folder, nullptr);
}

ULONGLONG FileSize(LPCWSTR path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;  // missing: 0
  return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The known size grows by what was written; it never wraps, whatever a caller writes.
void Grow(int& size, DWORD bytes) {
  const long long grown = static_cast<long long>(size) + bytes;
  size = grown > INT_MAX ? INT_MAX : static_cast<int>(grown);
}

std::u16string Timestamp() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  WCHAR text[32];
  wsprintfW(text, _T("%04d-%02d-%02d %02d:%02d:%02d"), now.wYear, now.wMonth, now.wDay, now.wHour,
            now.wMinute, now.wSecond);
  return text;
}

}  // namespace

// Only the two folder levels below Trellan are made: without Trellan nothing is written.
// Without a local application-data folder the path stays empty rather than pointing at the
// root of the file system.
CDiagLog::CDiagLog(LPCWSTR pstrName) : m_level(1), m_size(0), m_path() {
  WCHAR root[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, root, CSIDL_LOCAL_APPDATA, FALSE) || !root[0]) return;
  WCHAR folder[MAX_PATH];
  if (FormatPath(folder, _T("%s\\Trellan\\crashdump"), root)) CreateFolderIfMissing(folder);
  if (FormatPath(folder, _T("%s\\Trellan\\crashdump\\%s"), root, _T("Tnlog"))) CreateFolderIfMissing(folder);
  if (!FormatPath(m_path, _T("%s\\Trellan\\crashdump\\%s\\%s.log"), root, _T("Tnlog"), pstrName))
    m_path[0] = 0;
}

CDiagLog* CDiagLog::DefaultLogger() {
  static CDiagLog fallback(_T("unknown"));  // static storage: this cannot fail
  return &fallback;
}

CDiagLog* CDiagLog::GetLogger(LPCWSTR pstrName) {
  LastErrorKeeper keeper;
  if (!pstrName) return DefaultLogger();
  const size_t length = wcsnlen(pstrName, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return DefaultLogger();
  try {
    auto& writers = Writers();
    const std::u16string name(pstrName, length);
    auto it = writers.find(name);
    if (it == writers.end())
      it = writers.emplace(name, std::unique_ptr<CDiagLog>(new CDiagLog(pstrName))).first;
    return it->second.get();
  } catch (...) {
    return DefaultLogger();
  }
}

void CDiagLog::LogError(CDiagLog* pLogger, LPCWSTR pstrFormat, ...) {
  LastErrorKeeper keeper;
  CDiagLog* logger = pLogger ? pLogger : DefaultLogger();
  if (logger->m_level > 3) return;
  WCHAR message[kMaxMessageLength + 1];
  va_list args;
  va_start(args, pstrFormat);
  wvnsprintfW(message, kMaxMessageLength + 1, pstrFormat ? pstrFormat : _T(""), args);
  va_end(args);
  try {
    logger->WriteLine(_T("ERROR"), message);
  } catch (...) {
    // A log line is never worth failing the caller for.
  }
}

void CDiagLog::WriteLine(LPCWSTR pstrTag, LPCWSTR pstrMessage) {
  RotateIfNeeded();
  if (!m_path[0]) return;
  HANDLE file = CreateFileW(m_path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (GetLastError() != ERROR_ALREADY_EXISTS && FileSize(m_path) == 0) {
    static const BYTE kByteOrderMark[2] = {0xFF, 0xFE};
    if (WriteFile(file, kByteOrderMark, sizeof kByteOrderMark, &written, nullptr)) Grow(m_size, written);
  }
  SetFilePointer(file, 0, nullptr, FILE_END);
  std::u16string line = Timestamp();
  line.append(u" [").append(pstrTag ? pstrTag : u"").append(u"] - ");
  line.append(pstrMessage ? pstrMessage : u"").append(u"\r\n");
  // Lines are UTF-16 units written as they are in memory: little-endian.
  if (WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(char16_t)), &written, nullptr)) {
    Grow(m_size, written);
  }
  CloseHandle(file);
}

void CDiagLog::RotateIfNeeded() {
  if (!m_path[0] || (m_size > 0 && m_size < kRotateSize)) return;
  const ULONGLONG size = FileSize(m_path);
  if (size <= static_cast<ULONGLONG>(kRotateSize)) {
    m_size = static_cast<int>(size);
    return;
  }
  std::u16string older(m_path);
  older.replace(older.size() - 4, 4, u".0.log");  // the path always ends in ".log"
  MoveFileExW(m_path, older.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  m_size = 0;
}

}  // namespace Umbra
