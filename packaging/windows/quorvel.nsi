; The Windows installer of Quorvel: a 64-bit per-user install (no
; administrator rights), a Start menu shortcut that starts the program in
; Documents\Quorvel (the data files are written where the program starts),
; and an uninstaller that removes the program and leaves the user's files.
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0 -DSTAGE=DIR -DOUTFILE=FILE quorvel.nsi
; STAGE is the unpacked zip: the programs, the DLLs and their folders.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"

!define APPNAME "Quorvel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"

Name "${APPNAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Quorvel"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1049 "ProductName" "${APPNAME}"
VIAddVersionKey /LANG=1049 "FileDescription" "${APPNAME} ${VERSION}"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "Quorvel developers"

!define MUI_ICON "quorvel.ico"
!define MUI_UNICON "quorvel.ico"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

; The program's own files; the uninstaller removes exactly these.
!macro ProgramFiles action
    ${action} "$INSTDIR\quorvel.exe"
    ${action} "$INSTDIR\quorvel-cli.exe"
    ${action} "$INSTDIR\*.dll"
    ${action} "$INSTDIR\qt.conf"
    ${action} "$INSTDIR\readme.txt"
    ${action} "$INSTDIR\platforms\*.dll"
    ${action} "$INSTDIR\styles\*.dll"
    ${action} "$INSTDIR\translations\*.qm"
!macroend

Function StartProgram
    SetOutPath "$DOCUMENTS\Quorvel"
    Exec '"$INSTDIR\quorvel.exe"'
FunctionEnd

Section "Quorvel"
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The shortcut's working folder is the output path when it is made.
    CreateDirectory "$DOCUMENTS\Quorvel"
    SetOutPath "$DOCUMENTS\Quorvel"
    CreateShortcut "$SMPROGRAMS\Quorvel.lnk" "$INSTDIR\quorvel.exe" "" "$INSTDIR\quorvel.exe" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APPNAME}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvel.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; data.qvp, widths.qvf, the history and project files in Documents\Quorvel
; (or wherever the program was started) are the user's: never removed.
Section "Uninstall"
    !insertmacro ProgramFiles Delete
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR\platforms"
    RMDir "$INSTDIR\styles"
    RMDir "$INSTDIR\translations"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Quorvel.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
