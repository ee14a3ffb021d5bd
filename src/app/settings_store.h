#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "app/path_text.h"
#include "platform/registry.h"

namespace quorvane {

// The program's settings: REG_SZ values under HKEY_LOCAL_MACHINE, each addressed by one path
// "key\...\name". Every read has a caller-supplied default that stands for every failure.
//
// A value is looked for in three places, a later one overriding an earlier:
//  1. the key under HKEY_LOCAL_MACHINE (the registry's 32-bit view, see Registry);
//  2. for a user who may not write that key, the copy Windows' registry virtualisation keeps
//     of the 32-bit program's writes, under HKEY_CURRENT_USER in
//     Software\Classes\VirtualStore\MACHINE\SOFTWARE\WOW6432Node (then the same path):
//     the 32-bit program is shown that copy by Windows, the 64-bit one is not;
//  3. the user's own copy, the same path under HKEY_CURRENT_USER.
// A write goes to HKEY_LOCAL_MACHINE; where that key refuses it, to the user's own copy. A user's
// copy that holds the value is written as well, so an older value there cannot override.
class SettingsStore {
 public:
  explicit SettingsStore(Registry& registry,
                         LeadBytePredicate isLeadByte = isChineseLeadByte)
      : registry_(registry), isLeadByte_(isLeadByte) {}

  std::string readText(std::string_view path, std::string_view defaultText) const;
  // True when the value was stored; callers may ignore it. A write that succeeds also stores
  // again every value this session read or wrote that has gone missing meanwhile (the key was
  // deleted under the running program) or whose own write failed (the key refused writes), so
  // no setting the user made is lost while the program runs.
  bool writeText(std::string_view path, std::string_view text);

 private:
  struct Known {
    std::string path;
    std::string text;
    bool unsaved = false;
  };
  void restoreKnown(const std::string& except);
  std::optional<std::string> stored(const PathSplit& split) const;
  bool store(const PathSplit& split, std::string_view text);

  Registry& registry_;
  LeadBytePredicate isLeadByte_;
  // By path in lower case: both spellings of the font path are one value.
  mutable std::map<std::string, Known> known_;
};

// The stored values and their defaults.
namespace setting {
inline constexpr std::string_view kKey = "SOFTWARE\\Orlenna\\Quorvane";
inline constexpr std::string_view kCentext = "SOFTWARE\\Orlenna\\Quorvane\\centext";
inline constexpr std::string_view kShadow = "SOFTWARE\\Orlenna\\Quorvane\\shadow";
inline constexpr std::string_view kProcess = "SOFTWARE\\Orlenna\\Quorvane\\process";
inline constexpr std::string_view kMode = "SOFTWARE\\Orlenna\\Quorvane\\mode";
inline constexpr std::string_view kFont = "SOFTWARE\\Orlenna\\Quorvane\\font";
// The font-name box writes under this spelling; key names ignore case, so it is the same value.
inline constexpr std::string_view kFontWrite = "SOFTWARE\\Orlenna\\quorvane\\font";
inline constexpr std::string_view kLeft = "SOFTWARE\\Orlenna\\Quorvane\\left";
inline constexpr std::string_view kTop = "SOFTWARE\\Orlenna\\Quorvane\\top";
inline constexpr std::string_view kWidth = "SOFTWARE\\Orlenna\\Quorvane\\width";
inline constexpr std::string_view kSize = "SOFTWARE\\Orlenna\\Quorvane\\size";
inline constexpr std::string_view kDirectory = "SOFTWARE\\Orlenna\\Quorvane\\directory";

inline constexpr std::string_view kCentextDefault = "1";
inline constexpr std::string_view kShadowDefault = "0";
inline constexpr std::string_view kProcessDefault = "PowerDVDMovie.exe";
inline constexpr std::string_view kModeDefault = "1";
inline constexpr std::string_view kLeftDefault = "240";
inline constexpr std::string_view kTopDefault = "93";
inline constexpr std::string_view kWidthDefault = "1440";
inline constexpr std::string_view kSizeDefault = "36";
// "font" defaults to UI text row 5; "directory" to the program's own folder.
}  // namespace setting

}  // namespace quorvane
