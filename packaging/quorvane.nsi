; The Windows installers, one per architecture. The build runs it (target "release";
; scripts/release.sh) as
;   makensis -DARCH=win32|win64 -DVERSION=1.5.0 -DFILEVERSION=1.5.0.0
;            -DSTAGE=<folder with the files and the guide> -DICON=<.ico> -DOUTFILE=<setup.exe> quorvane.nsi
; win32 makes a 32-bit installer of the 32-bit program, for the 32-bit Program Files folder;
; win64 a 64-bit installer (a 64-bit program itself, so it also runs where no 32-bit program
; can) of the 64-bit program, for the 64-bit Program Files folder. Each keeps its uninstall entry
; in its own registry view, as Windows lists programs of both kinds, and replaces an installation
; of the other architecture, so that one Quorvane is installed and one Start-menu folder names it.
; Silent: "setup.exe /S" installs, "uninstall.exe /S" removes. Both speak the system's language
; as the program does (Simplified or Traditional Chinese, else English), and both refuse, with
; exit code 2, while quorvane.exe runs.
!ifndef ARCH
  !error "define ARCH, VERSION, FILEVERSION, STAGE, ICON and OUTFILE"
!endif
!if "${ARCH}" == "win64"
  ; 32-bit Windows cannot start this installer at all and says so itself.
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
  !define OTHER_VIEW 32
  !define OTHER_PROGRAM_FILES "$PROGRAMFILES32"
!else if "${ARCH}" == "win32"
  Unicode true
  !define PROGRAM_FILES "$PROGRAMFILES32"
  !define OTHER_VIEW 64
  !define OTHER_PROGRAM_FILES "$PROGRAMFILES64"
!else
  !error "ARCH is win32 or win64"
!endif

!ifndef VERSION
  !error "define ARCH, VERSION, FILEVERSION, STAGE, ICON and OUTFILE"
!endif
!ifndef STAGE
  !error "define ARCH, VERSION, FILEVERSION, STAGE, ICON and OUTFILE"
!endif
!ifndef ICON
  !error "define ARCH, VERSION, FILEVERSION, STAGE, ICON and OUTFILE"
!endif
!ifndef FILEVERSION
  !error "define ARCH, VERSION, FILEVERSION, STAGE, ICON and OUTFILE"
!endif
!ifndef OUTFILE
  !error "define ARCH, VERSION, FILEVERSION, STAGE, ICON and OUTFILE"
!endif

!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane"
; The class of the program's main window (QUORVANE_MAIN_WINDOW_CLASS in src/app/control_ids.h).
!define MAIN_WINDOW_CLASS "QuorvaneMainWindow"
!define SITE "https://quorvane.orlenna.example"
!define COPYRIGHT "Copyright (c) 2026 the Quorvane developers"

; The folder of the other architecture's installation found on this machine, or "".
Var OtherInstall

Name "Quorvane ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAM_FILES}\Quorvane"
; An upgrade goes into the folder of the installation it replaces.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
Icon "${ICON}"
UninstallIcon "${ICON}"

LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\SimpChinese.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\TradChinese.nlf"

