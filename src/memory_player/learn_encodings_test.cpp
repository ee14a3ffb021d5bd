#include "memory_player/learn_encodings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace quorvane::learn {
namespace {

template <class T>
std::vector<uint8_t> bytesOf(T value) {
  std::vector<uint8_t> out(sizeof value);
  std::memcpy(out.data(), &value, sizeof value);
  return out;
}

std::vector<uint8_t> ascii(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> utf16(std::string_view text) {
  std::vector<uint8_t> out;
  for (const char c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

// Digits H, M, M, S, S stored as value + 1, 80 bytes apart.
std::vector<uint8_t> digitRecord(std::string_view hmmss, uint8_t filler = 0x55) {
  std::vector<uint8_t> out(321, filler);
  for (size_t i = 0; i < 5; ++i) {
    out[80 * i] = hmmss[i] == '?' ? 0 : static_cast<uint8_t>(hmmss[i] - '0' + 1);
  }
  return out;
}

constexpr int64_t at1h23m45s = (3600 + 23 * 60 + 45) * 1000;

TEST(DecodePositionTest, EachEncodingReadsItsBytesOrRefusesThem) {
  const struct {
    const char* what;
    Encoding encoding;
    std::vector<uint8_t> bytes;
    std::optional<int64_t> expected;
  } cases[] = {
      {"int32 ms", {ValueType::Int32, 1}, bytesOf<int32_t>(5025123), 5025123},
      {"int32 ms negative", {ValueType::Int32, 1}, bytesOf<int32_t>(-1), std::nullopt},
      {"int64 ms", {ValueType::Int64, 1}, bytesOf<int64_t>(5025123), 5025123},
      {"int32 us rounds", {ValueType::Int32, 0.001}, bytesOf<int32_t>(2'000'600), 2001},
      {"int64 us", {ValueType::Int64, 0.001}, bytesOf<int64_t>(5'025'123'000), 5025123},
      {"int64 100 ns", {ValueType::Int64, 0.0001}, bytesOf<int64_t>(50'251'230'000), 5025123},
      {"int64 huge", {ValueType::Int64, 0.0001}, bytesOf<int64_t>(INT64_MAX), std::nullopt},
      {"int64 100 h", {ValueType::Int64, 1}, bytesOf<int64_t>(maxPositionMs), std::nullopt},
      {"float s", {ValueType::Float32, 1000}, bytesOf<float>(83.5f), 83500},
      {"float ms", {ValueType::Float32, 1}, bytesOf<float>(83500.f), 83500},
      {"float NaN", {ValueType::Float32, 1000}, bytesOf(std::numeric_limits<float>::quiet_NaN()), std::nullopt},
      {"double s", {ValueType::Float64, 1000}, bytesOf(5025.123), 5025123},
      {"double ms", {ValueType::Float64, 1}, bytesOf(5025123.4), 5025123},
      {"double inf", {ValueType::Float64, 1}, bytesOf(std::numeric_limits<double>::infinity()), std::nullopt},
      {"double negative", {ValueType::Float64, 1000}, bytesOf(-0.5), std::nullopt},
      {"frames 23.976", {ValueType::Int32, 1001.0 / 24}, bytesOf<int32_t>(24000), 1001000},
      {"frames 25", {ValueType::Int32, 40}, bytesOf<int32_t>(2500), 100000},
      {"frames 59.94", {ValueType::Int32, 1001.0 / 60}, bytesOf<int32_t>(60), 1001},
      {"ascii H:MM:SS", {ValueType::AsciiHMmSs, 1}, ascii("1:23:45"), at1h23m45s},
      {"ascii HH:MM:SS", {ValueType::AsciiHhMmSs, 1}, ascii("01:23:45"), at1h23m45s},
      {"ascii MM:SS past an hour", {ValueType::AsciiMmSs, 1}, ascii("83:45"), at1h23m45s},
      {"ascii 60 seconds", {ValueType::AsciiHMmSs, 1}, ascii("1:23:60"), std::nullopt},
      {"ascii 60 minutes", {ValueType::AsciiHhMmSs, 1}, ascii("01:60:00"), std::nullopt},
      {"ascii no colon", {ValueType::AsciiHMmSs, 1}, ascii("1-23:45"), std::nullopt},
      {"ascii short", {ValueType::AsciiHMmSs, 1}, ascii("1:23:4"), std::nullopt},
      {"utf16 H:MM:SS", {ValueType::Utf16HMmSs, 1}, utf16("1:23:45"), at1h23m45s},
      {"utf16 HH:MM:SS", {ValueType::Utf16HhMmSs, 1}, utf16("01:23:45"), at1h23m45s},
      {"utf16 MM:SS", {ValueType::Utf16MmSs, 1}, utf16("23:45"), (23 * 60 + 45) * 1000},
      {"utf16 read as ascii", {ValueType::AsciiMmSs, 1}, utf16("23:45"), std::nullopt},
      // A digit's high byte set makes another character, not the digit.
      {"utf16 wide digit", {ValueType::Utf16MmSs, 1}, {'2', 1, '3', 0, ':', 0, '4', 0, '5', 0}, std::nullopt},
      {"digit record", {ValueType::DigitRecord, 1}, digitRecord("12345"), at1h23m45s},
      {"digit record zero byte", {ValueType::DigitRecord, 1}, digitRecord("1?345"), std::nullopt},
      {"digit record 11", {ValueType::DigitRecord, 1}, digitRecord("12345", 0) , at1h23m45s},
      {"digit record short", {ValueType::DigitRecord, 1}, std::vector<uint8_t>(320, 1), std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decodePositionMs(c.encoding, c.bytes), c.expected) << c.what;
  }
  auto tooBig = digitRecord("12345");
  tooBig[80] = 11;  // a "digit" of 10
  EXPECT_EQ(decodePositionMs({ValueType::DigitRecord, 1}, tooBig), std::nullopt);
}

TEST(ValueTypeNameTest, EveryScannedTypeHasANameThatReadsBack) {
  for (const Encoding& encoding : scannedEncodings()) {
    const auto name = valueTypeName(encoding.type);
    EXPECT_EQ(valueTypeFromName(name), encoding.type) << name;
  }
  EXPECT_EQ(valueTypeFromName("INT32"), std::nullopt);
  EXPECT_EQ(valueTypeFromName(""), std::nullopt);
}

}  // namespace
}  // namespace quorvane::learn
