// The reader on archives written by real tools (Info-ZIP zip, Python's
// zipfile, 7-Zip; see data/zip/make_archives.sh), checked against manifests
// whose CRC-32s `unzip -t` verified, and extraction to files and handles.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32_handles.h"
#include "support/test_files.h"
#include "support/test_times.h"
#include "zip/unzip.h"
#include "zip_test_support.h"

namespace {

const int64_t kInstallFilesTime = 1614834368;  // 2021-03-04 05:06:08 UTC
const int64_t kDeepTime = 1577836798;          // 2019-12-31 23:59:58 UTC

struct ManifestLine {
  uint32_t Crc;
  size_t Size;
  std::string Name;
};

// "crc size hex-of-name" lines, as make_archives.sh writes them.
std::vector<ManifestLine> ReadManifest(const std::string& archive) {
  std::vector<ManifestLine> lines;
  std::istringstream in(ReadFileBytes(DataPath(archive + ".manifest")));
  ManifestLine m;
  std::string hex;
  while (in >> std::hex >> m.Crc >> std::dec >> m.Size >> hex) {
    m.Name.clear();
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
      m.Name += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    lines.push_back(m);
  }
  return lines;
}

// An archive below tests/data/zip, closed at the end of a test.
struct OpenArchive : OpenZip {
  explicit OpenArchive(const std::string& name, const char* password = nullptr)
      : OpenZip(ZipOpenFile(DataPath(name).c_str(), password)) {}
};

TEST(ZipTools, ListingAndDataMatchWhatUnzipChecked) {
  const char* archives[] = {"infozip_basic", "infozip_stored", "infozip_password", "infozip_sfx",
                            "p7zip",         "gbk_names",      "python_stream"};
  for (const char* name : archives) {
    std::vector<ManifestLine> manifest = ReadManifest(name);
    ASSERT_FALSE(manifest.empty()) << name;
    OpenArchive z(std::string(name) + ".zip", "secret");
    ASSERT_TRUE(z.Handle) << name;
    ZipEntryInfo info;
    ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, -1, &info));
    ASSERT_EQ(static_cast<int>(manifest.size()), info.Index) << name;
    for (size_t i = 0; i < manifest.size(); ++i) {
      const ManifestLine& m = manifest[i];
      SCOPED_TRACE(std::string(name) + " " + m.Name);
      ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, static_cast<int>(i), &info));
      // GBK and UTF-8 names come as stored, and are found that way.
      EXPECT_EQ(m.Name, info.Name);
      EXPECT_EQ(static_cast<long>(m.Size), info.UncompressedSize);
      int index = -1;
      ZipEntryInfo found;
      EXPECT_EQ(ZipOk, ZipFindEntry(z.Handle, m.Name.c_str(), false, &index, &found));
      EXPECT_EQ(static_cast<int>(i), index);
      EXPECT_EQ(m.Name, found.Name);
      for (unsigned piece : {1000u, 16384u}) {
        std::string out;
        EXPECT_EQ(ZipOk, ExtractAll(z.Handle, static_cast<int>(i), piece, &out));
        EXPECT_EQ(m.Size, out.size());
        EXPECT_EQ(m.Crc, Crc32(out));
      }
    }
  }
}

TEST(ZipTools, PasswordsAndRefusedMethods) {
  for (const char* password : {static_cast<const char*>(nullptr), "Secret", ""}) {
    OpenArchive z("infozip_password.zip", password);
    ASSERT_TRUE(z.Handle);
    std::string out;
    EXPECT_EQ(ZipPassword, ExtractAll(z.Handle, 0, 4096, &out)) << (password ? password : "none");
    TScratchDir folder("password");
    EXPECT_EQ(ZipPassword, ZipExtractToFile(z.Handle, 1, folder.File("notes.txt").c_str()));
  }
  OpenArchive bzip2("infozip_bzip2.zip");
  ASSERT_TRUE(bzip2.Handle);
  ZipEntryInfo info;
  EXPECT_EQ(ZipCorrupt, ZipGetEntry(bzip2.Handle, 0, &info));
  std::string out;
  EXPECT_EQ(ZipCorrupt, ExtractAll(bzip2.Handle, 0, 4096, &out));
}

TEST(ZipTools, TimesFromTheUtBlockBehindAStub) {
  OpenArchive infozip("infozip_basic.zip");
  ZipEntryInfo info;
  int index;
  ASSERT_EQ(ZipOk, ZipFindEntry(infozip.Handle, "folder/inner/deep.bin", false, &index, &info));
  EXPECT_EQ(UnixTicks(kDeepTime), Ticks(info.ModificationTime));
  EXPECT_EQ(UnixTicks(kDeepTime), Ticks(info.AccessTime));
  // The stub in front must not move where the extra field is read.
  OpenArchive sfx("infozip_sfx.zip");
  ZipEntryInfo shifted;
  ASSERT_EQ(ZipOk, ZipFindEntry(sfx.Handle, "folder/inner/deep.bin", false, &index, &shifted));
  EXPECT_EQ(Ticks(info.ModificationTime), Ticks(shifted.ModificationTime));
}

