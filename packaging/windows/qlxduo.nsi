; SPDX-License-Identifier: MIT
; The Windows installer, built on Linux with makensis (Debian package nsis):
;   makensis -DVERSION=<version> -DSOURCE=<folder> -DOUTFILE=<installer.exe> [-DSIGN=<command>] qlxduo.nsi
; <folder> holds what packaging/windows/stage puts there: both programs, README.md, cli.md,
; network-ports.md, glossary.md with qlxduo-window-win32.png, LICENSE.txt and
; THIRD-PARTY-NOTICES.txt. With SIGN, the
; installer and the uninstaller are each given to that command (packaging/windows/sign) to be signed.
; Installs into Program Files with a Start-menu entry, an uninstaller and, as chosen (on by
; default), the install folder on the system PATH; /S installs and uninstalls silently. Speaks
; Japanese on a Japanese system, English elsewhere.
; A 64-bit installer for the 64-bit programs: it writes to the 64-bit Program Files and registry
; view without redirection, and runs on a Wine without its 32-bit part.
Target amd64-unicode
Unicode true
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!ifndef VERSION | SOURCE | OUTFILE
  !error "define VERSION, SOURCE and OUTFILE (see the head of this file)"
!endif

!define PUBLISHER "The qlxduo developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\qlxduo"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "$(NAME) ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\qlxduo"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "$(NAME) ${VERSION}"

; The programs' icon, made by the script that makes it for the programs (makensis works in this
; script's folder).
!tempfile ICON
!system '../../res/icons/make-ico "${ICON}"' = 0
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\qlxduo.exe"

!insertmacro MUI_PAGE_LICENSE "${SOURCE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The first is the fallback for a system in neither language.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"
!delfile "${ICON}"

LangString NAME ${LANG_ENGLISH} "QLX-DUO Settings Utility"
LangString NAME ${LANG_JAPANESE} "QLX-DUO設定ユーティリティ"
LangString PROGRAMS ${LANG_ENGLISH} "Programs and documents"
LangString PROGRAMS ${LANG_JAPANESE} "プログラムと説明書"
LangString ON_PATH ${LANG_ENGLISH} "Add the install folder to PATH (qlxduo-cli in every console)"
LangString ON_PATH ${LANG_JAPANESE} "インストール先を PATH に追加（qlxduo-cli 用）"
LangString PATH_TOO_LONG ${LANG_ENGLISH} "PATH is too long to be changed here; it is left as it is."
LangString PATH_TOO_LONG ${LANG_JAPANESE} "PATH が長すぎるため変更しません。"
; The Start-menu entry in the installing system's language; the uninstaller removes either.
!define SHORTCUT_EN "$SMPROGRAMS\QLX-DUO Settings Utility.lnk"
!define SHORTCUT_JA "$SMPROGRAMS\QLX-DUO設定ユーティリティ.lnk"

; The version resource of the installer and its uninstaller: 1.03 is 1.3.0.0 (a leading zero
; would make the number octal).
!searchparse "${VERSION}" "" VERSION_MAJOR "." VERSION_MINOR
!searchparse /noerrors "x${VERSION_MINOR}" "x0" VERSION_MINOR_DIGITS
!ifndef VERSION_MINOR_DIGITS
  !define VERSION_MINOR_DIGITS "${VERSION_MINOR}"
!endif
!if "${VERSION_MINOR_DIGITS}" == ""
  !undef VERSION_MINOR_DIGITS
  !define VERSION_MINOR_DIGITS 0
!endif
!searchparse /file "${SOURCE}/LICENSE.txt" "Copyright " COPYRIGHT
VIProductVersion "${VERSION_MAJOR}.${VERSION_MINOR_DIGITS}.0.0"
VIFileVersion "${VERSION_MAJOR}.${VERSION_MINOR_DIGITS}.0.0"
!macro VERSION_KEYS LANG PRODUCT DESCRIPTION
  VIAddVersionKey /LANG=${LANG} "ProductName" "${PRODUCT}"
  VIAddVersionKey /LANG=${LANG} "FileDescription" "${DESCRIPTION}"
  VIAddVersionKey /LANG=${LANG} "CompanyName" "${PUBLISHER}"
  VIAddVersionKey /LANG=${LANG} "LegalCopyright" "Copyright ${COPYRIGHT}"
  VIAddVersionKey /LANG=${LANG} "FileVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG} "ProductVersion" "${VERSION}"
  VIAddVersionKey /LANG=${LANG} "OriginalFilename" "qlxduo-${VERSION}-setup.exe"
!macroend
!insertmacro VERSION_KEYS ${LANG_ENGLISH} "QLX-DUO Settings Utility" "QLX-DUO Settings Utility setup"
!insertmacro VERSION_KEYS ${LANG_JAPANESE} "QLX-DUO設定ユーティリティ" "QLX-DUO設定ユーティリティ セットアップ"

!ifdef SIGN
  !finalize '"${SIGN}" "%1"' = 0
  !uninstfinalize '"${SIGN}" "%1"' = 0
