// The parameter file shared by every module: a little-endian int16 count, then that many int16
// values in index order. A load reads and checks the whole file before it changes anything, so a
// damaged file leaves the module as it was; a save goes through COutputFile, so a failed save
// leaves the old file intact.
#include "engine/sound_module.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "files/output_file.h"
#include "files/param_file.h"

namespace {

bool ReadWord(std::FILE* file, ParamValue& value) {
  std::uint8_t bytes[2];
  if (std::fread(bytes, 1, 2, file) != 2) return false;
  value = param_file::DecodeWord(bytes);
  return true;
}

bool Refuse(std::string* error, const std::string& reason) {
  if (error != nullptr) *error = reason;
  return false;
}

}  // namespace

bool CSoundModule::SaveParams(const char* path, std::string* error) {
  COutputFile out;
  if (!out.Open(path, OutputTargets::kRegularFiles)) return Refuse(error, out.ErrorText());
  const int count = GetParamCount();
  std::vector<ParamValue> values(count);
  for (int i = 0; i < count; ++i) values[i] = GetParam(i);
  std::vector<std::uint8_t> bytes(param_file::Size(count));
  param_file::Encode(values.data(), count, bytes.data());
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out.Stream()) == bytes.size();
  if (!written || !out.Commit() || !out.Close()) {
    return Refuse(error, COutputFile::Describe(out.Error() != 0 ? out.Error() : errno));
  }
  return true;
}

bool CSoundModule::LoadParams(const char* path, std::string* error) {
  if (path == nullptr || *path == '\0') return Refuse(error, COutputFile::Describe(ENOENT));
  struct stat status {};
  if (stat(path, &status) != 0) return Refuse(error, COutputFile::Describe(errno));
  // Only regular files are parameter files: a directory fails to read, and a pipe or device would
  // block.
  if (S_ISDIR(status.st_mode)) return Refuse(error, COutputFile::Describe(EISDIR));
  if (!S_ISREG(status.st_mode)) return Refuse(error, COutputFile::Describe(COutputFile::kNotRegularFile));
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return Refuse(error, COutputFile::Describe(errno));
  ParamValue count = 0;
  bool complete = ReadWord(file, count);
  std::string reason = complete ? "" : "it is too short to hold any values";
  if (complete && count > GetParamCount()) {
    complete = false;
    reason = "it says it holds " + std::to_string(count) + " values, and this kind of file holds at most " +
             std::to_string(GetParamCount());
  }
  std::vector<ParamValue> values(complete && count > 0 ? count : 0);
  for (ParamValue& value : values) {
    if (!ReadWord(file, value)) {
      complete = false;
      reason = "it ends before its last value (the file is cut short)";
      break;
    }
  }
  std::fclose(file);
  if (!complete) return Refuse(error, reason);
  for (int i = 0; i < static_cast<int>(values.size()); ++i) SetParam(i, values[i]);
  return true;
}
