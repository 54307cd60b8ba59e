// CBankCatalog: the factory bank as installed beside the program, read from the index that the
// bank converter writes (bank.tsv: one "kind, category, name, description" line per entry, in
// menu order, tab-separated, the description's backslashes and control characters escaped).
// Presets live in sounds/NAME.kv7 and riffs in riffs/NAME.riff under the same folder. A line that
// does not read costs its own entry only, and is reported.
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

  // Reads folder/bank.tsv; when it cannot be opened the catalog is empty and false returned. Lines
  // that do not make an entry are left out, each with a "file:line: reason" in GetProblems.
  bool Load(const std::string& folder);
  const std::vector<BankEntry>& GetEntries() const { return entries; }
  const std::vector<std::string>& GetProblems() const { return problems; }
  // The entry of this kind and name, or null.
  const BankEntry* Find(BankKind kind, std::string_view name) const;
  // What a --preset or --riff option names, for every program that takes one: a file where one
  // exists, else this bank's entry of that kind and name. When it is neither, false, with a
  // one-line reason in error that says which option takes the name when the bank has it as the
  // other kind.
  bool ResolveName(BankKind kind, const std::string& given, std::string& path, std::string& error) const;
  // Where the files of a kind lie ("" when nothing is loaded).
  std::string FolderOf(BankKind kind) const;

  // The bank beside the running program, loaded on first use.
  static const CBankCatalog& Installed();
  // share/quembrel beside the running program's folder; for the plugin window, which a host
  // loads, beside the plugin's bundle.
  static std::string InstalledFolder();
  // The index line of one entry, as Load reads it back.
  static std::string IndexLine(const BankCategory& category, std::string_view name, std::string_view description);

 private:
  // Adds the entry `line` describes; the reason when it describes none.
  std::string ReadEntry(const std::string& bankFolder, const std::string& line);

  std::string folder;
  std::vector<BankEntry> entries;
  std::vector<std::string> problems;
};
