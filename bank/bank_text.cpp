// Parsing of the bank's texts, line by line, and the parameter file bytes they become.
#include "bank/bank_text.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "engine/voice_params.h"
#include "files/param_file.h"
#include "sequencer/riff_params.h"

namespace {

const ParamInfo* TableOf(BankKind kind) { return kind == BankKind::kSound ? kVoiceParams : kRiffParams; }

std::string_view Trimmed(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const std::size_t last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

bool IsBankName(std::string_view name) {
  if (name.empty() || name.front() == '-' || name.back() == '-') return false;
  for (char c : name) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
  }
  return true;
}

}  // namespace

const char* BankParamName(BankKind kind, int index) { return TableOf(kind)[index].name; }

int BankParamCount(BankKind kind) {
  return kind == BankKind::kSound ? static_cast<int>(kVoiceParamCount) : static_cast<int>(kRiffParamCount);
}

bool ParseBankText(const std::string& path, const std::string& text, BankText& result, std::string& error) {
  result = BankText{};
  int lineNumber = 0;
  auto fail = [&](const std::string& reason) {
    error = path + ":" + std::to_string(lineNumber) + ": " + reason;
    return false;
  };
  bool hasName = false;
  bool hasDescription = false;
  std::istringstream lines(text);
  std::string rawLine;
  while (std::getline(lines, rawLine)) {
    ++lineNumber;
    const std::string_view line = Trimmed(rawLine);
    if (line.empty() || line.front() == '#') continue;

    const std::size_t colon = line.find(':');
    const std::size_t equals = line.find('=');
    if (colon != std::string_view::npos && (equals == std::string_view::npos || colon < equals)) {
      const std::string_view key = Trimmed(line.substr(0, colon));
      const std::string_view value = Trimmed(line.substr(colon + 1));
      if (!result.values.empty()) return fail("'" + std::string(key) + ":' must come before the parameters");
      if (key == "Name") {
        if (hasName) return fail("a second Name line");
        if (!IsBankName(value)) return fail("the name must be lower-case letters, digits and hyphens");
        result.name = value;
        hasName = true;
      } else if (key == "Description") {
        if (hasDescription) return fail("a second Description line");
        if (value.empty()) return fail("the description is empty");
        result.description = value;
        hasDescription = true;
      } else if (key == "Category") {
        if (result.category != nullptr) return fail("a second Category line");
        result.category = FindBankCategory(value);
        if (result.category == nullptr) return fail("unknown category '" + std::string(value) + "'");
      } else {
        return fail("unknown header '" + std::string(key) + ":' (Name, Description or Category)");
      }
      continue;
    }
    if (equals == std::string_view::npos) return fail("expected 'ParameterName = value'");
    if (!hasName || !hasDescription || result.category == nullptr) {
      return fail("Name, Description and Category must come before the parameters");
    }
    const BankKind kind = result.category->kind;
    const ParamInfo* table = TableOf(kind);
    const int count = BankParamCount(kind);
    if (result.values.empty()) {
      for (int i = 0; i < count; ++i) result.values.push_back(table[i].defaultValue);
      result.given.assign(count, false);
    }
    const std::string_view name = Trimmed(line.substr(0, equals));
    const std::string_view valueText = Trimmed(line.substr(equals + 1));
    int index = 0;
    while (index < count && name != table[index].name) ++index;
    if (index == count) {
      return fail("unknown parameter '" + std::string(name) + "' for a " +
                  (kind == BankKind::kSound ? "sound" : "riff"));
    }
    if (result.given[index]) return fail("'" + std::string(name) + "' is set twice");
    int value = 0;
    const char* end = valueText.data() + valueText.size();
    const auto parsed = std::from_chars(valueText.data(), end, value);
    if (valueText.empty() || parsed.ec != std::errc() || parsed.ptr != end) {
      return fail("'" + std::string(valueText) + "' is not a whole number");
    }
    if (value < table[index].minimum || value > table[index].maximum) {
      return fail(std::string(name) + " = " + std::to_string(value) + " is outside " +
                  std::to_string(table[index].minimum) + " to " + std::to_string(table[index].maximum));
    }
    result.values[index] = static_cast<ParamValue>(value);
    result.given[index] = true;
  }
  ++lineNumber;
  if (!hasName) return fail("no Name line");
  if (!hasDescription) return fail("no Description line");
  if (result.category == nullptr) return fail("no Category line");
  if (result.values.empty()) {
    const ParamInfo* table = TableOf(result.category->kind);
    for (int i = 0; i < BankParamCount(result.category->kind); ++i) result.values.push_back(table[i].defaultValue);
    result.given.assign(result.values.size(), false);
  }
  return true;
}

bool ReadBankText(const std::string& path, BankText& result, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be read";
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  if (!ParseBankText(path, text.str(), result, error)) return false;
  const std::string stem = std::filesystem::path(path).stem().string();
  if (stem != result.name) {
    error = path + ":1: the file must be named after its Name, '" + result.name + ".txt'";
    return false;
  }
  return true;
}

std::string ParamFileBytes(const BankText& text) {
  const int count = static_cast<int>(text.values.size());
  std::string bytes(param_file::Size(count), '\0');
  param_file::Encode(text.values.data(), count, reinterpret_cast<std::uint8_t*>(bytes.data()));
  return bytes;
}
