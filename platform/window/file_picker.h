// CFilePicker: the open and save file dialogs the panels use for presets, riffs and recordings.
// A request carries the kind of dialog, the default extension, the initial file name, flags and a
// filter string of the form "Name|pattern|Name|pattern"; DoModal shows it and, on OK, gives the
// chosen path. Whoever asks says which runner answers: ShowDialog, the real dialog, or a test's
// own, which sees the same request and picks the answer.
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
  CWindow* owner;  // the dialog sits over this window; null for none
};

class CFilePicker {
 public:
  // Shows the request and, when the user confirms, sets `path` and returns true.
  using Runner = bool (*)(const FilePickerRequest& request, std::string& path);

  CFilePicker(bool open, const char* defaultExtension, const std::string& fileName, unsigned flags,
              const char* filter, CWindow* owner = nullptr, Runner runner = &ShowDialog);
  CFilePicker(const CFilePicker&) = delete;
  CFilePicker& operator=(const CFilePicker&) = delete;

  // kIdOk with the chosen path, or kIdCancel leaving the path empty.
  int DoModal();
  // The panels' one way to ask for a file: an open or save dialog, answered by `runner`, that
  // proposes `path` (the last file chosen for the same purpose), or opens on `firstFolder` while
  // `path` is empty; it asks before replacing a file and wants an existing folder. When the user
  // confirms a path, sets `path` to it and returns true.
  static bool Ask(Runner runner, bool open, const char* defaultExtension, const char* filter,
                  std::string& path, const std::string& firstFolder = "", CWindow* owner = nullptr);
  // The chosen path as the file system spells it, ready for the standard file functions.
  const std::string& GetPathName() const { return path; }

  // The filter string as a list of name filters "Name (pattern pattern)"; ";" separates several
  // patterns of one entry, and "*.*" means every file. An entry without a pattern shows every file.
  static std::vector<std::string> NameFilters(const std::string& filter);
  // The real dialog, over the request's owner window.
  static bool ShowDialog(const FilePickerRequest& request, std::string& path);

 private:
  FilePickerRequest request;
  Runner runner;
  std::string path;
};