!endif

Section "$(PROGRAMS)" Programs
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${SOURCE}\qlxduo.exe"
  File "${SOURCE}\qlxduo-cli.exe"
  File "${SOURCE}\README.md"
  File "${SOURCE}\cli.md"
  File "${SOURCE}\network-ports.md"
  File "${SOURCE}\glossary.md"
  File "${SOURCE}\qlxduo-window-win32.png"
  File "${SOURCE}\LICENSE.txt"
  File "${SOURCE}\THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; For every user, as the programs are.
  SetShellVarContext all
  ; The English name when the Japanese one cannot be made.
  ClearErrors
  ${If} $LANGUAGE == ${LANG_JAPANESE}
    CreateShortcut "${SHORTCUT_JA}" "$INSTDIR\qlxduo.exe" "" "$INSTDIR\qlxduo.exe" 0
  ${EndIf}
  ${If} $LANGUAGE != ${LANG_JAPANESE}
  ${OrIf} ${Errors}
    CreateShortcut "${SHORTCUT_EN}" "$INSTDIR\qlxduo.exe" "" "$INSTDIR\qlxduo.exe" 0
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "$(NAME)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\qlxduo.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; PATH in the registry, as the system keeps it: entries split at ";", the install folder compared
; without regard to case, with or without a closing "\". Leaves in $1 PATH without the install
; folder's entries, in $5 1 when it had one; the error flag when PATH is missing or longer than
; the installer's strings hold, which leaves PATH alone.
!macro PATH_WITHOUT_INSTDIR un
Function ${un}PathWithoutInstallFolder
  StrCpy $1 ""
  StrCpy $5 0
  ClearErrors
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  ${If} ${Errors}
    Return
  ${EndIf}
  StrCpy $2 ""  ; the entry being read
  StrCpy $3 0   ; the position in PATH
  StrCpy $6 0   ; 1 once an entry is kept
  ${Do}
    StrCpy $4 $0 1 $3
    ${If} $4 == ";"
    ${OrIf} $4 == ""
      ${If} $2 == "$INSTDIR"
      ${OrIf} $2 == "$INSTDIR\"
        StrCpy $5 1
      ${ElseIf} $6 == 1
        StrCpy $1 "$1;$2"
      ${Else}
        StrCpy $1 "$2"
        StrCpy $6 1
      ${EndIf}
      StrCpy $2 ""
      ${IfThen} $4 == "" ${|} ${ExitDo} ${|}
    ${Else}
      StrCpy $2 "$2$4"
    ${EndIf}
    IntOp $3 $3 + 1
  ${Loop}
FunctionEnd
!macroend
!insertmacro PATH_WITHOUT_INSTDIR ""
!insertmacro PATH_WITHOUT_INSTDIR "un."

; On by default (the install is for all users); the uninstaller takes the entry out again only when
; this put it there.
Section "$(ON_PATH)" OnPath
  Call PathWithoutInstallFolder
  ${If} ${Errors}
    DetailPrint "$(PATH_TOO_LONG)"
    Return
  ${EndIf}
  ${If} $5 == 1
    Return  ; already there
  ${EndIf}
  StrLen $2 $0
  StrLen $3 $INSTDIR
  IntOp $2 $2 + $3
  ${If} $2 >= ${NSIS_MAX_STRLEN}
    DetailPrint "$(PATH_TOO_LONG)"
    Return
  ${EndIf}
  StrCpy $4 $0 1 -1
  ${If} $0 == ""
  ${OrIf} $4 == ";"
    StrCpy $0 "$0$INSTDIR"
  ${Else}
    StrCpy $0 "$0;$INSTDIR"
  ${EndIf}
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedToPath" 1
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
SectionEnd

; Removes exactly what the installer put there; the user's settings file stays.
Section "Uninstall"
  ReadRegDWORD $7 HKLM "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $7 == 1
    Call un.PathWithoutInstallFolder
    ${IfNot} ${Errors}
    ${AndIf} $5 == 1
      WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $1
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
  ${EndIf}
  SetShellVarContext all
  Delete "${SHORTCUT_EN}"
  Delete "${SHORTCUT_JA}"
  Delete "$INSTDIR\qlxduo.exe"
  Delete "$INSTDIR\qlxduo-cli.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\cli.md"
  Delete "$INSTDIR\network-ports.md"
  Delete "$INSTDIR\glossary.md"
  Delete "$INSTDIR\qlxduo-window-win32.png"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  ; The uninstall.exe that was started hands over to a copy of itself and ends; while it has not
  ; ended yet (a busy machine), its file cannot be deleted. Tried again for up to 10 s.
  StrCpy $8 0
  ${Do}
    ClearErrors
    Delete "$INSTDIR\uninstall.exe"
    ${IfNot} ${Errors}
    ${OrIf} $8 >= 100
      ${ExitDo}
    ${EndIf}
    IntOp $8 $8 + 1
    Sleep 100
  ${Loop}
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
