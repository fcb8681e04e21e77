; The Windows installer: the programs into Program Files, a Start-menu entry, rv740x on PATH
; for every user, and an uninstaller that takes all of it back. scripts/build-windows.sh runs
; it with makensis -DRV740X_VERSION=... -DRV740X_STAGE=... -DRV740X_ICON=... -DRV740X_SETUP=...
; and -DRV740X_GUI when the window is in the package.
; A 64-bit installer for the 64-bit programs: it writes the 64-bit registry and Program Files
; without redirection.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "StrFunc.nsh"
${UnStrRep}

!define PRODUCT "Конфигуратор RV7406/RV7408"
!define SHORTCUT "rv740x-config.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\rv740x-configurator"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "${PRODUCT}"
OutFile "${RV740X_SETUP}"
InstallDir "$PROGRAMFILES64\RV740x Configurator"
RequestExecutionLevel admin
BrandingText "${PRODUCT} ${RV740X_VERSION}"
VIProductVersion "${RV740X_VERSION}.0.0"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "FileVersion" "${RV740X_VERSION}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка: ${PRODUCT}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "RV740x configurator team"

!define MUI_ICON "${RV740X_ICON}"
!define MUI_UNICON "${RV740X_ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${RV740X_STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The Start-menu entry. A file name may not hold "/", so the shortcut's file has a plain name
  ; and the menu shows the program's own through the folder's localized names.
  !ifdef RV740X_GUI
    CreateShortcut "$SMPROGRAMS\${SHORTCUT}" "$INSTDIR\rv740x-config.exe" "" \
        "$INSTDIR\rv740x-config.ico"
  !else
    CreateShortcut "$SMPROGRAMS\${SHORTCUT}" "$SYSDIR\cmd.exe" "/k rv740x.exe --help" \
        "$INSTDIR\rv740x-config.ico"
  !endif
  IfFileExists "$SMPROGRAMS\desktop.ini" +4 0
    FileOpen $0 "$SMPROGRAMS\desktop.ini" w
    FileWriteWord $0 0xFEFF
    FileClose $0
  WriteINIStr "$SMPROGRAMS\desktop.ini" "LocalizedFileNames" "${SHORTCUT}" "${PRODUCT}"

  ; rv740x on PATH. A PATH longer than this installer's strings hold (it would have been read
  ; cut short) is left alone, not cut.
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  StrLen $1 "$0;$INSTDIR"
  IntCmp $1 ${NSIS_MAX_STRLEN} pathTooLong 0 pathTooLong
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0;$INSTDIR"
  SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
  Goto pathDone
  pathTooLong:
    DetailPrint "PATH слишком длинный: добавьте $INSTDIR в PATH вручную"
  pathDone:

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${RV740X_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "RV740x configurator team"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\rv740x.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${SHORTCUT}"
  DeleteINIStr "$SMPROGRAMS\desktop.ini" "LocalizedFileNames" "${SHORTCUT}"
  ; A PATH read cut short is left alone.
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  StrLen $1 $0
  IntOp $2 ${NSIS_MAX_STRLEN} - 1
  IntCmp $1 $2 unPathDone 0 unPathDone
  ${UnStrRep} $0 $0 ";$INSTDIR" ""
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0"
  SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
  unPathDone:
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  RMDir /r "$INSTDIR"
SectionEnd
