// COutputFile: a file the program writes, written so that nothing is lost whatever happens. A
// regular file, or a name not taken yet, is written to a temporary file beside it that takes the
// name only on Commit: a write that fails or is cut short leaves the earlier file as it was. The
// temporary file gets the earlier file's permission bits (a new file those the user's umask
// gives) and a name short enough to sit beside any valid name. A symbolic link is followed: the
// file it names is replaced and the link stays. A device, a FIFO or standard output is written
// through directly, since nothing could take its place; where only files make sense (presets,
// riffs) the caller asks for regular files and anything else is refused. A caller that must not
// wait (the program's recorder, driven from its window) refuses FIFOs and sockets, whose opening
// and writing wait on whoever reads them.
//
// Every failure keeps the first error, and Describe turns it into plain words for a message.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>

enum class OutputTargets { kRegularFiles, kFilesAndDevices, kAnyWritable };

class COutputFile {
 public:
  // The error of a target that is not a regular file where only those are wanted.
  static constexpr int kNotRegularFile = -1;
  // The error of a FIFO or socket where files and devices are wanted.
  static constexpr int kIsPipe = -2;

  COutputFile() = default;
  // Closes the file; a temporary file not committed is removed.
  ~COutputFile();
  COutputFile(const COutputFile&) = delete;
  COutputFile& operator=(const COutputFile&) = delete;

  // Opens `path` for writing from its first byte; false with the error kept when it cannot.
  bool Open(const char* path, OutputTargets targets);
  // Writes to the process's standard output.
  bool OpenStandardOutput();
  // The open stream, or null.
  std::FILE* Stream() const { return stream; }
  // Regular files can be rewritten in place (a header filled in last); pipes and devices cannot.
  bool IsSeekable() const { return seekable; }
  // Makes everything written so far the target's content: flushed, and a temporary file synced
  // to the disk and renamed over the target. The stream stays open, so writing may go on.
  bool Commit();
  // Flushes and closes; a temporary file not committed is removed, keeping the earlier file.
  // Returns false when the flush or the close failed.
  bool Close();

  // The error (an errno value, kNotRegularFile or kIsPipe) of the first failure since Open; 0 when
  // none.
  int Error() const { return error; }
  // The reason for the first failure in plain words ("the disk is full").
  std::string ErrorText() const;
  static std::string Describe(int error);

 private:
  bool Fail(int cause);
  bool OpenDirect(const char* path, OutputTargets targets);
  bool Adopt(int fd, bool canSeek);
  bool CreateTemporary(const std::string& target, const struct stat* earlier);

  std::FILE* stream = nullptr;
  int folder = -1;
  std::string name;
  std::string temporaryName;
  bool seekable = false;
  bool committed = false;
  int error = 0;
};