TEST(ZipTools, ExtractsToFilesWithFoldersTimesAndAttributes) {
  OpenArchive z("infozip_basic.zip");
  TScratchDir folder("files");
  ASSERT_EQ(ZipOk, ZipSetBaseFolder(z.Handle, folder.Path().c_str()));  // the "\" is added
  ZipEntryInfo info;
  ZipGetEntry(z.Handle, -1, &info);
  for (int i = 0, n = info.Index; i < n; ++i) {
    ASSERT_EQ(ZipOk, ZipGetEntry(z.Handle, i, &info));
    EXPECT_EQ(ZipOk, ZipExtractToFile(z.Handle, i, info.Name)) << info.Name;
  }
  std::vector<ManifestLine> manifest = ReadManifest("infozip_basic");
  for (const ManifestLine& m : manifest) {
    DWORD attributes = GetFileAttributesA(folder.File(m.Name).c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes) << m.Name;
    if (m.Name.back() == '/') {
      EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << m.Name;
      continue;
    }
    std::string data = ReadFileBytes(folder.File(m.Name));
    EXPECT_EQ(m.Size, data.size()) << m.Name;
    EXPECT_EQ(m.Crc, Crc32(data)) << m.Name;
    EXPECT_EQ(m.Name == "ro.txt", (attributes & FILE_ATTRIBUTE_READONLY) != 0) << m.Name;
  }
  EXPECT_EQ(UnixTicks(kDeepTime), FileWriteTicks(folder.File("folder/inner/deep.bin")));
  // A read-only file is not overwritten. Wine run by root lets root write
  // to it, as the Unix file system does; then the extraction may too.
  TKernelHandle probe(CreateFileA(folder.File("ro.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  bool writable = probe.IsOpen();
  probe.Close();  // the extraction below needs the file to itself
  int index;
  ASSERT_EQ(ZipOk, ZipFindEntry(z.Handle, "ro.txt", false, &index, nullptr));
  EXPECT_EQ(writable ? ZipOk : ZipNoFile, ZipExtractToFile(z.Handle, index, "ro.txt"));
#ifndef _WIN32
  EXPECT_FALSE(writable);  // the stand-in behaves as Windows does
#endif
  SetFileAttributesA(folder.File("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  // An absolute path ignores the base folder; folders on the way are made.
  std::string absolute = folder.File("abs\\deeper\\InstallFiles.xml");
  ASSERT_EQ(ZipOk, ZipFindEntry(z.Handle, "InstallFiles.xml", false, &index, &info));
  EXPECT_EQ(ZipOk, ZipExtractToFile(z.Handle, index, absolute.c_str()));
  EXPECT_EQ(static_cast<size_t>(info.UncompressedSize), ReadFileBytes(absolute).size());
  EXPECT_EQ(UnixTicks(kInstallFilesTime), FileWriteTicks(absolute));
}

// A folder entry makes folders and writes nothing; an empty entry replaces a
// file with an empty one.
TEST(ZipTools, DirectoryAndEmptyEntries) {
  OpenArchive basic("infozip_basic.zip");
  TScratchDir folder("special");
  int index;
  ASSERT_EQ(ZipOk, ZipFindEntry(basic.Handle, "empty_dir/", false, &index, nullptr));
  EXPECT_EQ(ZipOk, ZipExtractToFile(basic.Handle, index, folder.File("one\\two\\three").c_str()));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
            GetFileAttributesA(folder.File("one\\two\\three").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  TKernelHandle file(CreateFileA(folder.File("handle.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_EQ(ZipOk, ZipExtractToHandle(basic.Handle, index, file.Get()));
  EXPECT_EQ(0u, SetFilePointer(file.Get(), 0, nullptr, FILE_CURRENT));

  OpenArchive stream("python_stream.zip");
  std::string path = folder.File("zero.txt");
  ASSERT_TRUE(WriteFileBytes(path, "old contents"));
  EXPECT_EQ(ZipOk, ZipExtractToFile(stream.Handle, 2, path.c_str()));
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ("", ReadFileBytes(path));
}

TEST(ZipTools, OverLongTargetPathsAreRefusedWithoutFiles) {
  OpenArchive z("infozip_basic.zip");
  TScratchDir folder("long");
  const std::string base = folder.Path() + "\\";
  ASSERT_EQ(ZipOk, ZipSetBaseFolder(z.Handle, base.c_str()));
  int index;
  ASSERT_EQ(ZipOk, ZipFindEntry(z.Handle, "notes.txt", false, &index, nullptr));
  size_t room = 259 - base.size();  // bytes left for the relative part
  std::string fits = "sub\\" + std::string(room - 4 < 200 ? room - 4 : 200, 'f');
  EXPECT_EQ(ZipOk, ZipExtractToFile(z.Handle, index, fits.c_str()));
  std::string tooLong = "made\\" + std::string(room, 'f');
  EXPECT_EQ(ZipNoFile, ZipExtractToFile(z.Handle, index, tooLong.c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.File("made").c_str()));
  std::string absolute = base + std::string(300, 'a');
  EXPECT_EQ(ZipNoFile, ZipExtractToFile(z.Handle, index, absolute.c_str()));
  ASSERT_EQ(ZipOk, ZipFindEntry(z.Handle, "empty_dir/", false, &index, nullptr));
  EXPECT_EQ(ZipNoFile, ZipExtractToFile(z.Handle, index, tooLong.c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.File("made").c_str()));
}

TEST(ZipTools, HandleSourceStaysOpenAndHandleTargetsAppend) {
  TScratchDir folder("handles");
  // The archive starts at the handle's position, behind other data.
  std::string archive = ReadFileBytes(DataPath("python_stream.zip"));
  ASSERT_TRUE(WriteFileBytes(folder.File("wrapped.bin"), "HEAD" + archive));
  HANDLE source = CreateFileA(folder.File("wrapped.bin").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, source);
  ASSERT_EQ(4u, SetFilePointer(source, 4, nullptr, FILE_BEGIN));
  ZipHandle z = ZipOpenHandle(source, nullptr);
  ASSERT_TRUE(z);
  HANDLE target = CreateFileA(folder.File("out.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written;
  WriteFile(target, ">>", 2, &written, nullptr);
  EXPECT_EQ(ZipOk, ZipExtractToHandle(z, 1, target));
  EXPECT_EQ(ZipOk, ZipExtractToHandle(z, 1, target));
  // The handle's file gets the entry's times, as a file target does.
  ZipEntryInfo info;
  ASSERT_EQ(ZipOk, ZipGetEntry(z, 1, &info));
  FILETIME modified = {};
  ASSERT_TRUE(GetFileTime(target, nullptr, nullptr, &modified));
  EXPECT_EQ(info.ModificationTime.dwLowDateTime, modified.dwLowDateTime);
  EXPECT_EQ(info.ModificationTime.dwHighDateTime, modified.dwHighDateTime);
  CloseHandle(target);
  std::string once;
  for (int i = 0; i < 50; ++i) once += u8"安装说明\r\n";
  EXPECT_TRUE(ReadFileBytes(folder.File("out.bin")) == ">>" + once + once);
  EXPECT_EQ(ZipOk, ZipClose(z));
  // Still the caller's: it reads, then closes.
  char head[4];
  DWORD got = 0;
  ASSERT_EQ(0u, SetFilePointer(source, 0, nullptr, FILE_BEGIN));
  EXPECT_TRUE(ReadFile(source, head, 4, &got, nullptr));
  EXPECT_EQ("HEAD", std::string(head, got));
  EXPECT_TRUE(CloseHandle(source));
}

#ifdef _WIN32
// The stand-in has no pipes; real Win32 refuses to seek one.
TEST(ZipTools, UnseekableHandleIsRefused) {
  HANDLE readEnd, writeEnd;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  EXPECT_FALSE(ZipOpenHandle(readEnd, nullptr));
  EXPECT_EQ("Zip-bug: trying to seek the unseekable", RecentText());
  // As a target a pipe takes the data; that it has no times is no error.
  OpenArchive z("python_stream.zip");
  EXPECT_EQ(ZipOk, ZipExtractToHandle(z.Handle, 1, writeEnd));
  char piece[16] = {};
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(readEnd, piece, 14, &got, nullptr));
  EXPECT_EQ(std::string(u8"安装说明\r\n"), std::string(piece, got));
  CloseHandle(readEnd);
  CloseHandle(writeEnd);
}
#endif

TEST(ZipTools, WriteFailureIsReported) {
  TScratchDir folder("writefail");
  ASSERT_TRUE(WriteFileBytes(folder.File("readonly.bin"), "x"));
  TKernelHandle target(CreateFileA(folder.File("readonly.bin").c_str(), GENERIC_READ,
                                   FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
  OpenArchive z("infozip_basic.zip");
  EXPECT_EQ(ZipWriteFailed, ZipExtractToHandle(z.Handle, 0, target.Get()));
  EXPECT_EQ("Error writing to file", RecentText());
}

TEST(ZipTools, TruncatedToolArchivesFailCleanly) {
  std::string archive = ReadFileBytes(DataPath("infozip_basic.zip"));
  // Cutting the front moves the records away from their offsets.
  for (size_t cut : {1u, 30u, 1000u}) {
    std::string rest = archive.substr(cut);
    EXPECT_FALSE(OpenZip(rest).Handle) << cut;
  }
  // Damage inside the central directory shows per entry.
  for (size_t step = 0; step < 400; step += 3) {
    std::string damaged = archive;
    damaged[damaged.size() - 480 + step] ^= 0x5A;
    OpenZip z(damaged);
    ZipEntryInfo info;
    for (int i = 0; z.Handle && i < 8; ++i) {
      std::string out;
      ZipGetEntry(z.Handle, i, &info);
      ExtractAll(z.Handle, i, 3000, &out);
    }
  }
}

}  // namespace
