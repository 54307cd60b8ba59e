// The panels' wording for a file that failed: what could not be done, to which file, and why in
// plain words, so that every message reads alike.
#pragma once

#include <string>

// Follows a failed save or recording start, which never touch an earlier file of the same name.
inline constexpr const char* kEarlierFileKept = " An earlier file of that name is kept as it was.";

// "Cannot save the preset "/home/u/a.kv7": the disk is full."
inline std::string FileFailureText(const char* action, const std::string& path, const std::string& reason) {
  return std::string("Cannot ") + action + " \"" + path + "\": " + reason + ".";
}
