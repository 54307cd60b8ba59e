// COutputFile: where a write goes (links followed, devices and pipes written through), the
// temporary file beside a regular target, and the rename that replaces the target at once.
#include "files/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Linux's own limit on the links followed in one path.
constexpr int kMaxLinks = 40;
constexpr int kTemporaryTries = 100;

// The file a write to `path` lands in: each symbolic link replaced by what it names, relative to
// the link's folder, so that even a link to a file not there yet is followed.
bool FollowLinks(std::string path, std::string& target, int& cause) {
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      target = path;
      return true;
    }
    std::vector<char> buffer(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 255) + 1);
    const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
    if (length < 0 || static_cast<std::size_t>(length) >= buffer.size()) {
      cause = length < 0 ? errno : ENAMETOOLONG;
      return false;
    }
    const std::string link(buffer.data(), static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    path = link[0] == '/' || slash == std::string::npos ? link : path.substr(0, slash + 1) + link;
  }
  cause = ELOOP;
  return false;
}

std::string TemporaryName() {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kLetters) - 2);
  std::string name = ".quembrel-";
  for (int i = 0; i < 6; ++i) {
    name += kLetters[pick(random)];
  }
  return name;
}

}  // namespace

COutputFile::~COutputFile() { Close(); }

bool COutputFile::Fail(int cause) {
  if (error == 0) {
    error = cause != 0 ? cause : EIO;
  }
  return false;
}

bool COutputFile::Open(const char* path, OutputTargets targets) {
  Close();
  error = 0;
  if (path == nullptr || *path == '\0') {
    return Fail(ENOENT);
  }
  struct stat status {};
  const bool exists = stat(path, &status) == 0;
  if (!exists && errno != ENOENT) {
    return Fail(errno);
  }
  if (exists && S_ISDIR(status.st_mode)) {
    return Fail(EISDIR);
  }
  if (exists && !S_ISREG(status.st_mode)) {
    return targets != OutputTargets::kRegularFiles ? OpenDirect(path, targets) : Fail(kNotRegularFile);
  }
  std::string target;
  int cause = 0;
  if (!FollowLinks(path, target, cause)) {
    return Fail(cause);
  }
  return CreateTemporary(target, exists ? &status : nullptr);
}

bool COutputFile::OpenStandardOutput() {
  Close();
  error = 0;
  const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  return fd >= 0 ? Adopt(fd, lseek(fd, 0, SEEK_CUR) >= 0) : Fail(errno);
}

bool COutputFile::OpenDirect(const char* path, OutputTargets targets) {
  if (targets == OutputTargets::kAnyWritable) {
    const int fd = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    return fd >= 0 ? Adopt(fd, false) : Fail(errno);
  }
  struct stat status {};
  if (stat(path, &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))) {
    return Fail(kIsPipe);
  }
  // Opened without waiting and looked at again through the descriptor, so that a FIFO put in the
  // target's place meanwhile cannot hold the caller up either.
  const int fd = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Fail(errno);
  const int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &status) != 0 || S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode) || flags < 0 ||
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return Fail(kIsPipe);
  }
  return Adopt(fd, false);
}

bool COutputFile::Adopt(int fd, bool canSeek) {
  stream = fdopen(fd, "wb");
  if (stream == nullptr) {
    const int cause = errno;
    close(fd);
    Close();
    return Fail(cause);
  }
  seekable = canSeek;
  return true;
}

bool COutputFile::CreateTemporary(const std::string& target, const struct stat* earlier) {
  const std::size_t slash = target.rfind('/');
  const std::string folderPath = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  name = slash == std::string::npos ? target : target.substr(slash + 1);
  if (name.empty()) {
    return Fail(EISDIR);
  }
  // The folder is held open and every name used relative to it, so a temporary name never makes
  // a path longer than the target's own.
  folder = open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) {
    return Fail(errno);
  }
  int fd = -1;
  for (int attempt = 0; attempt < kTemporaryTries && fd < 0; ++attempt) {
    temporaryName = TemporaryName();
    // 0666 lets the umask decide a new file's permissions, as any program's new file.
    fd = openat(folder, temporaryName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) {
      break;
    }
  }
  if (fd < 0) {
    const int cause = errno;
    temporaryName.clear();
    close(folder);
    folder = -1;
    return Fail(cause);
  }
  if (earlier != nullptr) {
    // The owner only changes where the user may give the file away (the superuser); the mode
    // comes after, since a change of owner clears the set-id bits.
    if (earlier->st_uid != geteuid() || earlier->st_gid != getegid()) {
      (void)fchown(fd, earlier->st_uid, earlier->st_gid);
    }
    fchmod(fd, earlier->st_mode & 07777);
  }
  return Adopt(fd, true);
}

bool COutputFile::Commit() {
  if (stream == nullptr) {
    return Fail(EBADF);
  }
  if (std::fflush(stream) != 0 || std::ferror(stream)) {
    return Fail(errno);
  }
  if (temporaryName.empty() || committed) {
    return error == 0;
  }
  if (fsync(fileno(stream)) != 0) {
    return Fail(errno);
  }
  if (renameat(folder, temporaryName.c_str(), folder, name.c_str()) != 0) {
    return Fail(errno);
  }
  // The rename itself reaches the disk only with the folder.
  fsync(folder);
  committed = true;
  return error == 0;
}

bool COutputFile::Close() {
  bool closed = true;
  if (stream != nullptr) {
    closed = std::fflush(stream) == 0 || Fail(errno);
    closed = std::fclose(stream) == 0 ? closed : Fail(errno);
    stream = nullptr;
  }
  if (!temporaryName.empty() && !committed) {
    unlinkat(folder, temporaryName.c_str(), 0);
  }
  if (folder >= 0) {
    close(folder);
  }
  folder = -1;
  name.clear();
  temporaryName.clear();
  seekable = false;
  committed = false;
  return closed;
}

std::string COutputFile::ErrorText() const { return Describe(error); }

std::string COutputFile::Describe(int cause) {
  switch (cause) {
    case 0:
      return "no error";
    case kNotRegularFile:
      return "it is not a regular file";
    case kIsPipe:
      return "it is a pipe, which would hold the program up until something reads it";
    case ENOSPC:
      return "the disk is full";
    case EDQUOT:
      return "the disk quota is used up";
    case EACCES:
    case EPERM:
      return "permission denied";
    case ENOENT:
      return "no such file or folder";
    case ENOTDIR:
      return "a part of the path is not a folder";
    case EISDIR:
      return "it is a directory";
    case EROFS:
      return "the disk is read-only";
    case ENAMETOOLONG:
      return "the name is too long";
    case EFBIG:
      return "the file is too large";
    case EIO:
      return "the disk reported an error";
    case EPIPE:
      return "the reader closed the pipe";
    default: {
      std::string text = std::strerror(cause);
      if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') {
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
      }
      return text;
    }
  }
}
