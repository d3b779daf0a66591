; SPDX-License-Identifier: MIT
; The Windows installer, built on Linux with makensis (Debian package nsis):
;   makensis -DVERSION=<version> -DSOURCE=<folder> -DOUTFILE=<installer.exe> qlxduo.nsi
; <folder> holds what packaging/windows/stage puts there: both programs, README.md, cli.md,
; glossary.md with qlxduo-window-win32.png, LICENSE.txt and THIRD-PARTY-NOTICES.txt.
; Installs into Program Files with a Start-menu entry and an uninstaller; /S installs and
; uninstalls silently.
; A 64-bit installer for the 64-bit programs: it writes to the 64-bit Program Files and registry
; view without redirection, and runs on a Wine without its 32-bit part.
Target amd64-unicode
!include MUI2.nsh

!ifndef VERSION | SOURCE | OUTFILE
  !error "define VERSION, SOURCE and OUTFILE (see the head of this file)"
!endif

!define NAME "QLX-DUO Settings Utility"
!define PUBLISHER "The qlxduo developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\qlxduo"
!define SHORTCUT "$SMPROGRAMS\${NAME}.lnk"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\qlxduo"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!insertmacro MUI_PAGE_LICENSE "${SOURCE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

Section
  SetOutPath "$INSTDIR"
  File "${SOURCE}\qlxduo.exe"
  File "${SOURCE}\qlxduo-cli.exe"
  File "${SOURCE}\README.md"
  File "${SOURCE}\cli.md"
  File "${SOURCE}\glossary.md"
  File "${SOURCE}\qlxduo-window-win32.png"
  File "${SOURCE}\LICENSE.txt"
  File "${SOURCE}\THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; For every user, as the programs are.
  SetShellVarContext all
  CreateShortcut "${SHORTCUT}" "$INSTDIR\qlxduo.exe" "" "$INSTDIR\qlxduo.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\qlxduo.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes exactly what the installer put there; the user's settings file stays.
Section "Uninstall"
  SetShellVarContext all
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\qlxduo.exe"
  Delete "$INSTDIR\qlxduo-cli.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\cli.md"
  Delete "$INSTDIR\glossary.md"
  Delete "$INSTDIR\qlxduo-window-win32.png"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
