; The Windows installer. The build runs it (target "release"; scripts/release.sh) as
;   makensis -DVERSION=1.5.0 -DFILEVERSION=1.5.0.0 -DSTAGE=<folder with the files and the guide>
;            -DICON=<.ico> -DOUTFILE=<setup.exe> quorvane.nsi
; Silent: "setup.exe /S" installs, "uninstall.exe /S" removes.
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

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane"

Name "Quorvane ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quorvane"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
Icon "${ICON}"
UninstallIcon "${ICON}"

VIProductVersion "${FILEVERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Quorvane"
VIAddVersionKey /LANG=1033 "CompanyName" "Orlenna"
VIAddVersionKey /LANG=1033 "FileDescription" "Quorvane ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 the Quorvane developers"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
LicenseData "${STAGE}/LICENSE.txt"

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

  CreateDirectory "$SMPROGRAMS\Quorvane"
  CreateShortcut "$SMPROGRAMS\Quorvane\Quorvane.lnk" "$INSTDIR\quorvane.exe"
  CreateShortcut "$SMPROGRAMS\Quorvane\Quorvane guide.lnk" "$INSTDIR\Quorvane.txt"
  CreateShortcut "$SMPROGRAMS\Quorvane\Uninstall Quorvane.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quorvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Orlenna"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvane.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
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

  Delete "$SMPROGRAMS\Quorvane\Quorvane.lnk"
  Delete "$SMPROGRAMS\Quorvane\Quorvane guide.lnk"
  Delete "$SMPROGRAMS\Quorvane\Uninstall Quorvane.lnk"
  RMDir "$SMPROGRAMS\Quorvane"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
