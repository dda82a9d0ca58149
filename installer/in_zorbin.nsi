; The Windows installer: puts one of the two DLLs into the player's Plugins
; folder and the user's papers beside it, and registers an uninstaller.
;
; Built by the cross build with makensis; the build passes:
;   VERSION    the project version
;   FULL_DLL   FIXED_DLL   the two builds of in_zorbin.dll
;   DRIVER     the port driver the full build writes out (to recognise ours)
;   PAPERS     an include naming the papers and their sources
;   OUTFILE    where the installer goes
;
; Command line (besides NSIS's own /S and /D=<player folder>, which must come
; last):  /BUILD=full | /BUILD=fixed  picks the DLL without the components page.
; The exit codes are listed below (EXIT_*) and in the user guide.

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
!define UNINSTALL_ROOT "Software\Microsoft\Windows\CurrentVersion\Uninstall"
!define PLAYER_WINDOW "Winamp v1.x"   ; the player's main window class
!define DOCS "Plugins\in_zorbin"      ; our folder inside the player's folder
!define DRIVER_SERVICE "UserPort"     ; the service the full build registers its driver as

; 1 and 2 are NSIS's own: cancelled by the user, aborted by the user (Abort
; in the box about a file that cannot be written).
!define EXIT_NO_PLAYER 3
!define EXIT_PLAYER_RUNNING 4
!define EXIT_BAD_OPTION 5
!define EXIT_DLL 6          ; in_zorbin.dll could not be written or deleted
!define EXIT_PAPERS 7       ; a paper or the uninstaller could not be written or deleted
!define EXIT_ENTRY 8        ; the uninstall entry could not be written or deleted
!define EXIT_DRIVER 9       ; the port driver's service or file could not be removed

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
Var EntryKey        ; this folder's uninstall entry, under UNINSTALL_ROOT
Var EntryFound      ; 1 if that entry exists already (an earlier installation here)
Var OtherEntries    ; how many entries other player folders' installations have
Var HadDll          ; 1 if Plugins\in_zorbin.dll was there before this run

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

; A failed step ends the run: a box when there is a window, the reason on the
; standard error stream, and an exit code of its own.
!macro FAIL who code text
    MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
    !insertmacro TELL_STDERR "in_zorbin ${who}: ${text}"
    SetErrorLevel ${code}
!macroend

; Each player folder has an entry of its own, so that installing into a
; second player neither takes over nor removes the first one's: the first is
; "in_zorbin", later ones "in_zorbin-2", "in_zorbin-3", ..., told apart by the
; folder they record. In: $R0, our folder (InstallLocation).
; Out: $EntryKey, $EntryFound, $OtherEntries.
!macro FIND_OUR_ENTRY un
Function ${un}FindOurEntry
    StrCpy $EntryKey ""
    StrCpy $EntryFound 0
    StrCpy $OtherEntries 0
    StrCpy $R1 0
    ${Do}
        EnumRegKey $R2 HKLM "${UNINSTALL_ROOT}" $R1
        ${If} $R2 == ""
            ${ExitDo}
        ${EndIf}
        StrCpy $R3 $R2 10
        ${If} $R2 == "${PRODUCT}"
        ${OrIf} $R3 == "${PRODUCT}-"
            ReadRegStr $R3 HKLM "${UNINSTALL_ROOT}\$R2" "InstallLocation"
            ${If} $R3 == $R0
                StrCpy $EntryKey $R2
                StrCpy $EntryFound 1
            ${Else}
                IntOp $OtherEntries $OtherEntries + 1
            ${EndIf}
        ${EndIf}
        IntOp $R1 $R1 + 1
    ${Loop}
    ${If} $EntryFound = 1
        Return
    ${EndIf}
    StrCpy $EntryKey "${PRODUCT}"
    StrCpy $R1 1
    ${Do}
        EnumRegValue $R2 HKLM "${UNINSTALL_ROOT}\$EntryKey" 0
        EnumRegKey $R3 HKLM "${UNINSTALL_ROOT}\$EntryKey" 0
        ${If} $R2 == ""
        ${AndIf} $R3 == ""
            ${ExitDo}
        ${EndIf}
        IntOp $R1 $R1 + 1
        StrCpy $EntryKey "${PRODUCT}-$R1"
    ${Loop}
