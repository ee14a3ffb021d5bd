#include "app/pair_settings.h"

#include <charconv>
#include <cstdio>

namespace quorvane {
namespace {

std::optional<uint32_t> parseNumber(std::string_view text, int base) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

}  // namespace

SecondLook loadSecondLook(const SettingsStore& settings) {
  SecondLook look;
  const std::optional<uint32_t> size = parseNumber(settings.readText(setting::kSecondSize, ""), 10);
  if (size && *size >= 10 && *size <= 400) look.sizePercent = static_cast<int32_t>(*size);
  const std::string colour = settings.readText(setting::kSecondColour, "");
  if (colour.size() == 6) {
    if (const std::optional<uint32_t> rgb = parseNumber(colour, 16)) look.colour = *rgb;
  }
  look.above = settings.readText(setting::kSecondPlace, "below") == "above";
  return look;
}

void storeSecondLook(SettingsStore& settings, const SecondLook& look) {
  char colour[8];
  std::snprintf(colour, sizeof colour, "%06X", static_cast<unsigned>(look.colour & 0xFFFFFF));
  settings.writeText(setting::kSecondSize, std::to_string(look.sizePercent));
  settings.writeText(setting::kSecondColour, colour);
  settings.writeText(setting::kSecondPlace, look.above ? "above" : "below");
}

std::optional<PictureArea> loadPictureArea(const SettingsStore& settings) {
  return parsePictureArea(settings.readText(setting::kPictureArea, "auto"));
}

void storePictureArea(SettingsStore& settings, const std::optional<PictureArea>& area) {
  settings.writeText(setting::kPictureArea, area ? pictureAreaText(*area) : "auto");
}

}  // namespace quorvane
