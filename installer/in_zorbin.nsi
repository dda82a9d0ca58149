; The Windows installer: puts one of the two DLLs into the player's Plugins
; folder and the user's papers beside it, and registers an uninstaller.
;
; Built by the cross build with makensis; the build passes the paths:
;   VERSION    the project version
;   FULL_DLL   FIXED_DLL   the two builds of in_zorbin.dll
;   PAPERS     an include naming the papers and their sources
;   OUTFILE    where the installer goes
;
; Command line (besides NSIS's own /S and /D=<player folder>, which must come
; last):  /BUILD=full | /BUILD=fixed  picks the DLL without the components page.
; Exit codes: 0 installed, 1 cancelled, 2 aborted, 3 no player folder,
; 4 the player is running, 5 an unknown /BUILD.

Unicode false                ; ANSI: the 9x family (the fixed build's home) has no Unicode API
SetCompressor /SOLID lzma
RequestExecutionLevel admin  ; the player usually lives under Program Files

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"
!include "Sections.nsh"

!define PRODUCT "in_zorbin"
!define PUBLISHER "the in_zorbin project"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\in_zorbin"
!define PLAYER_WINDOW "Winamp v1.x"   ; the player's main window class
!define DOCS "Plugins\in_zorbin"      ; our folder inside the player's folder

!define EXIT_NO_PLAYER 3
!define EXIT_PLAYER_RUNNING 4
!define EXIT_BAD_OPTION 5

!include "${PAPERS}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Var PlayerFound     ; 1 if one of the player's own records named a folder
Var ChosenBuild     ; the selected radio section

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_PAGE_HEADER_TEXT "Choose the build"
!define MUI_PAGE_HEADER_SUBTEXT "Which in_zorbin.dll goes into Winamp's Plugins folder."
!define MUI_COMPONENTSPAGE_TEXT_TOP "Install one of the two builds of the plug-in (both are in_zorbin.dll)."
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_HEADER_TEXT "Choose the Winamp folder"
!define MUI_PAGE_HEADER_SUBTEXT "The plug-in goes into the Plugins folder of this Winamp."
!define MUI_PAGE_CUSTOMFUNCTION_SHOW ExplainPlayerFolder
!define MUI_DIRECTORYPAGE_TEXT_TOP " "
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Winamp folder (the one with winamp.exe)"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Silent runs have no window to explain a refusal in, so the reason also goes
; to the standard error stream (seen when the caller redirected it).
!macro TELL_STDERR text
    System::Call 'kernel32::GetStdHandle(i -12) i .R9'
    ${If} $R9 <> 0
    ${AndIf} $R9 <> -1
        FileWrite $R9 "${text}$\r$\n"
    ${EndIf}
!macroend

; The player holds its plug-ins open while it runs, so nothing may be
; replaced or removed then. Retry lets the user close it and go on.
!macro REFUSE_WHILE_PLAYER_RUNS un
Function ${un}RefuseWhilePlayerRuns
    ${Do}
        FindWindow $R0 "${PLAYER_WINDOW}"
        ${If} $R0 = 0
            Return
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "Winamp is running. Please close it, then press Retry." /SD IDCANCEL IDRETRY retry
        !insertmacro TELL_STDERR "in_zorbin setup: Winamp is running; close it and try again."
        SetErrorLevel ${EXIT_PLAYER_RUNNING}
        Quit
    retry:
    ${Loop}
FunctionEnd
!macroend
!insertmacro REFUSE_WHILE_PLAYER_RUNS ""
!insertmacro REFUSE_WHILE_PLAYER_RUNS "un."

Section "-check"
    Call RefuseWhilePlayerRuns
SectionEnd

Section "Full build (configurable port, dialogs, NT port driver)" SecFull
    SetOutPath "$INSTDIR\Plugins"
    File "/oname=in_zorbin.dll" "${FULL_DLL}"
SectionEnd

Section /o "Fixed build (port 0x278, 2:30, for Windows 9x)" SecFixed
    SetOutPath "$INSTDIR\Plugins"
    File "/oname=in_zorbin.dll" "${FIXED_DLL}"
SectionEnd

!macro INSTALL_PAPER name source
    File "/oname=${name}" "${source}"
!macroend

Section "-papers and uninstaller"
    SetOutPath "$INSTDIR\${DOCS}"
    !insertmacro ZORBIN_PAPERS INSTALL_PAPER
    WriteUninstaller "$INSTDIR\${DOCS}\uninstall.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (C64 SID plug-in for Winamp)"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR\${DOCS}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${DOCS}\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${DOCS}\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The folder part of a path the player's uninstall entry names, which may be
; quoted and may carry an icon index: "C:\Winamp\UninstWA.exe" or
; C:\Winamp\winamp.exe,0. In: $R1. Out: $R1 (empty if nothing usable).
Function FolderOfRecordedPath
    StrCpy $R2 $R1 1
    ${If} $R2 == '"'
        StrCpy $R1 $R1 "" 1
        ${WordFind} $R1 '"' "+1" $R1
    ${Else}
        ${WordFind} $R1 "," "+1" $R1
    ${EndIf}
    ${If} $R1 != ""
        ${GetParent} $R1 $R1
    ${EndIf}
FunctionEnd

; Where the player is, as it records it itself: the current user's player key
; (its default value is the folder), then the machine's uninstall entry, then
; the usual folder. A /D= on the command line has already set $INSTDIR.
Function FindPlayerFolder
    StrCpy $PlayerFound 0
    ${If} $INSTDIR != ""
        StrCpy $PlayerFound 1
        Return
    ${EndIf}
    ReadRegStr $R1 HKCU "Software\Winamp" ""
    ${If} $R1 != ""
    ${AndIf} ${FileExists} "$R1\winamp.exe"
        StrCpy $INSTDIR $R1
        StrCpy $PlayerFound 1
        Return
    ${EndIf}
    ${ForEach} $R3 0 1 + 1
        ${If} $R3 = 0
            ReadRegStr $R1 HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp" "UninstallString"
        ${Else}
            ReadRegStr $R1 HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp" "DisplayIcon"
        ${EndIf}
        Call FolderOfRecordedPath
        ${If} $R1 != ""
        ${AndIf} ${FileExists} "$R1\winamp.exe"
            StrCpy $INSTDIR $R1
            StrCpy $PlayerFound 1
            Return
        ${EndIf}
    ${Next}
    ${If} ${FileExists} "$PROGRAMFILES\Winamp\winamp.exe"
        StrCpy $INSTDIR "$PROGRAMFILES\Winamp"
        StrCpy $PlayerFound 1
        Return
    ${EndIf}
    StrCpy $INSTDIR "$PROGRAMFILES\Winamp"  ; a start for the folder page
FunctionEnd

Function .onInit
    StrCpy $ChosenBuild ${SecFull}
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/BUILD=" $R1
    ${IfNot} ${Errors}
        ${If} $R1 == "fixed"
            !insertmacro UnselectSection ${SecFull}
            !insertmacro SelectSection ${SecFixed}
            StrCpy $ChosenBuild ${SecFixed}
        ${ElseIf} $R1 != "full"
            MessageBox MB_ICONSTOP "Unknown build '$R1': use /BUILD=full or /BUILD=fixed." /SD IDOK
            !insertmacro TELL_STDERR "in_zorbin setup: unknown build '$R1'; use /BUILD=full or /BUILD=fixed."
            SetErrorLevel ${EXIT_BAD_OPTION}
            Quit
        ${EndIf}
    ${EndIf}

    Call FindPlayerFolder
    ${If} ${Silent}
    ${AndIfNot} ${FileExists} "$INSTDIR\winamp.exe"
        ${If} $PlayerFound = 1
            !insertmacro TELL_STDERR "in_zorbin setup: no winamp.exe in $INSTDIR; give the Winamp folder with /D=<folder>."
        ${Else}
            !insertmacro TELL_STDERR "in_zorbin setup: Winamp not found; give its folder with /D=<folder>."
        ${EndIf}
        SetErrorLevel ${EXIT_NO_PLAYER}
        Quit
    ${EndIf}
    ${If} ${Silent}
        Call RefuseWhilePlayerRuns
    ${EndIf}
FunctionEnd

Function .onSelChange
    !insertmacro StartRadioButtons $ChosenBuild
        !insertmacro RadioButton ${SecFull}
        !insertmacro RadioButton ${SecFixed}
    !insertmacro EndRadioButtons
FunctionEnd

Function ExplainPlayerFolder
    ${If} $PlayerFound = 1
        StrCpy $R0 "Setup found Winamp in the folder below. The plug-in goes into its Plugins folder; the user guide, the cable description and the C64 disk image go into Plugins\in_zorbin."
    ${Else}
        StrCpy $R0 "Setup could not find Winamp. Please choose the folder Winamp is installed in (the one that holds winamp.exe)."
    ${EndIf}
    SendMessage $mui.DirectoryPage.Text ${WM_SETTEXT} 0 "STR:$R0"
FunctionEnd

; Next stays disabled until the folder holds the player.
Function .onVerifyInstDir
    ${IfNot} ${FileExists} "$INSTDIR\winamp.exe"
        Abort
    ${EndIf}
FunctionEnd

; The uninstaller sits in <player>\Plugins\in_zorbin and removes exactly the
; files the installer put there and the DLL; the Plugins folder and anything
; else in it stay. Our folder goes only if nothing else is left in it.
Function un.onInit
    Call un.RefuseWhilePlayerRuns
FunctionEnd

!macro REMOVE_PAPER name source
    Delete "$INSTDIR\${name}"
!macroend

Section "Uninstall"
    ${GetParent} "$INSTDIR" $R0
    Delete "$R0\in_zorbin.dll"
    !insertmacro ZORBIN_PAPERS REMOVE_PAPER
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ; Last, so that a caller waiting for the entry to go knows we are done.
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