FunctionEnd
!macroend
!insertmacro FIND_OUR_ENTRY ""
!insertmacro FIND_OUR_ENTRY "un."

Section "-check"
    Call RefuseWhilePlayerRuns
    StrCpy $R0 "$INSTDIR\${DOCS}"
    Call FindOurEntry
    StrCpy $HadDll 0
    ${If} ${FileExists} "$INSTDIR\Plugins\in_zorbin.dll"
        StrCpy $HadDll 1
    ${EndIf}
SectionEnd

!macro UNDO_PAPER name source
    Delete "$INSTDIR\${DOCS}\${name}"
!macroend

; A fresh install that fails, by our Abort or by the user's in NSIS's box
; about a file, takes back what it wrote, so that nothing is left without an
; uninstaller; over an earlier installation, that one's entry and
; uninstaller stay and still remove everything.
Function .onInstFailed
    ${If} $EntryFound = 1
        Return
    ${EndIf}
    ${If} $HadDll = 0
        Delete "$INSTDIR\Plugins\in_zorbin.dll"
    ${EndIf}
    !insertmacro ZORBIN_PAPERS UNDO_PAPER
    Delete "$INSTDIR\${DOCS}\uninstall.exe"
    SetOutPath "$TEMP"  ; a folder cannot go while it is the current one
    RMDir "$INSTDIR\${DOCS}"
    DeleteRegKey HKLM "${UNINSTALL_ROOT}\$EntryKey"
FunctionEnd

!macro FAIL_INSTALL code text
    !insertmacro FAIL setup ${code} "${text}"
    Abort
!macroend

; NSIS asks Abort/Retry/Ignore about a file it cannot write (Retry helps when
; another program held it); a silent run, or Ignore, leaves the error flag.
!macro INSTALL_DLL dll
    ClearErrors
    SetOutPath "$INSTDIR\Plugins"
    File "/oname=in_zorbin.dll" "${dll}"
    ${If} ${Errors}
        !insertmacro FAIL_INSTALL ${EXIT_DLL} \
            "Could not write in_zorbin.dll into $INSTDIR\Plugins: another program may hold it open, a folder may have its name, or you may lack the rights to that folder (run setup as an administrator). Nothing was installed."
    ${EndIf}
!macroend

Section "Full build (configurable port, dialogs, NT port driver)" SecFull
    !insertmacro INSTALL_DLL "${FULL_DLL}"
SectionEnd

Section /o "Fixed build (port 0x278, 2:30, for Windows 9x)" SecFixed
    !insertmacro INSTALL_DLL "${FIXED_DLL}"
SectionEnd

!macro INSTALL_PAPER name source
    File "/oname=${name}" "${source}"
    ${If} ${Errors}
        !insertmacro FAIL_INSTALL ${EXIT_PAPERS} \
            "Could not write ${name} into $INSTDIR\${DOCS}: a folder may have its name, or you may lack the rights to that folder. Setup did not complete."
    ${EndIf}
!macroend

