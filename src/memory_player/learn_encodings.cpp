#include "memory_player/learn_encodings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace quorvane::learn {
namespace {

struct TypeInfo {
  ValueType type;
  std::string_view name;
  uint32_t width;
  uint32_t alignment;
};

// "H:MM:SS" and its kin are described by where their digits and colons stand.
constexpr std::array<TypeInfo, 11> typeInfos{{
    {ValueType::Int32, "int32", 4, 4},
    {ValueType::Int64, "int64", 8, 4},
    {ValueType::Float32, "float32", 4, 4},
    {ValueType::Float64, "float64", 8, 4},
    {ValueType::AsciiHMmSs, "ascii-h:mm:ss", 7, 1},
    {ValueType::AsciiHhMmSs, "ascii-hh:mm:ss", 8, 1},
    {ValueType::AsciiMmSs, "ascii-mm:ss", 5, 1},
    {ValueType::Utf16HMmSs, "utf16-h:mm:ss", 14, 2},
    {ValueType::Utf16HhMmSs, "utf16-hh:mm:ss", 16, 2},
    {ValueType::Utf16MmSs, "utf16-mm:ss", 10, 2},
    {ValueType::DigitRecord, "digit-record", 321, 1},
}};

const TypeInfo& infoOf(ValueType type) { return typeInfos[static_cast<size_t>(type)]; }

template <class T>
T load(std::span<const uint8_t> bytes) {
  T value;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

std::optional<int64_t> fromUnits(double units, double unitMs) {
  const double ms = units * unitMs;
  // Written so that NaN fails too, before any conversion to an integer.
  if (!(ms >= 0 && ms < static_cast<double>(maxPositionMs))) return std::nullopt;
  return std::llround(ms);
}

// The text's characters as code units (bytes or UTF-16 units), checked against a pattern of
// 'd' (a digit) and ':'; the digits' values in order, or nothing.
std::optional<std::array<int, 6>> textDigits(std::span<const uint8_t> bytes, uint32_t unitBytes,
                                             std::string_view pattern) {
  std::array<int, 6> digits{};
  size_t count = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    uint32_t unit = bytes[i * unitBytes];
    if (unitBytes == 2) unit |= static_cast<uint32_t>(bytes[i * unitBytes + 1]) << 8;
    if (pattern[i] == ':') {
      if (unit != ':') return std::nullopt;
    } else {
      if (unit < '0' || unit > '9') return std::nullopt;
      digits[count++] = static_cast<int>(unit - '0');
    }
  }
  return digits;
}

std::optional<int64_t> clockMs(int64_t hours, int64_t minutes, int64_t seconds, bool minutesBounded) {
  if (seconds > 59 || (minutesBounded && minutes > 59)) return std::nullopt;
  return ((hours * 60 + minutes) * 60 + seconds) * 1000;
}

std::optional<int64_t> decodeText(ValueType type, std::span<const uint8_t> bytes) {
  const uint32_t unit = isUtf16Text(type) ? 2 : 1;
  switch (type) {
    case ValueType::AsciiHMmSs:
    case ValueType::Utf16HMmSs:
      if (auto d = textDigits(bytes, unit, "d:dd:dd")) {
        return clockMs((*d)[0], 10 * (*d)[1] + (*d)[2], 10 * (*d)[3] + (*d)[4], true);
      }
      return std::nullopt;
    case ValueType::AsciiHhMmSs:
    case ValueType::Utf16HhMmSs:
      if (auto d = textDigits(bytes, unit, "dd:dd:dd")) {
        return clockMs(10 * (*d)[0] + (*d)[1], 10 * (*d)[2] + (*d)[3], 10 * (*d)[4] + (*d)[5], true);
      }
      return std::nullopt;
    default:
      // Minutes alone may pass 59 when a player shows no hours.
      if (auto d = textDigits(bytes, unit, "dd:dd")) {
        return clockMs(0, 10 * (*d)[0] + (*d)[1], 10 * (*d)[2] + (*d)[3], false);
      }
      return std::nullopt;
  }
}

std::optional<int64_t> decodeDigitRecord(std::span<const uint8_t> bytes) {
  std::array<int, 5> digits{};
  for (size_t i = 0; i < digits.size(); ++i) {
    const int stored = bytes[80 * i];
    if (stored < 1 || stored > 10) return std::nullopt;
    digits[i] = stored - 1;
  }
  return clockMs(digits[0], 10 * digits[1] + digits[2], 10 * digits[3] + digits[4], true);
}

constexpr Encoding frames(double perSecond) { return {ValueType::Int32, 1000 / perSecond}; }

const std::array scanned{
    Encoding{ValueType::Int32, 1},          Encoding{ValueType::Int64, 1},
    Encoding{ValueType::Int32, 0.001},      Encoding{ValueType::Int64, 0.001},
    Encoding{ValueType::Int32, 0.0001},     Encoding{ValueType::Int64, 0.0001},
    Encoding{ValueType::Float32, 1000},     Encoding{ValueType::Float32, 1},
    Encoding{ValueType::Float64, 1000},     Encoding{ValueType::Float64, 1},
    frames(24000.0 / 1001),                 frames(24),
    frames(25),                             frames(30000.0 / 1001),
    frames(30),                             frames(50),
    frames(60000.0 / 1001),                 frames(60),
    Encoding{ValueType::AsciiHMmSs, 1},     Encoding{ValueType::AsciiHhMmSs, 1},
    Encoding{ValueType::AsciiMmSs, 1},      Encoding{ValueType::Utf16HMmSs, 1},
    Encoding{ValueType::Utf16HhMmSs, 1},    Encoding{ValueType::Utf16MmSs, 1},
    Encoding{ValueType::DigitRecord, 1},
};

}  // namespace

bool isUtf16Text(ValueType type) {
  return type == ValueType::Utf16HMmSs || type == ValueType::Utf16HhMmSs || type == ValueType::Utf16MmSs;
}

uint32_t encodingWidth(ValueType type) { return infoOf(type).width; }
uint32_t encodingAlignment(ValueType type) { return infoOf(type).alignment; }

int64_t encodingResolutionMs(const Encoding& encoding) {
  switch (encoding.type) {
    case ValueType::Int32:
    case ValueType::Int64:
    case ValueType::Float32:
    case ValueType::Float64:
      return std::max<int64_t>(1, std::llround(std::ceil(encoding.unitMs)));
    default:
      return 1000;
  }
}

std::optional<int64_t> decodePositionMs(const Encoding& encoding, std::span<const uint8_t> bytes) {
  if (bytes.size() < encodingWidth(encoding.type)) return std::nullopt;
  switch (encoding.type) {
    case ValueType::Int32:
      return fromUnits(load<int32_t>(bytes), encoding.unitMs);
    case ValueType::Int64:
      return fromUnits(static_cast<double>(load<int64_t>(bytes)), encoding.unitMs);
    case ValueType::Float32:
      return fromUnits(load<float>(bytes), encoding.unitMs);
    case ValueType::Float64:
      return fromUnits(load<double>(bytes), encoding.unitMs);
    case ValueType::DigitRecord:
      return decodeDigitRecord(bytes);
    default:
      return decodeText(encoding.type, bytes);
  }
}

std::span<const Encoding> scannedEncodings() { return scanned; }

std::string_view valueTypeName(ValueType type) { return infoOf(type).name; }

std::optional<ValueType> valueTypeFromName(std::string_view name) {
  for (const auto& info : typeInfos) {
    if (info.name == name) return info.type;
  }
  return std::nullopt;
}

}  // namespace quorvane::learn