LangString GUIDE_PAGE ${LANG_ENGLISH} "guide.en.html"
LangString GUIDE_PAGE ${LANG_SIMPCHINESE} "guide.zh-CN.html"
LangString GUIDE_PAGE ${LANG_TRADCHINESE} "guide.zh-TW.html"
LangString GUIDE_LINK ${LANG_ENGLISH} "Quorvane guide"
LangString GUIDE_LINK ${LANG_SIMPCHINESE} "Quorvane 使用说明"
LangString GUIDE_LINK ${LANG_TRADCHINESE} "Quorvane 使用說明"
LangString UNINSTALL_LINK ${LANG_ENGLISH} "Uninstall Quorvane"
LangString UNINSTALL_LINK ${LANG_SIMPCHINESE} "卸载 Quorvane"
LangString UNINSTALL_LINK ${LANG_TRADCHINESE} "解除安裝 Quorvane"
LangString LICENSE_INTRO ${LANG_ENGLISH} "Quorvane is free software under the MIT licence:"
LangString LICENSE_INTRO ${LANG_SIMPCHINESE} "Quorvane 是自由软件，使用 MIT 许可证（以下为英文原文）："
LangString LICENSE_INTRO ${LANG_TRADCHINESE} "Quorvane 是自由軟體，採用 MIT 授權條款（以下為英文原文）："
LangString RUNNING_SETUP ${LANG_ENGLISH} "Quorvane is running. Please close it, then start the setup again."
LangString RUNNING_SETUP ${LANG_SIMPCHINESE} "Quorvane 正在运行。请先关闭它，再重新运行安装程序。"
LangString RUNNING_SETUP ${LANG_TRADCHINESE} "Quorvane 正在執行。請先關閉它，再重新執行安裝程式。"
LangString RUNNING_UNINSTALL ${LANG_ENGLISH} "Quorvane is running. Please close it, then uninstall it again."
LangString RUNNING_UNINSTALL ${LANG_SIMPCHINESE} "Quorvane 正在运行。请先关闭它，再重新卸载。"
LangString RUNNING_UNINSTALL ${LANG_TRADCHINESE} "Quorvane 正在執行。請先關閉它，再重新解除安裝。"
LangString OTHER_FAILED ${LANG_ENGLISH} "The Quorvane already installed in $OtherInstall could not be removed. Please uninstall it, then start the setup again."
LangString OTHER_FAILED ${LANG_SIMPCHINESE} "无法移除已安装在 $OtherInstall 的 Quorvane。请先卸载它，再重新运行安装程序。"
LangString OTHER_FAILED ${LANG_TRADCHINESE} "無法移除已安裝在 $OtherInstall 的 Quorvane。請先解除安裝它，再重新執行安裝程式。"

VIProductVersion "${FILEVERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Quorvane"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "Orlenna"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Quorvane ${VERSION} setup (${ARCH})"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${COPYRIGHT}"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
LicenseData "${STAGE}/LICENSE.txt"
LicenseText "$(LICENSE_INTRO)"

; The language the program would show (src/app/ui_text_table.cpp, languageFromLangId), and the
; refusal to go on while the program runs: its files would be in use, its settings written on exit.
!macro QUORVANE_START_CHECKS un message
Function ${un}onInit
  System::Call 'kernel32::GetSystemDefaultLangID() i .r0'
  IntOp $0 $0 & 0xFFFF
  ${If} $0 = 0x0404
  ${OrIf} $0 = 0x0C04
  ${OrIf} $0 = 0x1404
  ${OrIf} $0 = 0x7C04
    StrCpy $LANGUAGE ${LANG_TRADCHINESE}
  ${ElseIf} $0 = 0x0804
  ${OrIf} $0 = 0x1004
    StrCpy $LANGUAGE ${LANG_SIMPCHINESE}
  ${Else}
    StrCpy $LANGUAGE ${LANG_ENGLISH}
  ${EndIf}

  FindWindow $0 "${MAIN_WINDOW_CLASS}"
  ${If} $0 <> 0
    MessageBox MB_OK|MB_ICONINFORMATION "$(${message})" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  !if "${un}" == "."
    Call findOtherInstallation
  !endif
