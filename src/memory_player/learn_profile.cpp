#include "memory_player/learn_profile.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>

namespace quorvane::learn {
namespace {

constexpr std::string_view formatVersion = "1";
constexpr std::array<std::string_view, 7> keys{"format", "executable", "architecture", "checksum",
                                                "path",   "encoding",   "scale"};

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string hex(uint64_t value) {
  char buffer[24] = "0x";
  const auto end = std::to_chars(buffer + 2, buffer + sizeof buffer, value, 16).ptr;
  return {buffer, end};
}

// "0x" and 1 to 16 hex digits.
std::optional<uint64_t> parseHex(std::string_view text) {
  if (text.size() < 3 || text.size() > 18 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
    return std::nullopt;
  }
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data() + 2, text.data() + text.size(), value, 16);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A file name as Windows allows it, without a folder.
bool validFileName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

bool isNumber(ValueType type) {
  return type == ValueType::Int32 || type == ValueType::Int64 || type == ValueType::Float32 ||
         type == ValueType::Float64;
}

}  // namespace

uint32_t moduleChecksum(std::span<const uint8_t> firstPage) {
  uint32_t crc = 0xFFFFFFFF;
  for (const uint8_t byte : firstPage) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

std::string formatPath(const PointerPath& path) {
  std::string text = path.module + "+" + hex(path.moduleOffset);
  for (const uint32_t offset : path.offsets) text += " > " + hex(offset);
  return text;
}

bool parsePath(std::string_view text, PointerPath& path) {
  PointerPath parsed;
  size_t part = 0;
  while (!text.empty() || part == 0) {
    const size_t cut = text.find('>');
    const std::string_view piece = trim(text.substr(0, cut));
    text = cut == std::string_view::npos ? std::string_view{} : text.substr(cut + 1);
    if (cut != std::string_view::npos && text.empty()) return false;  // a trailing ">"
    if (part++ == 0) {
      const size_t plus = piece.rfind('+');
      if (plus == std::string_view::npos) return false;
      const auto offset = parseHex(trim(piece.substr(plus + 1)));
      const std::string_view module = trim(piece.substr(0, plus));
      if (!offset || *offset > UINT32_MAX || !validFileName(module)) return false;
      parsed.module = module;
      parsed.moduleOffset = *offset;
    } else {
      const auto offset = parseHex(piece);
      if (!offset || *offset > profileMaxOffset || parsed.offsets.size() == profileMaxLevels) return false;
      parsed.offsets.push_back(static_cast<uint32_t>(*offset));
    }
  }
  path = std::move(parsed);
  return true;
}

std::string formatProfile(const Profile& profile) {
  char scale[64];
  const auto end = std::to_chars(scale, scale + sizeof scale, profile.encoding.unitMs).ptr;
  char checksum[9];
  const auto checksumEnd = std::to_chars(checksum, checksum + sizeof checksum, profile.checksum, 16).ptr;
  return "# Quorvane player profile\n"
         "format=" + std::string(formatVersion) + "\n"
         "executable=" + profile.executable + "\n"
         "architecture=" + (profile.pointerBytes == 4 ? "x86" : "x64") + "\n"
         "checksum=" + std::string(checksum, checksumEnd) + "\n"
         "path=" + formatPath(profile.path) + "\n"
         "encoding=" + std::string(valueTypeName(profile.encoding.type)) + "\n"
         "scale=" + std::string(scale, end) + "\n";
}

bool parseProfile(std::string_view text, Profile& profile, ProfileError& error) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // Notepad's byte-order mark
  std::array<std::optional<std::pair<std::string_view, int>>, keys.size()> values;  // value, line
  int lineNumber = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++lineNumber;
    if (line.empty() || line.front() == '#') continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      error = {ProfileError::Kind::Malformed, lineNumber, "", std::string(line)};
      return false;
    }
    const std::string_view key = trim(line.substr(0, equals));
    for (size_t k = 0; k < keys.size(); ++k) {
      if (keys[k] != key) continue;
      if (values[k]) {
        error = {ProfileError::Kind::Duplicate, lineNumber, std::string(key), std::string(trim(line.substr(equals + 1)))};
        return false;
      }
      values[k] = std::make_pair(trim(line.substr(equals + 1)), lineNumber);
    }
  }
  for (size_t k = 0; k < keys.size(); ++k) {
    if (!values[k]) {
      error = {ProfileError::Kind::Missing, 0, std::string(keys[k]), ""};
      return false;
    }
  }
  const auto bad = [&](size_t k, ProfileError::Kind kind = ProfileError::Kind::BadValue) {
    error = {kind, values[k]->second, std::string(keys[k]), std::string(values[k]->first)};
    return false;
  };
  const auto value = [&](size_t k) { return values[k]->first; };

  Profile parsed;
  if (value(0) != formatVersion) return bad(0, ProfileError::Kind::BadFormat);
  if (!validFileName(value(1))) return bad(1);
  parsed.executable = value(1);
  if (value(2) == "x86") {
    parsed.pointerBytes = 4;
  } else if (value(2) == "x64") {
    parsed.pointerBytes = 8;
  } else {
    return bad(2);
  }
  const auto checksum = value(3);
  const auto [checksumEnd, checksumError] =
      std::from_chars(checksum.data(), checksum.data() + checksum.size(), parsed.checksum, 16);
  if (checksum.empty() || checksum.size() > 8 || checksumError != std::errc{} ||
      checksumEnd != checksum.data() + checksum.size()) {
    return bad(3);
  }
  if (!parsePath(value(4), parsed.path)) return bad(4);
  const auto type = valueTypeFromName(value(5));
  if (!type) return bad(5);
  parsed.encoding.type = *type;
  const auto scale = value(6);
  const auto [scaleEnd, scaleError] =
      std::from_chars(scale.data(), scale.data() + scale.size(), parsed.encoding.unitMs);
  if (scale.empty() || scaleError != std::errc{} || scaleEnd != scale.data() + scale.size()) return bad(6);
  // Text and digits are in whole seconds already; a number's unit must be one a clock could use.
  const double unit = parsed.encoding.unitMs;
  if (isNumber(*type) ? !(unit >= profileMinScale && unit <= profileMaxScale) : unit != 1) return bad(6);
  profile = std::move(parsed);
  return true;
}

std::string describeProfileError(const ProfileError& error, std::string_view fileName) {
  std::string text = "player profile " + std::string(fileName);
  if (error.line > 0) text += ", line " + std::to_string(error.line);
  switch (error.kind) {
    case ProfileError::Kind::Missing:
      return text + ": no " + error.key + "=";
    case ProfileError::Kind::Duplicate:
      return text + ": " + error.key + " is given twice";
    case ProfileError::Kind::Malformed:
      return text + ": not key=value: \"" + error.value + "\"";
    case ProfileError::Kind::BadFormat:
      return text + ": format " + error.value + " is not one this version reads";
    case ProfileError::Kind::Unreadable:
      return text + ": cannot be read";
    case ProfileError::Kind::BadValue:
      break;
  }
  return text + ": " + error.key + " \"" + error.value + "\" is not valid";
}

}  // namespace quorvane::learn
