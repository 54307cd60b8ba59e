// quembrel-bankgen: turns the bank's texts into the files the program loads.
//
//   quembrel-bankgen BANK_SOURCE OUTPUT
//
// reads BANK_SOURCE/sounds/*.txt and BANK_SOURCE/riffs/*.txt and writes OUTPUT/sounds/NAME.kv7,
// OUTPUT/riffs/NAME.riff and the index OUTPUT/bank.tsv. Both folders must be there. Every text is
// checked before anything is written, so one refused text (reported with its file and line)
// leaves no half-made bank. The output depends on the texts alone: the same texts give the same
// bytes.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bank/bank_catalog.h"
#include "bank/bank_text.h"
#include "files/output_file.h"

namespace {

namespace fs = std::filesystem;

std::string Shown(const fs::path& path) { return Printable(path.string(), std::string::npos); }

// The texts in one of the source's folders, in name order; false with a message when the folder
// cannot be listed, since a bank without its sounds or riffs is a mistake, not an empty bank.
bool TextsIn(const fs::path& folder, std::vector<fs::path>& texts) {
  std::error_code failed;
  for (fs::directory_iterator item(folder, failed), end; !failed && item != end; item.increment(failed)) {
    if (item->path().extension() == ".txt") texts.push_back(item->path());
  }
  if (failed) {
    std::fprintf(stderr, "quembrel-bankgen: cannot read the folder %s: %s\n", Shown(folder).c_str(),
                 COutputFile::Describe(failed.value()).c_str());
    return false;
  }
  std::sort(texts.begin(), texts.end());
  return true;
}

// Writes the whole file or nothing; false with a message giving the system's reason.
bool WriteWhole(const fs::path& path, const std::string& bytes) {
  COutputFile out;
  if (out.Open(path.c_str(), OutputTargets::kRegularFiles) &&
      std::fwrite(bytes.data(), 1, bytes.size(), out.Stream()) == bytes.size() && out.Commit() && out.Close()) {
    return true;
  }
  const int cause = out.Error() != 0 ? out.Error() : (errno != 0 ? errno : EIO);
  std::fprintf(stderr, "quembrel-bankgen: cannot write %s: %s\n", Shown(path).c_str(),
               COutputFile::Describe(cause).c_str());
  return false;
}

int CategoryOrder(const BankCategory* category) { return static_cast<int>(category - kBankCategories); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("Usage: quembrel-bankgen BANK_SOURCE OUTPUT\n", stderr);
    return 2;
  }
  const fs::path source = argv[1];
  const fs::path output = argv[2];
  struct Converted {
    BankText text;
    fs::path file;
  };
  std::vector<Converted> bank;
  bool ok = true;
  for (const char* kindFolder : {"sounds", "riffs"}) {
    const BankKind expected = std::string(kindFolder) == "sounds" ? BankKind::kSound : BankKind::kRiff;
    std::vector<fs::path> texts;
    if (!TextsIn(source / kindFolder, texts)) {
      ok = false;
      continue;
    }
    for (const fs::path& path : texts) {
      Converted item;
      std::string error;
      if (!ReadBankText(path.string(), item.text, error)) {
        std::fprintf(stderr, "quembrel-bankgen: %s\n", error.c_str());
        ok = false;
        continue;
      }
      if (item.text.category->kind != expected) {
        std::fprintf(stderr, "quembrel-bankgen: %s:1: category '%s' does not belong in %s/\n", Shown(path).c_str(),
                     item.text.category->word, kindFolder);
        ok = false;
        continue;
      }
      item.file = output / kindFolder / (item.text.name + (expected == BankKind::kSound ? ".kv7" : ".riff"));
      bank.push_back(std::move(item));
    }
  }
  if (!ok) return 1;
  if (bank.empty()) {
    std::fprintf(stderr, "quembrel-bankgen: no texts under %s/sounds or %s/riffs\n", Shown(source).c_str(),
                 Shown(source).c_str());
    return 1;
  }
  std::stable_sort(bank.begin(), bank.end(), [](const Converted& a, const Converted& b) {
    return CategoryOrder(a.text.category) < CategoryOrder(b.text.category);
  });

  for (const char* kindFolder : {"sounds", "riffs"}) {
    std::error_code failed;
    fs::create_directories(output / kindFolder, failed);
    if (failed) {
      std::fprintf(stderr, "quembrel-bankgen: cannot make the folder %s: %s\n", Shown(output / kindFolder).c_str(),
                   COutputFile::Describe(failed.value()).c_str());
      return 1;
    }
  }
  std::string index;
  for (const Converted& item : bank) {
    if (!WriteWhole(item.file, ParamFileBytes(item.text))) return 1;
    index += CBankCatalog::IndexLine(*item.text.category, item.text.name, item.text.description);
  }
  if (!WriteWhole(output / "bank.tsv", index)) return 1;
  return 0;
}
