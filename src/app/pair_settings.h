#pragma once

#include <optional>
#include <string_view>

#include "app/settings_store.h"
#include "overlay/picture_area.h"
#include "run/subtitle_pair.h"

namespace quorvane {

namespace setting {
// The second subtitle file and the first file it was added to, as the file dialog gave them
// (system code page); empty: none. A run over the same first file takes the second again.
inline constexpr std::string_view kSecondFile = "SOFTWARE\\Orlenna\\Quorvane\\secondfile";
inline constexpr std::string_view kSecondWith = "SOFTWARE\\Orlenna\\Quorvane\\secondwith";
// The second file's look: size in percent of the font size (10 to 400), colour "RRGGBB" in hex,
// place "above" or "below" the first file's lines.
inline constexpr std::string_view kSecondSize = "SOFTWARE\\Orlenna\\Quorvane\\secondsize";
inline constexpr std::string_view kSecondColour = "SOFTWARE\\Orlenna\\Quorvane\\secondcolour";
inline constexpr std::string_view kSecondPlace = "SOFTWARE\\Orlenna\\Quorvane\\secondplace";
// The picture area: "auto" (or missing, or no sane rectangle) or "left,top,width,height" in
// screen pixels.
inline constexpr std::string_view kPictureArea = "SOFTWARE\\Orlenna\\Quorvane\\picturearea";
}  // namespace setting

// Each stored part that cannot be read keeps its default.
SecondLook loadSecondLook(const SettingsStore& settings);
void storeSecondLook(SettingsStore& settings, const SecondLook& look);

std::optional<PictureArea> loadPictureArea(const SettingsStore& settings);
void storePictureArea(SettingsStore& settings, const std::optional<PictureArea>& area);

}  // namespace quorvane
