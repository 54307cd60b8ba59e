// CBankCatalog: the factory bank as installed beside the program, read from the index that the
// bank converter writes (bank.tsv: one "kind, category, name, description" line per entry, in
// menu order). Presets live in sounds/NAME.kv7 and riffs in riffs/NAME.riff under the same folder.
// The program, the render tool and the tests find the bank the same way: share/quembrel beside the
// folder that holds the running program, which is right both for an installed program
// (PREFIX/bin and PREFIX/share/quembrel) and for one run from the build tree (build/bin and
// build/share/quembrel).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "bank/bank_categories.h"

struct BankEntry {
  const BankCategory* category;
  std::string name;
  std::string description;
  std::string path;
};

class CBankCatalog {
 public:
  CBankCatalog() = default;
  CBankCatalog(const CBankCatalog&) = delete;
  CBankCatalog& operator=(const CBankCatalog&) = delete;

  // Reads folder/bank.tsv; on a missing or malformed index the catalog is empty and false returned.
  bool Load(const std::string& folder);
  const std::vector<BankEntry>& GetEntries() const { return entries; }
  // The entry of this kind and name, or null.
  const BankEntry* Find(BankKind kind, std::string_view name) const;
  // Where the files of a kind lie ("" when nothing is loaded).
  std::string FolderOf(BankKind kind) const;

  // The bank beside the running program, loaded on first use.
  static const CBankCatalog& Installed();
  // share/quembrel beside the running program's folder.
  static std::string InstalledFolder();

 private:
  std::string folder;
  std::vector<BankEntry> entries;
};
