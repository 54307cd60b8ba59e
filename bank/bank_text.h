// The bank's readable source: one text per sound or riff, turned into the values of a preset
// (*.kv7) or riff (*.riff) file. A text reads
//
//   # comments and blank lines are ignored
//   Name: rubber-bass
//   Description: one line saying what it is
//   Category: bass
//   OscAWave = 0
//   Cutoff = 40
//
// The three header lines come first, each once; then one "ParameterName = value" line per
// parameter set, with the names and ranges of the voice's or the riff player's parameter table
// (the category says which). Parameters left out keep their table defaults. An unknown name, a
// value out of range, a repeated line, a control character or a byte that is not UTF-8 in the name
// or description, or anything else unexpected refuses the whole text with its file and line.
// Nothing here depends on Qt, so every program that turns the bank into something (the converter,
// a plugin's preset generator) reads the texts the same way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/sound_module.h"
#include "bank/bank_categories.h"

struct BankText {
  std::string name;
  std::string description;
  const BankCategory* category = nullptr;
  // One value per parameter of the category's table, defaults filled in.
  std::vector<ParamValue> values;
  // For each value, whether the text set it.
  std::vector<bool> given;
};

// Parses `text`, the contents of the file at `path` (used in messages only). On failure returns
// false with "path:line: reason" in error.
bool ParseBankText(const std::string& path, const std::string& text, BankText& result, std::string& error);

// Reads and parses the file at path; the file's name without ".txt" must be the text's Name.
bool ReadBankText(const std::string& path, BankText& result, std::string& error);

// The parameter file the program loads: a little-endian 16-bit count, then each value.
std::string ParamFileBytes(const BankText& text);

// The parameter names of a kind's table, and its size.
const char* BankParamName(BankKind kind, int index);
int BankParamCount(BankKind kind);

// Whether `name` can name a bank entry, and so a file: lower-case letters, digits and inner hyphens.
bool IsBankName(std::string_view name);
// Why `text` cannot be shown as one line of text ("a control character (byte 0x09)", "bytes that
// are not UTF-8"), or "" when it can.
std::string UnprintableReason(std::string_view text);
// `text` safe to put in a message: control characters and bytes that are not UTF-8 as \xNN, and
// cut to `limit` characters, so that a binary file never reaches the terminal raw.
std::string Printable(std::string_view text, std::size_t limit = 40);
