// Reading the bank's index, and finding the bank from the running program's own path.
#include "bank/bank_catalog.h"

#include <filesystem>
#include <fstream>

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

}  // namespace

bool CBankCatalog::Load(const std::string& bankFolder) {
  folder.clear();
  entries.clear();
  std::ifstream in(std::filesystem::path(bankFolder) / "bank.tsv");
  if (!in) return false;
  std::vector<BankEntry> read;
  std::string line;
  while (std::getline(in, line)) {
    const std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() != 4) return false;
    const BankCategory* category = FindBankCategory(fields[1]);
    const bool sound = fields[0] == "sound";
    if (category == nullptr || (fields[0] != "riff" && !sound) ||
        (category->kind == BankKind::kSound) != sound || fields[2].empty()) {
      return false;
    }
    const std::filesystem::path file = std::filesystem::path(bankFolder) / (sound ? kSoundFolder : kRiffFolder) /
                                       (fields[2] + (sound ? ".kv7" : ".riff"));
    read.push_back(BankEntry{category, fields[2], fields[3], file.string()});
  }
  folder = bankFolder;
  entries = std::move(read);
  return true;
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

const CBankCatalog& CBankCatalog::Installed() {
  static CBankCatalog installed;
  // A program without a bank beside it simply offers none.
  [[maybe_unused]] static const bool loaded = installed.Load(InstalledFolder());
  return installed;
}

std::string CBankCatalog::InstalledFolder() {
  std::error_code failed;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
  if (failed) return {};
  return (program.parent_path().parent_path() / "share" / "quembrel").string();
}
