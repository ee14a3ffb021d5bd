; The Windows installer. The build runs it (target "release"; scripts/release.sh) as
;   makensis -DVERSION=1.5.0 -DFILEVERSION=1.5.0.0 -DSTAGE=<folder with the files and the guide>
;            -DICON=<.ico> -DOUTFILE=<setup.exe> quorvane.nsi
; Silent: "setup.exe /S" installs, "uninstall.exe /S" removes. Both speak the system's language
; as the program does (Simplified or Traditional Chinese, else English), and both refuse, with
; exit code 2, while quorvane.exe runs.
Unicode true

!ifndef VERSION
  !error "define VERSION, FILEVERSION, STAGE, ICON and OUTFILE"
!endif
!ifndef STAGE
  !error "define VERSION, FILEVERSION, STAGE, ICON and OUTFILE"
!endif
!ifndef ICON
  !error "define VERSION, FILEVERSION, STAGE, ICON and OUTFILE"
!endif
!ifndef FILEVERSION
  !error "define VERSION, FILEVERSION, STAGE, ICON and OUTFILE"
!endif
!ifndef OUTFILE
  !error "define VERSION, FILEVERSION, STAGE, ICON and OUTFILE"
!endif

!include LogicLib.nsh
!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane"
; The class of the program's main window (QUORVANE_MAIN_WINDOW_CLASS in src/app/control_ids.h).
!define MAIN_WINDOW_CLASS "QuorvaneMainWindow"
!define SITE "https://quorvane.orlenna.example"
!define COPYRIGHT "Copyright (c) 2026 the Quorvane developers"

Name "Quorvane ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quorvane"
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

VIProductVersion "${FILEVERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Quorvane"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "Orlenna"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Quorvane ${VERSION} setup"
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
FunctionEnd
!macroend
!insertmacro QUORVANE_START_CHECKS "." RUNNING_SETUP
!insertmacro QUORVANE_START_CHECKS "un." RUNNING_UNINSTALL

Section
  ; Shortcuts for every user of the machine, as the program files are.
  SetShellVarContext all
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
; they are the user's, and a reinstall picks them up.
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
