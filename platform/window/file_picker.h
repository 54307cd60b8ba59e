// CFilePicker: the open and save file dialogs the panels use for presets, riffs and recordings.
// A request carries the kind of dialog, the default extension, the initial file name, flags and a
// filter string of the form "Name|pattern|Name|pattern"; DoModal shows it and, on OK, gives the
// chosen path. Tests install a runner of their own in place of the real dialog, which sees the
// same request and picks the answer.
#pragma once

#include <string>
#include <vector>

class CWindow;

constexpr unsigned kFileOverwritePrompt = 0x2;  // save: ask before replacing an existing file
constexpr unsigned kFileHideReadOnly = 0x4;     // no read-only choice (there is none here anyway)
constexpr unsigned kFilePathMustExist = 0x800;  // the chosen file's folder must exist

struct FilePickerRequest {
  bool open;
  std::string defaultExtension;  // without the dot; added to a typed name that has none
  std::string fileName;          // proposed at first; a full path picks the folder too
  unsigned flags;
  std::string filter;
};

class CFilePicker {
 public:
  // Shows the request and, when the user confirms, sets `path` and returns true.
  using Runner = bool (*)(const FilePickerRequest& request, std::string& path);

  CFilePicker(bool open, const char* defaultExtension, const std::string& fileName, unsigned flags,
              const char* filter, CWindow* owner = nullptr);
  CFilePicker(const CFilePicker&) = delete;
  CFilePicker& operator=(const CFilePicker&) = delete;

  // kIdOk with the chosen path, or kIdCancel leaving the path empty.
  int DoModal();
  // The panels' one way to ask for a file: an open or save dialog that proposes `path` (the last
  // file chosen for the same purpose), or opens on `firstFolder` while `path` is empty; it asks
  // before replacing a file and wants an existing folder. When the user confirms a path, sets
  // `path` to it and returns true.
  static bool Ask(bool open, const char* defaultExtension, const char* filter, std::string& path,
                  const std::string& firstFolder = "", CWindow* owner = nullptr);
  // The chosen path as the file system spells it, ready for the standard file functions.
  const std::string& GetPathName() const { return path; }

  // The filter string as a list of name filters "Name (pattern pattern)"; ";" separates several
  // patterns of one entry, and "*.*" means every file. An entry without a pattern shows every file.
  static std::vector<std::string> NameFilters(const std::string& filter);
  // Replaces the real dialog (null puts it back); returns the runner that was in use.
  static Runner SetRunner(Runner runner);

 private:
  static bool RunDialog(const FilePickerRequest& request, std::string& path);

  FilePickerRequest request;
  CWindow* owner;
  std::string path;
};