FunctionEnd
!macroend
; The installation of the other architecture on this machine, if any: its folder in $OtherInstall.
; The settings are shared (both programs read them in the 32-bit view), so replacing it loses
; nothing. Upgrading across architectures also keeps a folder the user chose; only the other
; architecture's Program Files folder is traded for this one's.
Function findOtherInstallation
  StrCpy $OtherInstall ""
  !if "${ARCH}" == "win32"
    ${IfNot} ${RunningX64}
      Return
    ${EndIf}
  !endif
  SetRegView ${OTHER_VIEW}
  ReadRegStr $OtherInstall HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ; The uninstall entry of this architecture: in the installer's own view, as Windows keeps it.
  SetRegView default
  ${If} $OtherInstall == ""
    Return
  ${EndIf}
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == ""
  ${AndIf} $INSTDIR == "${PROGRAM_FILES}\Quorvane"
  ${AndIf} $OtherInstall != "${OTHER_PROGRAM_FILES}\Quorvane"
    StrCpy $INSTDIR $OtherInstall
  ${EndIf}
FunctionEnd

; Runs the other architecture's uninstaller in place and waits for it; its own entry and
; Start-menu folder go with it, the user's settings stay.
Function removeOtherInstallation
  ${If} $OtherInstall == ""
  ${OrIfNot} ${FileExists} "$OtherInstall\uninstall.exe"
    Return
  ${EndIf}
  ClearErrors
  ExecWait '"$OtherInstall\uninstall.exe" /S _?=$OtherInstall' $0
  ${If} ${Errors}
  ${OrIf} $0 <> 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(OTHER_FAILED)" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  ; Run in place, the uninstaller cannot delete itself. Its entry must not outlive its files
  ; either, whatever the release that wrote it removes.
  Delete "$OtherInstall\uninstall.exe"
  RMDir "$OtherInstall"
  SetRegView ${OTHER_VIEW}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  SetRegView default
FunctionEnd

!insertmacro QUORVANE_START_CHECKS "." RUNNING_SETUP
!insertmacro QUORVANE_START_CHECKS "un." RUNNING_UNINSTALL

Section
  ; Shortcuts for every user of the machine, as the program files are.
  SetShellVarContext all
  Call removeOtherInstallation
  SetOutPath "$INSTDIR"
  File "${STAGE}/quorvane.exe"
  File "${STAGE}/quorvane-srt.exe"
  File "${STAGE}/Quorvane.txt"
  File "${STAGE}/LICENSE.txt"
  RMDir /r "$INSTDIR\guide"
  File /r "${STAGE}/guide"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The guide in the installer's language, or the English one where that language has none.
  StrCpy $1 "$INSTDIR\guide\$(GUIDE_PAGE)"
  ${IfNot} ${FileExists} "$1"
    StrCpy $1 "$INSTDIR\guide\guide.en.html"
  ${EndIf}

  ; The folder is made anew: an earlier installation in another language named its links so.
  RMDir /r "$SMPROGRAMS\Quorvane"
  CreateDirectory "$SMPROGRAMS\Quorvane"
  CreateShortcut "$SMPROGRAMS\Quorvane\Quorvane.lnk" "$INSTDIR\quorvane.exe"
  CreateShortcut "$SMPROGRAMS\Quorvane\$(GUIDE_LINK).lnk" "$1"
  CreateShortcut "$SMPROGRAMS\Quorvane\$(UNINSTALL_LINK).lnk" "$INSTDIR\uninstall.exe"

  ${GetSize} "$INSTDIR" "/S=0K" $0 $2 $3
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quorvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Orlenna"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvane.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "$1"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${SITE}/"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLUpdateInfo" "${SITE}/releases"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The settings under HKLM\SOFTWARE\Orlenna\Quorvane (and the users' virtualised copies) stay:
; they are the user's, and a reinstall of either architecture picks them up (the 64-bit program
; keeps them in the 32-bit registry view too, WOW6432Node on 64-bit Windows).
Section Uninstall
  SetShellVarContext all
  Delete "$INSTDIR\quorvane.exe"
  Delete "$INSTDIR\quorvane-srt.exe"
  Delete "$INSTDIR\Quorvane.txt"
  Delete "$INSTDIR\LICENSE.txt"
  RMDir /r "$INSTDIR\guide"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  RMDir /r "$SMPROGRAMS\Quorvane"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
