// Real ZIP archives for tests and benchmarks, written with minizip's writer, and the few byte
// patches that make one damaged in a chosen way.
#pragma once

#include <stdio.h>
#include <unistd.h>
#include <zip.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ziptest {

struct Item {
  std::string name;  // stored as given, '/' separated
  std::string data;
  bool deflate = true;
};

// Writes the archive to a file; false when minizip refuses.
inline bool WriteZipFile(const std::string& path, const std::vector<Item>& items) {
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (!zip) return false;
  bool ok = true;
  for (const Item& item : items) {
    zip_fileinfo info{};
    ok = ok && zipOpenNewFileInZip(zip, item.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                   item.deflate ? Z_DEFLATED : 0,
                                   item.deflate ? Z_DEFAULT_COMPRESSION : 0) == ZIP_OK;
    ok = ok && zipWriteInFileInZip(zip, item.data.data(), static_cast<unsigned>(item.data.size())) == ZIP_OK;
    ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
  }
  return zipClose(zip, nullptr) == ZIP_OK && ok;
}

// The archive's bytes.
inline std::string MakeZip(const std::vector<Item>& items) {
  char path[] = "/tmp/umbra-zip-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  std::string bytes;
  if (WriteZipFile(path, items)) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  unlink(path);
  return bytes;
}

inline void PutU32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

inline uint32_t GetU32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Declares a larger uncompressed size for the first entry, in its local and its central
// header, so that its data ends before the size it claims.
inline void OverstateFirstEntrySize(std::string& zip, uint32_t extra) {
  const size_t central = zip.find("PK\x01\x02");
  PutU32(zip, 22, GetU32(zip, 22) + extra);
  PutU32(zip, central + 24, GetU32(zip, central + 24) + extra);
}

// Changes one byte of a stored entry's data, which its CRC then no longer matches.
inline void CorruptStoredData(std::string& zip, const std::string& data) {
  const size_t at = zip.find(data);
  zip[at] = static_cast<char>(zip[at] ^ 0x20);
}

}  // namespace ziptest
