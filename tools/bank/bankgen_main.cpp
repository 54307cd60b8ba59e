// quembrel-bankgen: turns the bank's texts into the files the program loads.
//
//   quembrel-bankgen BANK_SOURCE OUTPUT
//
// reads BANK_SOURCE/sounds/*.txt and BANK_SOURCE/riffs/*.txt and writes OUTPUT/sounds/NAME.kv7,
// OUTPUT/riffs/NAME.riff and the index OUTPUT/bank.tsv. Every text is checked before anything is
// written, so one refused text (reported with its file and line) leaves no half-made bank. The
// output depends on the texts alone: the same texts give the same bytes.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files/output_file.h"
#include "bank/bank_text.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> TextsIn(const fs::path& folder) {
  std::vector<fs::path> texts;
  std::error_code failed;
  for (const auto& item : fs::directory_iterator(folder, failed)) {
    if (item.path().extension() == ".txt") texts.push_back(item.path());
  }
  std::sort(texts.begin(), texts.end());
  return texts;
}

bool WriteWhole(const fs::path& path, const std::string& bytes) {
  COutputFile out;
  return out.Open(path.c_str(), OutputTargets::kRegularFiles) &&
         std::fwrite(bytes.data(), 1, bytes.size(), out.Stream()) == bytes.size() && out.Commit() && out.Close();
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
    for (const fs::path& path : TextsIn(source / kindFolder)) {
      Converted item;
      std::string error;
      if (!ReadBankText(path.string(), item.text, error)) {
        std::fprintf(stderr, "quembrel-bankgen: %s\n", error.c_str());
        ok = false;
        continue;
      }
      if (item.text.category->kind != expected) {
        std::fprintf(stderr, "quembrel-bankgen: %s:1: category '%s' does not belong in %s/\n", path.c_str(),
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
    std::fprintf(stderr, "quembrel-bankgen: no texts under %s/sounds or %s/riffs\n", source.c_str(), source.c_str());
    return 1;
  }
  std::stable_sort(bank.begin(), bank.end(), [](const Converted& a, const Converted& b) {
    return CategoryOrder(a.text.category) < CategoryOrder(b.text.category);
  });

  std::error_code failed;
  fs::create_directories(output / "sounds", failed);
  fs::create_directories(output / "riffs", failed);
  std::string index;
  for (const Converted& item : bank) {
    if (!WriteWhole(item.file, ParamFileBytes(item.text))) {
      std::fprintf(stderr, "quembrel-bankgen: cannot write %s\n", item.file.c_str());
      return 1;
    }
    index += std::string(item.text.category->kind == BankKind::kSound ? "sound" : "riff") + "\t" +
             item.text.category->word + "\t" + item.text.name + "\t" + item.text.description + "\n";
  }
  if (!WriteWhole(output / "bank.tsv", index)) {
    std::fprintf(stderr, "quembrel-bankgen: cannot write %s\n", (output / "bank.tsv").c_str());
    return 1;
  }
  return 0;
}
