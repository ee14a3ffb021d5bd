#pragma once

#include <windows.h>

#include "app/settings_store.h"
#include "common/ui_language.h"

namespace quorvane {

// The small "Player settings" dialog: VLC's web interface port and password, MPC-HC's port and
// mpv's pipe name (see loadInterfaceSettings). OK stores them; a port that is not 1 to 65535 is
// refused with a beep and keeps the dialog open. Modal to `owner`; returns whether OK stored.
bool runPlayerSettingsDialog(HWND owner, SettingsStore& settings, UiLanguage language);

// The menu item that opens it ("Player settings...").
const wchar_t* playerSettingsCaption(UiLanguage language);

}  // namespace quorvane
