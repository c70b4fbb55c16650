// Files and folders on POSIX descriptors. A HANDLE is a heap-held descriptor;
// paths may use '\' as on Windows.
#include <windows.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct FileObject {
  int fd;
};

std::string NativePath(LPCSTR name) {
  std::string path(name ? name : "");
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

DWORD ErrorFromErrno(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_FILE_EXISTS;
    // EBADF: a write through a handle opened for reading only.
    case EACCES: case EPERM: case EISDIR: case EROFS: case EBADF: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_PATH_NOT_FOUND;
    default: return ERROR_INVALID_PARAMETER;
  }
}

bool ParentExists(const std::string& path) {
  std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return true;
  struct stat st;
  return stat(path.substr(0, slash).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Windows says "path not found" when a folder on the way is missing.
void SetMissingError(const std::string& path, int e) {
  SetLastError(e == ENOENT && !ParentExists(path) ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(e));
}

DWORD AttributesOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

// A path handed out as the -A calls do: the length without the terminator,
// or, when the buffer is too small, the size needed with it and no copy.
DWORD CopyOut(const std::string& path, DWORD length, LPSTR buffer) {
  DWORD n = static_cast<DWORD>(path.size());
  if (n + 1 > length || !buffer) return n + 1;
  std::memcpy(buffer, path.c_str(), n + 1);
  return n;
}

FileObject* FromHandle(HANDLE h) {
  if (!h || h == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<FileObject*>(h);
}

// Repeats read(2) or write(2) until `size` bytes have moved, again after a
// signal, since one ReadFile or WriteFile call moves them all. io(done) moves
// bytes from offset `done` on and answers as read and write do. A call that
// moves nothing ends the loop: with endAtZero it is end of file (success
// with fewer bytes, as a read has it), else a failure (as a write has it).
// *moved, when asked, gets the count moved either way.
template <typename Io>
BOOL MoveAll(DWORD size, LPDWORD moved, bool endAtZero, Io io) {
  DWORD done = 0;
  while (done < size) {
    ssize_t n = io(done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 && endAtZero) break;
    if (n <= 0) {
      SetLastError(ErrorFromErrno(errno));
      if (moved) *moved = done;
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (moved) *moved = done;
  return TRUE;
}

}  // namespace

int NativeDescriptor(HANDLE file) {
  FileObject* f = FromHandle(file);
  return f ? f->fd : -1;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
  std::string path = NativePath(name);
  int openFlags = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (disposition) {
    case CREATE_NEW: openFlags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: openFlags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: openFlags |= O_CREAT; break;
    case TRUNCATE_EXISTING: openFlags |= O_TRUNC; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  bool existed = stat(path.c_str(), &st) == 0;
  if (existed && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // Windows refuses to write to a read-only file even for its owner (and
  // root ignores the mode bits), so check the owner's write bit ourselves.
  if (existed && (access & GENERIC_WRITE) && !(st.st_mode & S_IWUSR)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // A new file made read-only can still be written through this handle.
  mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
  int fd = open(path.c_str(), openFlags | O_CLOEXEC, mode);
  if (fd < 0) {
    SetMissingError(path, errno);
    return INVALID_HANDLE_VALUE;
  }
  // Win32 reports an existing file for these dispositions even on success.
  SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS);
  return new FileObject{fd};
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void*) {
  if (read) *read = 0;
  FileObject* f = FromHandle(file);
  if (!f) return FALSE;
  return MoveAll(toRead, read, true,
                 [&](DWORD done) { return ::read(f->fd, static_cast<char*>(buffer) + done, toRead - done); });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, void*) {
  if (written) *written = 0;
  FileObject* f = FromHandle(file);
  if (!f) return FALSE;
  return MoveAll(toWrite, written, false,
                 [&](DWORD done) { return ::write(f->fd, static_cast<const char*>(buffer) + done, toWrite - done); });
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  FileObject* f = FromHandle(file);
  if (!f) return INVALID_SET_FILE_POINTER;
  int64_t offset = distanceHigh
                       ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                              static_cast<uint32_t>(distance))
                       : distance;
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  if (method > FILE_END) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  off_t base = whence == SEEK_SET ? 0 : lseek(f->fd, 0, whence);
  if (base + offset < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  off_t pos = lseek(f->fd, static_cast<off_t>(base + offset), SEEK_SET);
  if (pos < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(pos) >> 32);
  SetLastError(NO_ERROR);  // callers tell a real failure by the last error
  return static_cast<DWORD>(pos);
}

BOOL CloseHandle(HANDLE handle) {
  FileObject* f = FromHandle(handle);
  if (!f) return FALSE;
  ::close(f->fd);
  delete f;
  return TRUE;
}

DWORD GetFileAttributesA(LPCSTR name) {
  std::string path = NativePath(name);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    SetMissingError(path, errno);
    return INVALID_FILE_ATTRIBUTES;
  }
  return AttributesOf(st);
}

BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES) {
  std::string path = NativePath(name);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (mkdir(path.c_str(), 0755) != 0) {
    SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS
                 : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                   : ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD length, LPSTR buffer) {
  char path[4096];
  if (!getcwd(path, sizeof path)) {
    SetLastError(ErrorFromErrno(errno));
    return 0;
  }
  return CopyOut(path, length, buffer);
}

DWORD GetTempPathA(DWORD length, LPSTR buffer) {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir && *dir ? dir : "/tmp";
  if (path.back() != '/') path += '/';
  return CopyOut(path, length, buffer);
}

BOOL DeleteFileA(LPCSTR name) {
  std::string path = NativePath(name);
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR))) {
    SetLastError(ERROR_ACCESS_DENIED);  // Windows keeps read-only files and folders
    return FALSE;
  }
  if (unlink(path.c_str()) != 0) {
    SetMissingError(path, errno);
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR name) {
  std::string path = NativePath(name);
  if (rmdir(path.c_str()) != 0) {
    SetMissingError(path, errno);
    return FALSE;
  }
  return TRUE;
}

BOOL SetFileAttributesA(LPCSTR name, DWORD attributes) {
  std::string path = NativePath(name);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    SetMissingError(path, errno);
    return FALSE;
  }
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~0222) : (mode | S_IWUSR);
  if (chmod(path.c_str(), mode) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

// Folder listings over opendir. The times come from times.cpp, which knows
// the FILETIME epoch.
FILETIME NativeFileTime(const struct timespec& ts);

namespace {

struct FindObject {
  DIR* dir;
  std::string folder;   // ends in '/'
  std::string pattern;  // the last part of the path asked for
};

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool Matches(const char* pattern, const char* name) {
  for (; *pattern; ++pattern, ++name) {
    if (*pattern == '*') {
      for (const char* rest = name;; ++rest) {
        if (Matches(pattern + 1, rest)) return true;
        if (!*rest) return false;
      }
    }
    if (!*name || (*pattern != '?' && Folded(*pattern) != Folded(*name))) return false;
  }
  return !*name;
}

// The next entry that matches, described in data; false at the end.
bool NextMatch(FindObject& find, LPWIN32_FIND_DATAA data) {
  while (const dirent* entry = readdir(find.dir)) {
    struct stat st;
    if (std::strlen(entry->d_name) >= MAX_PATH || !Matches(find.pattern.c_str(), entry->d_name) ||
        stat((find.folder + entry->d_name).c_str(), &st) != 0) {
      continue;  // an entry removed since the listing began is passed over
    }
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = AttributesOf(st);
    data->ftCreationTime = NativeFileTime(st.st_mtim);
    data->ftLastAccessTime = NativeFileTime(st.st_atim);
    data->ftLastWriteTime = NativeFileTime(st.st_mtim);
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    std::strcpy(data->cFileName, entry->d_name);
    return true;
  }
  return false;
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  std::string path = NativePath(pattern);
  std::string::size_type slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    int e = errno;
    SetLastError(e == ENOENT || e == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(e));
    return INVALID_HANDLE_VALUE;
  }
  FindObject* find = new FindObject{dir, folder, path.substr(slash + 1)};
  if (!NextMatch(*find, data)) {
    FindClose(find);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return find;
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
  if (!find || find == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!NextMatch(*static_cast<FindObject*>(find), data)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  if (!find || find == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  FindObject* f = static_cast<FindObject*>(find);
  closedir(f->dir);
  delete f;
  return TRUE;
}