Section "-papers and uninstaller"
    ClearErrors
    SetOutPath "$INSTDIR\${DOCS}"
    !insertmacro ZORBIN_PAPERS INSTALL_PAPER
    WriteUninstaller "$INSTDIR\${DOCS}\uninstall.exe"
    ${If} ${Errors}
        !insertmacro FAIL_INSTALL ${EXIT_PAPERS} \
            "Could not write the uninstaller into $INSTDIR\${DOCS}. Setup did not complete."
    ${EndIf}

    StrCpy $R0 "${PRODUCT} (C64 SID plug-in for Winamp)"
    ${If} $EntryKey != "${PRODUCT}"
        StrCpy $R0 "$R0 in $INSTDIR"  ; tells the entries apart in the list
    ${EndIf}
    !define KEY "${UNINSTALL_ROOT}\$EntryKey"
    WriteRegStr HKLM "${KEY}" "DisplayName" "$R0"
    WriteRegStr HKLM "${KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${KEY}" "InstallLocation" "$INSTDIR\${DOCS}"
    WriteRegStr HKLM "${KEY}" "UninstallString" '"$INSTDIR\${DOCS}\uninstall.exe"'
    WriteRegStr HKLM "${KEY}" "QuietUninstallString" '"$INSTDIR\${DOCS}\uninstall.exe" /S'
    WriteRegDWORD HKLM "${KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${KEY}" "NoRepair" 1
    !undef KEY
    ${If} ${Errors}
        !insertmacro FAIL_INSTALL ${EXIT_ENTRY} \
            "Could not register the uninstaller in the list of installed programs (you may lack the rights: run setup as an administrator). Setup did not complete."
    ${EndIf}
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
    StrCpy $R0 $INSTDIR
    Call un.FindOurEntry
FunctionEnd

; The path a service's ImagePath names, as a file: "\SystemRoot\" and a
; bare "System32\..." are relative to the Windows folder, "\??\" prefixes a
; plain path. In and out: $R1.
Function un.ImageFile
    StrCpy $R2 $R1 12
    StrCpy $R3 $R1 9
    StrCpy $R4 $R1 4
    ${If} $R2 == "\SystemRoot\"
        StrCpy $R1 $R1 "" 12
        StrCpy $R1 "$WINDIR\$R1"
    ${ElseIf} $R3 == "System32\"
        StrCpy $R1 "$WINDIR\$R1"
    ${ElseIf} $R4 == "\??\"
        StrCpy $R1 $R1 "" 4
    ${EndIf}
FunctionEnd

; Whether the file $R1 holds exactly the driver the full build writes out
; ($PLUGINSDIR\ours.sys): the service name alone is shared by other port
; drivers, so only our own bytes say that the plug-in put it there.
; Out: $R0 = 1 if so.
Function un.IsOurDriver
    StrCpy $R0 0
    ClearErrors
    FileOpen $R2 "$R1" r
    ${If} ${Errors}
        Return
    ${EndIf}
    FileOpen $R3 "$PLUGINSDIR\ours.sys" r
    FileSeek $R2 0 END $R4
    FileSeek $R3 0 END $R5
    ${If} $R4 = $R5
        FileSeek $R2 0 SET
        FileSeek $R3 0 SET
        StrCpy $R0 1
        ${For} $R6 1 $R4
            FileReadByte $R2 $R7
            FileReadByte $R3 $R8
            ${If} $R7 <> $R8
                StrCpy $R0 0
                ${Break}
            ${EndIf}
        ${Next}
    ${EndIf}
    FileClose $R3
    FileClose $R2
FunctionEnd

; Stops and deletes the driver's service. Out: $R0 = 1 if it is gone.
Function un.DeleteDriverService
    StrCpy $R0 0
    System::Call 'advapi32::OpenSCManagerA(p 0, p 0, i 1) p .R1'  ; SC_MANAGER_CONNECT
    ${If} $R1 = 0
        Return
    ${EndIf}
    ; DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS
    System::Call 'advapi32::OpenServiceA(p R1, t "${DRIVER_SERVICE}", i 0x10024) p .R2'
    ${If} $R2 <> 0
        System::Call '*(&i28) p .R3'  ; SERVICE_STATUS
        System::Call 'advapi32::ControlService(p R2, i 1, p R3) i'  ; SERVICE_CONTROL_STOP
        ; The file can go only once the driver is unloaded.
        ${For} $R4 1 50
            System::Call 'advapi32::QueryServiceStatus(p R2, p R3) i .R5'
            System::Call '*$R3(i, i .R6)'
            ${If} $R5 = 0
            ${OrIf} $R6 = 1  ; SERVICE_STOPPED
                ${Break}
            ${EndIf}
            Sleep 100
        ${Next}
        System::Free $R3
        System::Call 'advapi32::DeleteService(p R2) i .R5 ?e'
        Pop $R6
        ${If} $R5 <> 0
        ${OrIf} $R6 = 1072  ; ERROR_SERVICE_MARKED_FOR_DELETE
            StrCpy $R0 1
        ${EndIf}
        System::Call 'advapi32::CloseServiceHandle(p R2)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p R1)'
