// The parameter file shared by every module: a little-endian int16 count, then that many int16
// values in index order. A load reads and checks the whole file before it changes anything, so a
// damaged file leaves the module as it was; a save goes to a temporary file that replaces the
// target only once it is complete, so a failed save leaves the old file intact.
#include "engine/sound_module.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

// Only regular files are parameter files: a directory fails to read, and a pipe or device would
// block or be replaced.
bool IsRegularOrAbsent(const std::filesystem::path& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  return status.type() == std::filesystem::file_type::not_found || status.type() == std::filesystem::file_type::regular;
}

bool ReadInt16(std::FILE* file, ParamValue& value) {
  unsigned char bytes[2];
  if (std::fread(bytes, 1, 2, file) != 2) return false;
  value = static_cast<ParamValue>(static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
  return true;
}

bool WriteInt16(std::FILE* file, ParamValue value) {
  const auto bits = static_cast<std::uint16_t>(value);
  const unsigned char bytes[2] = {static_cast<unsigned char>(bits & 0xFF), static_cast<unsigned char>(bits >> 8)};
  return std::fwrite(bytes, 1, 2, file) == 2;
}

}  // namespace

bool CSoundModule::SaveParams(const char* path) {
  if (path == nullptr || *path == '\0' || !IsRegularOrAbsent(path)) return false;
  // Through a link, the file it names is replaced, not the link.
  std::error_code error;
  std::string target = std::filesystem::weakly_canonical(path, error).string();
  if (error || target.empty()) target = path;
  const std::string temporary = target + ".part";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return false;
  const int count = GetParamCount();
  bool written = WriteInt16(file, static_cast<ParamValue>(count));
  for (int i = 0; i < count && written; ++i) written = WriteInt16(file, GetParam(i));
  written = std::fflush(file) == 0 && written;
  written = std::fclose(file) == 0 && written;
  if (written && std::rename(temporary.c_str(), target.c_str()) == 0) return true;
  std::remove(temporary.c_str());
  return false;
}

bool CSoundModule::LoadParams(const char* path) {
  if (path == nullptr || *path == '\0' || !IsRegularOrAbsent(path)) return false;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  ParamValue count = 0;
  bool complete = ReadInt16(file, count);
  if (complete && count > GetParamCount()) complete = false;
  std::vector<ParamValue> values(complete && count > 0 ? count : 0);
  for (ParamValue& value : values) {
    if (!ReadInt16(file, value)) {
      complete = false;
      break;
    }
  }
  std::fclose(file);
  if (!complete) return false;
  for (int i = 0; i < static_cast<int>(values.size()); ++i) SetParam(i, values[i]);
  return true;
}
