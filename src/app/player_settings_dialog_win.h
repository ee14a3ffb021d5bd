#pragma once

#include <windows.h>

#include "app/run_control.h"
#include "app/settings_store.h"
#include "common/ui_language.h"

namespace quorvane {

// The small "Player settings" dialog: VLC's web interface port and password, MPC-HC's port and
// mpv's pipe name (see loadInterfaceSettings), the picture area (Automatic or the user's
// rectangle, with "Frame it" to see it on screen) and the second subtitle file's look. OK stores
// them, the last two through `control`, which takes them at once; a port that is not 1 to
// 65535, a rectangle that is none, a size outside 10 to 400 % or a colour that is not six hex
// digits is refused with a beep and keeps the dialog open. Modal to `owner`; returns whether OK
// stored.
bool runPlayerSettingsDialog(HWND owner, SettingsStore& settings, RunControl& control, UiLanguage language);

// The menu item that opens it ("Player settings...").
const wchar_t* playerSettingsCaption(UiLanguage language);

}  // namespace quorvane
