// CFilePicker: file dialogs over the toolkit's own dialog, or the runner a test gives.
#include "platform/window/file_picker.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

#include "platform/window/message.h"
#include "platform/window/window.h"

namespace {

std::vector<std::string> SplitBars(const std::string& text) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (c == '|') {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  parts.push_back(current);
  return parts;
}

std::string PatternList(const std::string& patterns) {
  std::string list;
  std::string current;
  auto flush = [&] {
    const std::string pattern = current == "*.*" ? "*" : current;
    current.clear();
    if (pattern.empty()) {
      return;
    }
    if (!list.empty()) {
      list += ' ';
    }
    list += pattern;
  };
  for (char c : patterns) {
    if (c == ';' || c == ' ') {
      flush();
    } else {
      current += c;
    }
  }
  flush();
  return list.empty() ? "*" : list;
}

}  // namespace

CFilePicker::CFilePicker(bool open, const char* defaultExtension, const std::string& fileName,
                         unsigned flags, const char* filter, CWindow* owner, Runner answer)
    : request{open, defaultExtension ? defaultExtension : "", fileName, flags, filter ? filter : "", owner},
      runner(answer != nullptr ? answer : &ShowDialog) {}

std::vector<std::string> CFilePicker::NameFilters(const std::string& filter) {
  const std::vector<std::string> parts = SplitBars(filter);
  std::vector<std::string> filters;
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    if (parts[i].empty() && (i + 1 >= parts.size() || parts[i + 1].empty())) {
      continue;
    }
    const std::string patterns = PatternList(i + 1 < parts.size() ? parts[i + 1] : "");
    const std::string name = parts[i].empty() ? patterns : parts[i];
    filters.push_back(name + " (" + patterns + ")");
  }
  return filters;
}

int CFilePicker::DoModal() {
  path.clear();
  std::string chosen;
  if (!runner(request, chosen)) {
    return kIdCancel;
  }
  path = chosen;
  return kIdOk;
}

bool CFilePicker::Ask(Runner runner, bool open, const char* defaultExtension, const char* filter,
                      std::string& path, const std::string& firstFolder, CWindow* owner) {
  const std::string proposed = path.empty() && !firstFolder.empty() ? firstFolder + "/" : path;
  CFilePicker picker(open, defaultExtension, proposed,
                     kFileHideReadOnly | kFileOverwritePrompt | kFilePathMustExist, filter, owner, runner);
  if (picker.DoModal() != kIdOk || picker.GetPathName().empty()) {
    return false;
  }
  path = picker.GetPathName();
  return true;
}

bool CFilePicker::ShowDialog(const FilePickerRequest& request, std::string& path) {
  QFileDialog dialog(request.owner != nullptr ? request.owner->GetWidget() : nullptr,
                     request.open ? QObject::tr("Open") : QObject::tr("Save As"));
  dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dialog.setFileMode(request.open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  QStringList filters;
  for (const std::string& f : NameFilters(request.filter)) {
    filters << QString::fromStdString(f);
  }
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
  }
  if (!request.defaultExtension.empty()) {
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  }
  if (!(request.flags & kFileOverwritePrompt)) {
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  }
  if (!request.fileName.empty()) {
    const QFileInfo initial(QFile::decodeName(request.fileName.c_str()));
    if (initial.absoluteDir().exists()) {
      dialog.setDirectory(initial.absolutePath());
    }
    dialog.selectFile(initial.fileName());
  }
  while (dialog.exec() == QDialog::Accepted) {
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) {
      return false;
    }
    const QFileInfo chosen(files.first());
    if ((request.flags & kFilePathMustExist) && !chosen.absoluteDir().exists()) {
      QMessageBox::warning(&dialog, dialog.windowTitle(),
                           QObject::tr("The folder %1 does not exist.")
                               .arg(QDir::toNativeSeparators(chosen.absolutePath())));
      continue;
    }
    path = QFile::encodeName(chosen.absoluteFilePath()).toStdString();
    return true;
  }
  return false;
}
