// Reading the bank's index, and finding the bank from the running program's own path.
#include "bank/bank_catalog.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bank/bank_text.h"
#include "files/output_file.h"

namespace {

constexpr const char* kSoundFolder = "sounds";
constexpr const char* kRiffFolder = "riffs";

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

// Undoes IndexLine's escapes (\\ and \xNN); false on one that is not among them.
bool Unescaped(std::string_view field, std::string& text) {
  text.clear();
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      text += field[i];
    } else if (i + 1 < field.size() && field[i + 1] == '\\') {
      text += '\\';
      ++i;
    } else {
      unsigned value = 0;
      if (i + 3 >= field.size() || field[i + 1] != 'x' ||
          std::from_chars(field.data() + i + 2, field.data() + i + 4, value, 16).ptr != field.data() + i + 4) {
        return false;
      }
      text += static_cast<char>(value);
      i += 3;
    }
  }
  return true;
}

}  // namespace

bool CBankCatalog::Load(const std::string& bankFolder) {
  folder.clear();
  entries.clear();
  problems.clear();
  const std::filesystem::path index = std::filesystem::path(bankFolder) / "bank.tsv";
  std::ifstream in(index);
  if (!in) return false;
  std::string line;
  for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
    const std::string problem = ReadEntry(bankFolder, line);
    if (!problem.empty()) {
      problems.push_back(Printable(index.string(), std::string::npos) + ":" + std::to_string(lineNumber) + ": " +
                         problem + "; the entry is left out");
    }
  }
  folder = bankFolder;
  return true;
}

std::string CBankCatalog::ReadEntry(const std::string& bankFolder, const std::string& line) {
  const std::vector<std::string> fields = SplitTabs(line);
  if (fields.size() != 4) return "expected 4 tab-separated fields, found " + std::to_string(fields.size());
  const bool sound = fields[0] == "sound";
  if (!sound && fields[0] != "riff") return "unknown kind '" + Printable(fields[0]) + "'";
  const BankCategory* category = FindBankCategory(fields[1]);
  if (category == nullptr || (category->kind == BankKind::kSound) != sound) {
    return "no " + fields[0] + " category '" + Printable(fields[1]) + "'";
  }
  // The name becomes a file name: nothing may lead out of the bank's folder.
  if (!IsBankName(fields[2])) return "'" + Printable(fields[2]) + "' is not a bank name";
  if (Find(category->kind, fields[2]) != nullptr) return "a second " + fields[0] + " named '" + fields[2] + "'";
  std::string description;
  if (!Unescaped(fields[3], description)) return "a broken escape in the description";
  if (const std::string reason = UnprintableReason(description); !reason.empty()) {
    return "the description holds " + reason;
  }
  const std::filesystem::path file = std::filesystem::path(bankFolder) / (sound ? kSoundFolder : kRiffFolder) /
                                     (fields[2] + (sound ? ".kv7" : ".riff"));
  entries.push_back(BankEntry{category, fields[2], description, file.string()});
  return {};
}

const BankEntry* CBankCatalog::Find(BankKind kind, std::string_view name) const {
  for (const BankEntry& entry : entries) {
    if (entry.category->kind == kind && entry.name == name) return &entry;
  }
  return nullptr;
}

std::string CBankCatalog::FolderOf(BankKind kind) const {
  if (folder.empty()) return {};
  return (std::filesystem::path(folder) / (kind == BankKind::kSound ? kSoundFolder : kRiffFolder)).string();
}

bool CBankCatalog::ResolveName(BankKind kind, const std::string& given, std::string& path,
                               std::string& error) const {
  struct stat file {};
  if (stat(given.c_str(), &file) == 0) {
    path = given;
    return true;
  }
  const int cause = errno;
  if (const BankEntry* entry = Find(kind, given)) {
    path = entry->path;
    return true;
  }
  const auto word = [](BankKind k) { return k == BankKind::kSound ? "sound" : "riff"; };
  const BankKind other = kind == BankKind::kSound ? BankKind::kRiff : BankKind::kSound;
  std::string bankPart;
  if (entries.empty()) {
    bankPart = "a bank entry (no factory bank found in '" + (folder.empty() ? InstalledFolder() : folder) + "')";
  } else {
    bankPart = std::string("a ") + word(kind) + " of the factory bank";
    if (Find(other, given) != nullptr) {
      bankPart += std::string(": the bank has it as a ") + word(other) + ", use " +
                  (other == BankKind::kSound ? "--preset " : "--riff ") + given;
    }
    bankPart += "; 'quembrel-render --list' lists the bank";
  }
  error = std::string("cannot read ") + (kind == BankKind::kSound ? "preset" : "riff") + " '" + given +
          "': it is neither a readable file (" + COutputFile::Describe(cause) + ") nor " + bankPart;
  return false;
}

const CBankCatalog& CBankCatalog::Installed() {
  static CBankCatalog installed;
  // A program without a bank beside it simply offers none.
  [[maybe_unused]] static const bool loaded = [] {
    const bool found = installed.Load(InstalledFolder());
    for (const std::string& problem : installed.problems) {
      std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, problem.c_str());
    }
    return found;
  }();
  return installed;
}

std::string CBankCatalog::IndexLine(const BankCategory& category, std::string_view name,
                                    std::string_view description) {
  std::string line = std::string(category.kind == BankKind::kSound ? "sound" : "riff") + "\t" + category.word + "\t";
  line += name;
  line += '\t';
  for (const char c : description) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      line += "\\\\";
    } else if (byte < 0x20 || byte == 0x7F) {
      constexpr char kDigits[] = "0123456789ABCDEF";
      line += "\\x";
      line += kDigits[byte >> 4];
      line += kDigits[byte & 0xF];
    } else {
      line += c;
    }
  }
  return line + "\n";
}

std::string CBankCatalog::InstalledFolder() {
  std::error_code failed;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
  if (failed) return {};
  const std::filesystem::path besideProgram = program.parent_path().parent_path() / "share" / "quembrel";
  // Loaded by a host as the plugin window, this code lies in the plugin's bundle instead:
  // lib/lv2/quembrel.lv2 under the prefix, lv2/quembrel.lv2 in the build tree.
  Dl_info module{};
  if (std::filesystem::exists(besideProgram / "bank.tsv", failed) ||
      dladdr(reinterpret_cast<void*>(&CBankCatalog::InstalledFolder), &module) == 0 || module.dli_fname == nullptr) {
    return besideProgram.string();
  }
  std::filesystem::path prefix = std::filesystem::path(module.dli_fname).parent_path();
  for (int up = 0; up < 3; ++up) {
    prefix = prefix.parent_path();
    if (std::filesystem::exists(prefix / "share" / "quembrel" / "bank.tsv", failed)) {
      return (prefix / "share" / "quembrel").string();
    }
  }
  return besideProgram.string();
}
