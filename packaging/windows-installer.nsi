; SPDX-License-Identifier: GPL-3.0-or-later
; The Windows setup program: the program in Program Files, a Start-menu shortcut (a desktop one
; if chosen), an uninstaller and the "Apps & features" entry, for every user of the machine.
; Runs silently with /S, into another folder with /D=, and starts the program afterwards with
; /RUN as the finish page's box does: as the user who ran the setup, not elevated. An earlier
; version is uninstalled first, so that there is only ever one entry. Uninstalling keeps the
; user's settings in the registry.
;
; makensis -DVERSION=2.8 -DFILE_VERSION=2.8.0.0 -DSTAGE=<folder of the installed files>
;          -DICON=<.ico> -DLICENCE=<licence page text> -DOUTFILE=<setup.exe> windows-installer.nsi
; A 64-bit setup program, as the program it installs; it sees the registry and the folders
; as the program does.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include FileFunc.nsh
!include LogicLib.nsh
!include MUI2.nsh

!define PRODUCT "RDN417 Config"
!define PUBLISHER "Korvalen"
!define EXE "rdn417-config.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The file type that .syx files are opened as, and the program's name for it.
!define SYX_KEY "Software\Classes\.syx"
!define PROG_ID "Korvalen.RDN417Config.syx"
!define PROG_KEY "Software\Classes\${PROG_ID}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${FILE_VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright 2026 ${PUBLISHER}; GPL-3.0-or-later"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Run ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION RunAsTheUser
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENCE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The installed files, named once for the install and the uninstall.
!macro ProgramFiles action
    !insertmacro ${action} "${EXE}"
    !insertmacro ${action} "rdn417-config.com"
    !insertmacro ${action} "README.txt"
    !insertmacro ${action} "LICENSE.txt"
    !insertmacro ${action} "THIRD-PARTY-NOTICES.txt"
!macroend
!macro InstallFile name
    File "${STAGE}/${name}"
!macroend
!macro RemoveFile name
    Delete "$INSTDIR\${name}"
!macroend

Function .onInit
    SetShellVarContext all
FunctionEnd

; The program is started by the shell the user logged in to, not by this elevated setup
; program: it runs as that user, unelevated, so that files dropped from Explorer reach it and
; its settings are the user's own.
Function RunAsTheUser
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\${EXE}"'
FunctionEnd

Function .onInstSuccess
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/RUN" $1
    ${IfNot} ${Errors}
        Call RunAsTheUser
    ${EndIf}
FunctionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

; An installed earlier (or the same) version is uninstalled in place first, wherever it was.
Function RemovePrevious
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\uninstall.exe"
        ExecWait '"$0\uninstall.exe" /S _?=$0' $1
        ${If} $1 != 0
            MessageBox MB_ICONSTOP "The installed ${PRODUCT} in $0 could not be removed." /SD IDOK
            Abort
        ${EndIf}
        Delete "$0\uninstall.exe"
        RMDir "$0"
    ${EndIf}
FunctionEnd

Section "${PRODUCT}" SectionProgram
    SectionIn RO
    Call RemovePrevious
    SetOutPath "$INSTDIR"
    !insertmacro ProgramFiles InstallFile
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Desktop shortcut" SectionDesktop
    CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0
SectionEnd

; A double-click on a .syx file opens the window on it. Where another program already opens
; .syx files it keeps them, and this one is offered beside it ("Open with").
Section "Open .syx files with ${PRODUCT}" SectionSyx
    WriteRegStr HKLM "${PROG_KEY}" "" "MIDI System Exclusive setup"
    WriteRegStr HKLM "${PROG_KEY}\DefaultIcon" "" "$INSTDIR\${EXE},0"
    WriteRegStr HKLM "${PROG_KEY}\shell\open\command" "" '"$INSTDIR\${EXE}" "%1"'
    WriteRegStr HKLM "${SYX_KEY}\OpenWithProgids" "${PROG_ID}" ""
    ReadRegStr $0 HKLM "${SYX_KEY}" ""
    ${If} $0 == ""
        WriteRegStr HKLM "${SYX_KEY}" "" "${PROG_ID}"
    ${EndIf}
    ; SHCNE_ASSOCCHANGED: Explorer shows the new association at once.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SectionProgram} "The program, its Start-menu shortcut and its uninstaller."
    !insertmacro MUI_DESCRIPTION_TEXT ${SectionDesktop} "A shortcut on the desktop of every user."
    !insertmacro MUI_DESCRIPTION_TEXT ${SectionSyx} "A double-click on a .syx setup file opens it in ${PRODUCT}."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; The settings under HKEY_CURRENT_USER\Software\Korvalen stay, for a later install to find.
Section "Uninstall"
    !insertmacro ProgramFiles RemoveFile
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$DESKTOP\${PRODUCT}.lnk"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ; The .syx association goes, but only where it is still this program's.
    DeleteRegKey HKLM "${PROG_KEY}"
    DeleteRegValue HKLM "${SYX_KEY}\OpenWithProgids" "${PROG_ID}"
    DeleteRegKey /ifempty HKLM "${SYX_KEY}\OpenWithProgids"
    ReadRegStr $0 HKLM "${SYX_KEY}" ""
    ${If} $0 == "${PROG_ID}"
        DeleteRegValue HKLM "${SYX_KEY}" ""
    ${EndIf}
    DeleteRegKey /ifempty HKLM "${SYX_KEY}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
