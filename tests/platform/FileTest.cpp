#include <fcntl.h>
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "TempDir.h"

namespace {

std::string ReadAll(HANDLE file) {
  std::string bytes(4096, '\0');
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr));
  bytes.resize(read);
  return bytes;
}

HANDLE OpenForRead(const std::u16string& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// ---- Paths ------------------------------------------------------------------------------------

TEST(Path, FindsFilesWhateverTheCaseAndSeparators) {
  TempDir dir;
  mkdir((dir / "skin").c_str(), 0755);
  mkdir((dir / "skin/login").c_str(), 0755);
  TempDir::Put(dir / "skin/login/bg.png", "png");
  TempDir::Put(dir /
                   "skin/login/\xC3\xBC"
                   "ber.txt",
               "unicode");  // "über"

  for (const std::u16string& name : {dir.Win("Skin\\Login\\BG.PNG"), dir.Win("SKIN/login\\Bg.png"),
                                     dir.Win("skin\\LOGIN\\") + u"\u00DCBER.TXT"}) {
    HANDLE file = OpenForRead(name);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ReadAll(file).empty());
    CloseHandle(file);
    EXPECT_TRUE(PathFileExistsW(name.c_str()));
  }

  // A new file lands in the folder that exists under another case.
  HANDLE created =
      CreateFileW(dir.Win("SKIN\\new.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  CloseHandle(created);
  EXPECT_EQ(dir.Names("skin"), (std::set<std::string>{"login", "new.txt"}));
}

TEST(Path, PrefersTheExactSpellingWhenNamesDifferOnlyInCase) {
  TempDir dir;
  TempDir::Put(dir / "Name.txt", "upper");
  TempDir::Put(dir / "name.txt", "lower");
  HANDLE file = OpenForRead(dir.Win("name.txt"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadAll(file), "lower");
  CloseHandle(file);
}

TEST(Path, TellsAMissingFileFromAMissingFolder) {
  TempDir dir;
  struct Case {
    std::string name;
    DWORD error;
  } cases[] = {
      {"missing.txt", ERROR_FILE_NOT_FOUND},
      {"nofolder\\missing.txt", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(OpenForRead(dir.Win(c.name)), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(GetFileAttributesW(dir.Win(c.name).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

// ---- Opening -----------------------------------------------------------------------------------

TEST(File, CreationDispositionsFollowWin32) {
  struct Case {
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD error;
    std::string contentAfter;  // of the file, after the handle is closed ("-" when absent)
  } cases[] = {
      {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "-"},
      {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "-"},
      {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "disposition " << c.disposition
                                    << (c.exists ? " on a file" : " on nothing"));
    TempDir dir;
    if (c.exists) TempDir::Put(dir / "f.txt", "old");
    SetLastError(12345);
    HANDLE file = CreateFileW(dir.Win("f.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              c.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
    if (file != INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(CloseHandle(file));
    }
    EXPECT_EQ(access((dir / "f.txt").c_str(), F_OK) == 0 ? TempDir::Get(dir / "f.txt") : "-", c.contentAfter);
  }
}

TEST(File, OpensAFolderOnlyWithBackupSemantics) {
  TempDir dir;
  EXPECT_EQ(OpenForRead(dir.Win()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE folder = CreateFileW(dir.Win().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(folder, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(folder));
}

TEST(File, DescriptorsAreClosedOnExec) {
  TempDir dir;
  TempDir::Put(dir / "f.txt", "x");
  HANDLE file = OpenForRead(dir.Win("f.txt"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  // The newest descriptor is the file's; every descriptor of ours must carry FD_CLOEXEC.
  bool sawOne = false;
  for (int fd = 3; fd < 1024; ++fd) {
    const int flags = fcntl(fd, F_GETFD);
    if (flags < 0) continue;
    char link[64] = {};
    char target[4096] = {};
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    if (readlink(link, target, sizeof target - 1) > 0 && (dir / "f.txt") == target) {
      sawOne = true;
      EXPECT_TRUE(flags & FD_CLOEXEC);
    }
  }
  EXPECT_TRUE(sawOne);
  CloseHandle(file);
}

// ---- Reading, writing, positions ---------------------------------------------------------------

TEST(File, ReadsWritesAndSeeks) {
  TempDir dir;
  HANDLE file = CreateFileW(dir.Win("data.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(file, "hello world", 11, &done, nullptr));
  EXPECT_EQ(done, 11u);

  EXPECT_EQ(SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
  EXPECT_EQ(ReadAll(file), "world");
  // At the end of the file a read succeeds with nothing.
  char byte;
  EXPECT_TRUE(ReadFile(file, &byte, 1, &done, nullptr));
  EXPECT_EQ(done, 0u);

  EXPECT_EQ(SetFilePointer(file, -5, nullptr, FILE_END), 6u);
  EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_CURRENT), 5u);
  ASSERT_TRUE(SetEndOfFile(file));
  DWORD high = 99;
  EXPECT_EQ(GetFileSize(file, &high), 5u);
  EXPECT_EQ(high, 0u);

  // A seek before the start fails and leaves the position alone.
  EXPECT_EQ(SetFilePointer(file, -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 5u);

  // A 64-bit position: 5 GiB, through the high part.
  LONG highPart = 1;
  EXPECT_EQ(SetFilePointer(file, 0x40000000, &highPart, FILE_BEGIN), 0x40000000u);
  EXPECT_EQ(highPart, 1);
  ASSERT_TRUE(SetEndOfFile(file));
  EXPECT_EQ(GetFileSize(file, &high), 0x40000000u);
  EXPECT_EQ(high, 1u);
  // Without a high part the result must fit 32 bits.
  EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // A position of 0xFFFFFFFF is a position: the last error says so.
  highPart = 0;
  SetLastError(ERROR_GEN_FAILURE);
  EXPECT_EQ(SetFilePointer(file, -1, &highPart, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), NO_ERROR);
  EXPECT_TRUE(CloseHandle(file));
}

TEST(File, RefusesTransfersTheHandleWasNotOpenedFor) {
  TempDir dir;
  TempDir::Put(dir / "f.txt", "abc");
  HANDLE reader = OpenForRead(dir.Win("f.txt"));
  HANDLE writer = CreateFileW(dir.Win("f.txt").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD done = 7;
  char buffer[4];
  EXPECT_FALSE(WriteFile(reader, "x", 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(done, 0u);
  EXPECT_FALSE(ReadFile(writer, buffer, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(SetEndOfFile(reader));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  // Win32 needs somewhere to put the count when there is no OVERLAPPED.
  EXPECT_FALSE(ReadFile(reader, buffer, 1, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(reader);
  CloseHandle(writer);
  EXPECT_EQ(TempDir::Get(dir / "f.txt"), "abc");
}

TEST(File, RejectsHandlesThatAreNotOpenFiles) {
  TempDir dir;
  TempDir::Put(dir / "f.txt", "abc");
  HANDLE closed = OpenForRead(dir.Win("f.txt"));
  CloseHandle(closed);
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(dir.Win("*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);

  for (HANDLE handle : {INVALID_HANDLE_VALUE, HANDLE(nullptr), closed, search, HANDLE(&data)}) {
    char buffer[4];
    DWORD done = 0;
    LONG high = 0;
    SetLastError(0);
    EXPECT_FALSE(ReadFile(handle, buffer, 4, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(WriteFile(handle, buffer, 4, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetFileSize(handle, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetFilePointer(handle, 0, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FlushFileBuffers(handle));
    EXPECT_FALSE(SetEndOfFile(handle));
    if (handle != search) {
      EXPECT_FALSE(FindNextFileW(handle, &data));
      EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
      EXPECT_FALSE(FindClose(handle));
      EXPECT_FALSE(CloseHandle(handle));
      EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
  }
  EXPECT_TRUE(FindClose(search));
}

// ---- Deleting, moving, folders -------------------------------------------------------------------

TEST(File, DeleteFileRefusesFolders) {
  TempDir dir;
  mkdir((dir / "sub").c_str(), 0755);
  TempDir::Put(dir / "f.txt", "x");
  EXPECT_FALSE(DeleteFileW(dir.Win("sub").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(DeleteFileW(dir.Win("F.TXT").c_str()));
  EXPECT_FALSE(DeleteFileW(dir.Win("f.txt").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(dir.Names(), std::set<std::string>{"sub"});
}

TEST(File, MoveReplacesOnlyWhenAsked) {
  TempDir dir;
  TempDir::Put(dir / "a.log", "new");
  TempDir::Put(dir / "a.0.log", "old");
  EXPECT_FALSE(MoveFileExW(dir.Win("a.log").c_str(), dir.Win("a.0.log").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(TempDir::Get(dir / "a.0.log"), "old");

  EXPECT_TRUE(MoveFileExW(dir.Win("a.log").c_str(), dir.Win("a.0.log").c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(dir.Names(), std::set<std::string>{"a.0.log"});
  EXPECT_EQ(TempDir::Get(dir / "a.0.log"), "new");

  // A rename that only changes case is a rename, not a clash with itself.
  EXPECT_TRUE(MoveFileExW(dir.Win("a.0.log").c_str(), dir.Win("A.0.LOG").c_str(), 0));
  EXPECT_EQ(dir.Names(), std::set<std::string>{"A.0.LOG"});

  EXPECT_FALSE(MoveFileExW(dir.Win("missing").c_str(), dir.Win("other").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(File, MoveCopiesAcrossFileSystemsOnlyWhenAllowed) {
  TempDir dir;
  char pattern[] = "/dev/shm/umbra-test-XXXXXX";
  struct stat a, b;
  if (!mkdtemp(pattern)) GTEST_SKIP() << "no /dev/shm";
  const std::string other = pattern;
  if (stat(dir.path().c_str(), &a) != 0 || stat(other.c_str(), &b) != 0 || a.st_dev == b.st_dev) {
    rmdir(other.c_str());
    GTEST_SKIP() << "/tmp and /dev/shm are one file system here";
  }
  TempDir::Put(dir / "f.txt", "payload");
  chmod((dir / "f.txt").c_str(), 0640);
  const std::u16string target = TempDir::ToWin(other + "/f.txt");

  EXPECT_FALSE(MoveFileExW(dir.Win("f.txt").c_str(), target.c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SAME_DEVICE);
  EXPECT_TRUE(MoveFileExW(dir.Win("f.txt").c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED));

  EXPECT_EQ(TempDir::Get(other + "/f.txt"), "payload");
  struct stat moved;
  EXPECT_EQ(stat((other + "/f.txt").c_str(), &moved), 0);
  EXPECT_EQ(moved.st_mode & 0777, 0640u);
  EXPECT_TRUE(dir.Names().empty());
  unlink((other + "/f.txt").c_str());
  EXPECT_EQ(rmdir(other.c_str()), 0) << "nothing else (no temporary file) may be left";
}

TEST(File, CreatesAndRemovesFolders) {
  TempDir dir;
  EXPECT_TRUE(CreateDirectoryW(dir.Win("logs").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryW(dir.Win("LOGS").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryW(dir.Win("a\\b").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(CreateDirectoryW(dir.Win("Logs\\day").c_str(), nullptr));

  EXPECT_FALSE(RemoveDirectoryW(dir.Win("logs").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
  TempDir::Put(dir / "f.txt", "x");
  EXPECT_FALSE(RemoveDirectoryW(dir.Win("f.txt").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
  EXPECT_TRUE(RemoveDirectoryW(dir.Win("logs\\day").c_str()));
  EXPECT_TRUE(RemoveDirectoryW(dir.Win("logs").c_str()));
  EXPECT_EQ(dir.Names(), std::set<std::string>{"f.txt"});
}

// ---- Attributes ----------------------------------------------------------------------------------

TEST(File, ReportsAttributesSizesAndTimes) {
  TempDir dir;
  mkdir((dir / "sub").c_str(), 0755);
  TempDir::Put(dir / "plain.txt", "12345");
  TempDir::Put(dir / "locked.txt", "");
  chmod((dir / "locked.txt").c_str(), 0444);
  TempDir::Put(dir / ".hidden", "");
  struct Case {
    std::string name;
    DWORD attributes;
  } cases[] = {
      {"sub", FILE_ATTRIBUTE_DIRECTORY},
      {"plain.txt", FILE_ATTRIBUTE_ARCHIVE},
      {"locked.txt", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},
      {".hidden", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GetFileAttributesW(dir.Win(c.name).c_str()), c.attributes);
  }

  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(GetFileAttributesExW(dir.Win("PLAIN.TXT").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  struct stat st;
  stat((dir / "plain.txt").c_str(), &st);
  const uint64_t expected = (static_cast<uint64_t>(st.st_mtim.tv_sec) + 11644473600ULL) * 10000000ULL +
                            static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
  EXPECT_EQ(
      (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime,
      expected);

  EXPECT_FALSE(GetFileAttributesExW(dir.Win("plain.txt").c_str(), GetFileExInfoStandard, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(PathFileExistsW(dir.Win("nothing").c_str()));
  EXPECT_FALSE(PathFileExistsW(nullptr));
}

// ---- Find ------------------------------------------------------------------------------------------

std::vector<std::string> FindAll(const std::u16string& pattern, DWORD* error = nullptr) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return names;
  }
  do {
    std::string name;
    for (const char16_t* c = data.cFileName; *c; ++c) name += static_cast<char>(*c);  // ASCII names
    names.push_back(name);
  } while (FindNextFileW(search, &data));
  if (error) *error = GetLastError();
  FindClose(search);
  return names;
}

TEST(Find, ListsMatchingNamesWithDotEntriesForWildcards) {
  TempDir dir;
  mkdir((dir / "Sub").c_str(), 0755);
  TempDir::Put(dir / "a.TXT", "");
  TempDir::Put(dir / "b.txt", "");
  TempDir::Put(dir / "noext", "");
  struct Case {
    std::string pattern;
    std::vector<std::string> names;
  } cases[] = {
      {"*", {".", "..", "a.TXT", "b.txt", "noext", "Sub"}},
      {"*.*", {".", "..", "a.TXT", "b.txt", "noext", "Sub"}},
      {"*.txt", {"a.TXT", "b.txt"}},
      {"?.TxT", {"a.TXT", "b.txt"}},
      {"no*", {"noext"}},
      {"SUB", {"Sub"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    DWORD error = 0;
    EXPECT_EQ(FindAll(dir.Win(c.pattern), &error), c.names);
    EXPECT_EQ(error, DWORD(ERROR_NO_MORE_FILES));
  }

  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(dir.Win("sub\\..\\A.txt").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(std::u16string(data.cFileName), u"a.TXT");
  FindClose(search);
}

TEST(Find, ReportsNoMatchAndMissingFolders) {
  TempDir dir;
  DWORD error = 0;
  EXPECT_TRUE(FindAll(dir.Win("*.png"), &error).empty());
  EXPECT_EQ(error, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(FindAll(dir.Win("caches\\*"), &error).empty());
  EXPECT_EQ(error, DWORD(ERROR_PATH_NOT_FOUND));
}

TEST(Find, SurvivesDeletingWhatItListed) {
  // The cache sweep: delete every entry while walking the listing; folders stay.
  TempDir dir;
  mkdir((dir / "caches").c_str(), 0755);
  mkdir((dir / "caches/keep").c_str(), 0755);
  for (int i = 0; i < 50; ++i) TempDir::Put(dir / ("caches/f" + std::to_string(i)), "x");
  const std::u16string folder = dir.Win("caches\\");
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW((folder + u"*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  int deleted = 0;
  do {
    const std::u16string name = data.cFileName;
    if (name != u"." && name != u"..") deleted += DeleteFileW((folder + name).c_str()) ? 1 : 0;
  } while (FindNextFileW(search, &data));
  FindClose(search);
  EXPECT_EQ(deleted, 50);
  EXPECT_EQ(dir.Names("caches"), std::set<std::string>{"keep"});
}

// ---- Resources ----------------------------------------------------------------------------------

TEST(File, ManyCallsLeaveNoDescriptorsOpen) {
  TempDir dir;
  TempDir::Put(dir / "f.txt", "abc");
  const int before = CountOpenDescriptors();
  for (int i = 0; i < 200; ++i) {
    HANDLE file = OpenForRead(dir.Win("F.TXT"));
    CloseHandle(file);
    OpenForRead(dir.Win("missing\\x"));
    WIN32_FIND_DATAW data;
    FindClose(FindFirstFileW(dir.Win("*").c_str(), &data));
    FindFirstFileW(dir.Win("*.none").c_str(), &data);
    GetFileAttributesW(dir.Win("F.txt").c_str());
    MoveFileExW(dir.Win("f.txt").c_str(), dir.Win("g.txt").c_str(), MOVEFILE_WRITE_THROUGH);
    MoveFileExW(dir.Win("g.txt").c_str(), dir.Win("f.txt").c_str(), 0);
  }
  EXPECT_EQ(CountOpenDescriptors(), before);
}

}  // namespace