FunctionEnd

!macro FAIL_UNINSTALL code text
    !insertmacro FAIL uninstall ${code} "${text}"
    Abort
!macroend

; The full build installs the port driver itself on its first run as an
; administrator. It goes with the last installation, and only if it is ours:
; another program's driver of the same name stays, and so does ours while
; another player folder still has the plug-in.
Function un.RemoveOurDriver
    ReadRegStr $R1 HKLM "SYSTEM\CurrentControlSet\Services\${DRIVER_SERVICE}" "ImagePath"
    ${If} $R1 == ""
    ${OrIf} $OtherEntries > 0
        Return
    ${EndIf}
    Call un.ImageFile
    InitPluginsDir
    SetOutPath "$PLUGINSDIR"
    File "/oname=ours.sys" "${DRIVER}"
    Call un.IsOurDriver
    ${If} $R0 <> 1
        Return
    ${EndIf}
    Push $R1
    Call un.DeleteDriverService
    Pop $R1
    ${If} $R0 <> 1
        !insertmacro FAIL_UNINSTALL ${EXIT_DRIVER} \
            "Could not remove the port driver's service ${DRIVER_SERVICE} (uninstall as an administrator). The plug-in itself was removed."
    ${EndIf}
    ClearErrors
    Delete /REBOOTOK "$R1"
    ${If} ${Errors}
        !insertmacro FAIL_UNINSTALL ${EXIT_DRIVER} \
            "Could not delete the port driver $R1 (uninstall as an administrator). The plug-in itself was removed."
    ${EndIf}
FunctionEnd

!macro REMOVE_PAPER name source
    Delete "$INSTDIR\${name}"
    ${If} ${Errors}
        !insertmacro FAIL_UNINSTALL ${EXIT_PAPERS} \
            "Could not delete $INSTDIR\${name}: another program may hold it open. Close it and uninstall again."
    ${EndIf}
!macroend

; The DLL first, the entry last: a step that fails leaves the entry and the
; uninstaller, so that the user can run it again once the cause is gone.
Section "Uninstall"
    ${GetParent} "$INSTDIR" $R0
    ClearErrors
    Delete "$R0\in_zorbin.dll"
    ${If} ${Errors}
        !insertmacro FAIL_UNINSTALL ${EXIT_DLL} \
            "Could not delete $R0\in_zorbin.dll: another program may hold it open, or you may lack the rights to that folder. Close it and uninstall again."
    ${EndIf}
    Call un.RemoveOurDriver
    SetOutPath "$TEMP"  ; out of the folder, so that it can go
    ClearErrors
    !insertmacro ZORBIN_PAPERS REMOVE_PAPER
    Delete "$INSTDIR\uninstall.exe"
    ; Started in place (_?=) it cannot delete itself; the caller does that.
    ${If} ${Errors}
    ${AndIf} $EXEDIR != $INSTDIR
        !insertmacro FAIL_UNINSTALL ${EXIT_PAPERS} "Could not delete $INSTDIR\uninstall.exe."
    ${EndIf}
    RMDir "$INSTDIR"
    ; Last, so that a caller waiting for the entry to go knows we are done.
    ${If} $EntryFound = 1
        DeleteRegKey HKLM "${UNINSTALL_ROOT}\$EntryKey"
        ${If} ${Errors}
            !insertmacro FAIL_UNINSTALL ${EXIT_ENTRY} \
                "Could not remove the entry $EntryKey from the list of installed programs (uninstall as an administrator)."
        ${EndIf}
    ${EndIf}
SectionEnd
