// Parsing of the bank's texts, line by line, and the parameter file bytes they become.
#include "bank/bank_text.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

// The length of the well-formed UTF-8 sequence at the start of `s` (no overlong form, surrogate
// or code point past U+10FFFF) with its code point, or 0 when there is none.
std::size_t Utf8Sequence(std::string_view s, char32_t& codePoint) {
  const auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(i) & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
  return length;
}

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

std::string Hex(unsigned char b) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[b >> 4], kDigits[b & 0xF]};
}

}  // namespace

bool IsBankName(std::string_view name) {
  if (name.empty() || name.front() == '-' || name.back() == '-') return false;
  for (char c : name) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
  }
  return true;
}

std::string UnprintableReason(std::string_view text) {
  while (!text.empty()) {
    char32_t c = 0;
    const std::size_t length = Utf8Sequence(text, c);
    if (length == 0) return "bytes that are not UTF-8";
    if (IsControl(c)) {
      const std::string code = (c < 0x80 ? "byte 0x" : "U+00") + Hex(static_cast<unsigned char>(c));
      return "a control character (" + code + ")";
    }
    text.remove_prefix(length);
  }
  return {};
}

std::string Printable(std::string_view text, std::size_t limit) {
  std::string shown;
  std::size_t characters = 0;
  while (!text.empty()) {
    if (characters == limit) return shown + "...";
    char32_t c = 0;
    std::size_t length = Utf8Sequence(text, c);
    if (length == 0 || IsControl(c)) {
      length = 1;
      shown += "\\x" + Hex(static_cast<unsigned char>(text.front()));
    } else {
      shown.append(text.substr(0, length));
    }
    text.remove_prefix(length);
    ++characters;
  }
  return shown;
}

const char* BankParamName(BankKind kind, int index) { return TableOf(kind)[index].name; }

int BankParamCount(BankKind kind) {
  return kind == BankKind::kSound ? static_cast<int>(kVoiceParamCount) : static_cast<int>(kRiffParamCount);
}

bool ParseBankText(const std::string& path, const std::string& text, BankText& result, std::string& error) {
  result = BankText{};
  int lineNumber = 0;
  auto fail = [&](const std::string& reason) {
    error = Printable(path, std::string::npos) + ":" + std::to_string(lineNumber) + ": " + reason;
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
      if (!result.values.empty()) return fail("'" + Printable(key) + ":' must come before the parameters");
      if (key == "Name") {
        if (hasName) return fail("a second Name line");
        if (const std::string reason = UnprintableReason(value); !reason.empty()) {
          return fail("the name holds " + reason);
        }
        if (!IsBankName(value)) return fail("the name must be lower-case letters, digits and hyphens");
        result.name = value;
        hasName = true;
      } else if (key == "Description") {
        if (hasDescription) return fail("a second Description line");
        if (value.empty()) return fail("the description is empty");
        // The description becomes one field of the index and a string of the plugin's presets.
        if (const std::string reason = UnprintableReason(value); !reason.empty()) {
          return fail("the description holds " + reason);
        }
        result.description = value;
        hasDescription = true;
      } else if (key == "Category") {
        if (result.category != nullptr) return fail("a second Category line");
        result.category = FindBankCategory(value);
        if (result.category == nullptr) return fail("unknown category '" + Printable(value) + "'");
      } else {
        return fail("unknown header '" + Printable(key) + ":' (Name, Description or Category)");
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
      return fail("unknown parameter '" + Printable(name) + "' for a " +
                  (kind == BankKind::kSound ? "sound" : "riff"));
    }
    if (result.given[index]) return fail("'" + std::string(name) + "' is set twice");
    int value = 0;
    const char* end = valueText.data() + valueText.size();
    const auto parsed = std::from_chars(valueText.data(), end, value);
    const bool tooLarge = parsed.ec == std::errc::result_out_of_range && parsed.ptr == end;
    if (!tooLarge && (valueText.empty() || parsed.ec != std::errc() || parsed.ptr != end)) {
      return fail("'" + Printable(valueText) + "' is not a whole number");
    }
    if (tooLarge || value < table[index].minimum || value > table[index].maximum) {
      return fail(std::string(name) + " = " + Printable(valueText) + " is outside " +
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
  std::string text;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in != nullptr) {
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
  }
  if (in == nullptr || std::ferror(in)) {
    error = Printable(path, std::string::npos) + ": cannot be read: " + std::strerror(errno);
    if (in != nullptr) std::fclose(in);
    return false;
  }
  std::fclose(in);
  if (!ParseBankText(path, text, result, error)) return false;
  const std::string stem = std::filesystem::path(path).stem().string();
  if (stem != result.name) {
    error = Printable(path, std::string::npos) + ":1: the file must be named after its Name, '" + result.name + ".txt'";
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
