#pragma once

#include <windows.h>

namespace Umbra {

// Short diagnostic lines in per-name log files, in the crash-dump folder that the product's
// programs share: <local application data>\Trellan\crashdump\Tnlog\<name>.log. Files are
// UTF-16LE and begin with a byte-order mark; past 2 MiB a file moves to <name>.0.log (one
// old generation) and a new one starts. Nothing here fails visibly: a line that cannot be
// written is lost. Writers live until the process ends; GUI thread only.
class CDiagLog {
 public:
  static constexpr int kRotateSize = 0x200000;
  static constexpr int kMaxMessageLength = 511;

  // The writer of a name (compared exactly), made on first request. Null, an empty name, a
  // name of 260 characters or more, or any failure gives the default writer "unknown". The
  // caller's last error is left as it was.
  static CDiagLog* GetLogger(LPCWSTR pstrName);

  // Formats with Windows printf rules (%s takes a UTF-16 string), cuts the message to 511
  // characters and writes it tagged "ERROR" while the writer's level is 3 or less. A null
  // writer means the default one. The caller's last error is left as it was.
  static void LogError(CDiagLog* pLogger, LPCWSTR pstrFormat, ...);

  // Appends "yyyy-mm-dd hh:mm:ss [tag] - message\r\n" in local time.
  void WriteLine(LPCWSTR pstrTag, LPCWSTR pstrMessage);

  // The log file; empty when no usable path could be made (then nothing is written).
  LPCWSTR GetPath() const { return m_path; }

 private:
  explicit CDiagLog(LPCWSTR pstrName);
  CDiagLog(const CDiagLog&) = delete;
  CDiagLog& operator=(const CDiagLog&) = delete;

  static CDiagLog* DefaultLogger();
  void RotateIfNeeded();

  int m_level;
  int m_size;  // the file's size as last known; 0 = not known yet
  WCHAR m_path[MAX_PATH];
};

}  // namespace Umbra
