; Tarvel's setup program: installs the package's `runtime` files for the
; current user (no administrator rights), with a Start menu shortcut, an entry
; under Settings > Apps, starting with Windows if chosen, and an uninstaller.
;
; Built by tools/setup/setup.cmake, which passes
;   VERSION  the project version, the one in tarvel.dll's version record
;   FILES    the .nsh that setup_files.cmake writes from the staged component
;   ICON     tarvel-host's icon
;   PICTURE  the picture of the welcome and finish pages (164 x 314 BMP)
;   OUTFILE  the setup program to write
;   SIGN     the command that signs a file in place (scripts/sign.sh), used
;            when the environment names a certificate in TARVEL_SIGN_PFX
;
; Command line: /S installs without a window, /D=<folder> (last, unquoted)
; chooses the folder.  The uninstaller takes /S, and /RemoveSettings to
; remove HKCU\Software\Tarvel too (kept otherwise).

; Only a 64-bit stub: Tarvel is 64-bit, and so is everything it runs beside.
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma
; A file that cannot be replaced (a copy that did not end holds it) stops the
; install, with exit code 2 in silent mode, instead of being skipped.
AllowSkipFiles off

; Signed, the uninstaller as it is built and the setup program once written,
; when the build's environment names a certificate (an unset variable stays
; "$%NAME%" as written).  The files it installs come signed from the staging.
!searchparse /noerrors "$%TARVEL_SIGN_PFX%" "$%" UNSIGNED
!ifndef UNSIGNED
  !uninstfinalize '${SIGN} "%1"' = 0
  !finalize '${SIGN} "%1"' = 0
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include "${FILES}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvel"
; The value tarvel-host writes, and Windows' record of the user turning it
; off in Settings > Apps > Startup or the Task Manager.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define STARTUP_APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
!define RUN_VALUE "Tarvel"
!define SETTINGS_KEY "Software\Tarvel"

Name "Tarvel"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tarvel"
; An update goes where the installed copy is, unless /D= says otherwise.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Tarvel ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

Var ButtonName  ; the button that shows the windows, in words (the finish page)
Var Trigger     ; what to do with it, as the user chose it: "Press the first side button", say
Var WelcomeText ; what the welcome page says about rights (.onInit)

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${PICTURE}"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${PICTURE}"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_WELCOMEPAGE_TITLE "Welcome to Tarvel ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "$WelcomeText"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
; What the finish page says is what happened (SayWhatHappened).
Var FinishTitle
Var FinishText
!define MUI_FINISHPAGE_TITLE "$FinishTitle"
!define MUI_FINISHPAGE_TEXT "$FinishText"
; The guide as a link at the page's foot, not a box under the text: a box
; leaves the text 60 dialog units (seven lines), too few for what it says;
; beside a link it has 120.  Both are in dialog units, which grow with the
; font, so what fits at 100 % fits at 200 % too.
!define MUI_FINISHPAGE_LINK "Read the guide (README.txt)"
!define MUI_FINISHPAGE_LINK_LOCATION "$INSTDIR\README.txt"
!insertmacro MUI_PAGE_FINISH
!define MUI_COMPONENTSPAGE_TEXT_TOP "Removes Tarvel's files, its Start menu entry, starting with Windows and its entry in Settings > Apps. Tick the box to forget your settings too: the button, the wheel or pointer, excluded applications, Pause and every other menu choice."
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.HideSpaceRequired
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Tarvel"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "Tarvel"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Tarvel Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "OriginalFilename" "tarvel-${VERSION}-setup.exe"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (c) 2026 the Tarvel authors. MIT License."

Var OldFolder  ; where an installed Tarvel is, or empty
Var Elevated   ; 1 when this process runs as administrator
; Windows' Startup record of the installed copy: 12 bytes (the first odd when
; the user turned the entry off in Settings > Apps > Startup or the Task
; Manager), kept so that an update, a move included, keeps that choice.
Var StartupRecord         ; the record's bytes (System::Alloc, for the process's life), 0 when none was read
Var StartupOffInWindows   ; 1 when it turns the Run value off
Var Started               ; 1 once tarvel-host's icon window is there

!define HKCU_HANDLE -2147483647  ; HKEY_CURRENT_USER, sign-extended as a 64-bit handle
!define REG_BINARY 3
!define STARTUP_RECORD_SIZE 12
!define TRAY_WINDOW_CLASS "TarvelHostTray"  ; tarvel-host's window, there while its icon is

; $0 = 1 when this process's token is elevated (run as administrator).
!macro ReadElevation
  StrCpy $0 0
  System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r1) i .r2'  ; TOKEN_QUERY
  ${If} $2 <> 0
    System::Call 'advapi32::GetTokenInformation(p r1, i 20, *i .r0, i 4, *i .r2)'  ; TokenElevation
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
!macroend

; tarvel-host's --quit ends the copy running in this session (a flip still
; shown ends and the setting comes back) and waits until it
; has cleaned up; its process may hold the program's file a moment longer.
; Windows lets no one write to a program that runs, so the file is tried
; until it can be written to (10 seconds at most).  The error flag is set
; when it cannot.  `quitter` is the tarvel-host.exe that asks: the installer
; runs this version's own from its temporary folder, which knows --silent
; (no message box) where an installed earlier version would refuse it.
!macro EndRunningCopy folder quitter
  ClearErrors
  ${If} ${FileExists} "${folder}\tarvel-host.exe"
    ExecWait '"${quitter}" --quit --silent'
    StrCpy $R0 0
    ${Do}
      ClearErrors
      FileOpen $R1 "${folder}\tarvel-host.exe" a
      ${IfNot} ${Errors}
        FileClose $R1
        ${Break}
      ${EndIf}
      IntOp $R0 $R0 + 1
      ${If} $R0 >= 100
        SetErrors
        ${Break}
      ${EndIf}
      Sleep 100
    ${Loop}
  ${EndIf}
!macroend

; Called, not inlined: a File in a section counts towards the size the
; components page states, and this copy is not installed.
Function ExtractQuitter
  InitPluginsDir
  File "/oname=$PLUGINSDIR\tarvel-host.exe" "${TARVEL_HOST_STAGED}"
FunctionEnd

Section "Tarvel" SecTarvel
  SectionIn RO
  Call ExtractQuitter
  !insertmacro EndRunningCopy "$INSTDIR" "$PLUGINSDIR\tarvel-host.exe"
  ; Moved elsewhere: the old copy's own uninstaller removes it, run in place
  ; (_?=) so that it is done when ExecWait returns; it cannot delete itself.
  ${If} $OldFolder != ""
  ${AndIf} $OldFolder != $INSTDIR
    !insertmacro EndRunningCopy "$OldFolder" "$PLUGINSDIR\tarvel-host.exe"
    ${If} ${FileExists} "$OldFolder\uninstall.exe"
      ExecWait '"$OldFolder\uninstall.exe" /S _?=$OldFolder'
      Delete "$OldFolder\uninstall.exe"
      RMDir "$OldFolder"
    ${EndIf}
  ${EndIf}

  !insertmacro TarvelInstallFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetOutPath "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\Tarvel.lnk" "$INSTDIR\tarvel-host.exe" "" "$INSTDIR\tarvel-host.exe" 0 \
    SW_SHOWNORMAL "" "Switch windows with a mouse button"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Tarvel"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Tarvel"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tarvel-host.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Written as tarvel-host's menu writes it: ticked, Windows' record of "off"
; goes too.
Section "Start with Windows" SecAutostart
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\tarvel-host.exe" --logon'
  DeleteRegValue HKCU "${STARTUP_APPROVED_KEY}" "${RUN_VALUE}"
SectionEnd

Section "-Start Tarvel"
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    ${If} $StartupOffInWindows = 1
      ; Turned off in Windows' list and left so: the entry stays there, off,
      ; for the program where it now is (a move's uninstall removed both).
      WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\tarvel-host.exe" --logon'
      System::Call 'advapi32::RegSetKeyValueW(p ${HKCU_HANDLE}, w "${STARTUP_APPROVED_KEY}", w "${RUN_VALUE}", \
                    i ${REG_BINARY}, p $StartupRecord, i ${STARTUP_RECORD_SIZE}) i .r0'
    ${Else}
      DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
      DeleteRegValue HKCU "${STARTUP_APPROVED_KEY}" "${RUN_VALUE}"
    ${EndIf}
  ${EndIf}
  ; One runs per session: a copy from elsewhere (a portable one) gives way
  ; to this one.  Not --logon: started by hand, it says where its icon is.
  ExecWait '"$INSTDIR\tarvel-host.exe" --quit --silent'
  Call StartTarvel
  Call SayWhatHappened
SectionEnd

; Starts tarvel-host.exe as the user's own program.  Run as administrator,
; this process would hand its elevation on to a program it starts: then the
; desktop's shell (Explorer) starts it, with the shell's token, through the
; shell's automation object (the desktop's view, IShellDispatch2::ShellExecute).
; Without a shell to ask, it is not started, and the finish page says so.
; $Started is 1 once its icon's window is there (10 seconds at most).
Function StartTarvel
  ${If} $Elevated = 1
    Call StartThroughTheShell
  ${Else}
    Exec '"$INSTDIR\tarvel-host.exe"'
  ${EndIf}
  StrCpy $Started 0
  ${For} $R0 1 100
    FindWindow $R1 "${TRAY_WINDOW_CLASS}"
    ${If} $R1 <> 0
      StrCpy $Started 1
      ${Break}
    ${EndIf}
    Sleep 100
  ${Next}
FunctionEnd

!macro ReleaseIfGot pointer
  ${If} ${pointer} <> 0
    System::Call '${pointer}->2()'  ; IUnknown::Release
  ${EndIf}
!macroend

; The COM calls by their places in each interface's table; every pointer got
; is released, in the reverse order.
Function StartThroughTheShell
  System::Alloc 24  ; an empty VARIANT (zeroed: VT_EMPTY), for every optional argument
  Pop $R9
  StrCpy $R1 0
  StrCpy $R2 0
  StrCpy $R3 0
  StrCpy $R4 0
  StrCpy $R5 0
  StrCpy $R6 0
  StrCpy $R7 0
  StrCpy $R8 0
  System::Call 'ole32::CoInitializeEx(p 0, i 2)'  ; apartment-threaded
  ; ShellWindows, IShellWindows
  System::Call 'ole32::CoCreateInstance(g "{9BA05972-F6A8-11CF-A442-00A0C90A8F39}", p 0, i 4, \
                g "{85CB6900-4D95-11CF-960C-0080C7F4EE85}", *p .R1) i .r0'
  ${If} $0 = 0
    ; IShellWindows::FindWindowSW(SWC_DESKTOP, SWFO_NEEDDISPATCH)
    System::Call '$R1->15(p R9, p R9, i 8, *i .r1, i 1, *p .R2) i .r0'
  ${EndIf}
  ${If} $0 = 0
    ; IServiceProvider::QueryService(SID_STopLevelBrowser, IID_IShellBrowser)
    System::Call '$R2->0(g "{6D5140C1-7436-11CE-8034-00AA006009FA}", *p .R3) i .r0'
    ${If} $0 = 0
      System::Call '$R3->3(g "{4C96BE40-915C-11CF-99D3-00AA004AE837}", \
                    g "{000214E2-0000-0000-C000-000000000046}", *p .R4) i .r0'
    ${EndIf}
  ${EndIf}
  ${If} $0 = 0
    System::Call '$R4->15(*p .R5) i .r0'  ; IShellBrowser::QueryActiveShellView
  ${EndIf}
  ${If} $0 = 0
    ; IShellView::GetItemObject(SVGIO_BACKGROUND, IID_IDispatch)
    System::Call '$R5->15(i 0, g "{00020400-0000-0000-C000-000000000046}", *p .R6) i .r0'
  ${EndIf}
  ${If} $0 = 0
    ; IShellFolderViewDual, then its get_Application
    System::Call '$R6->0(g "{E7A1AF80-4D96-11CF-960C-0080C7F4EE85}", *p .R7) i .r0'
    ${If} $0 = 0
      System::Call '$R7->7(*p .r2) i .r0'
      ${If} $0 = 0
        System::Call '$2->0(g "{A4C6892C-3BA9-11D2-9DEA-00C04FB16162}", *p .R8) i .r0'  ; IShellDispatch2
        System::Call '$2->2()'
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $0 = 0
    ; IShellDispatch2::ShellExecute(file, arguments, folder, verb, show): the
    ; VARIANTs go by reference to a copy, as the 64-bit convention passes them.
    System::Call 'oleaut32::SysAllocString(w "$INSTDIR\tarvel-host.exe") p .r3'
    System::Call '$R8->31(p r3, p R9, p R9, p R9, p R9) i .r0'
    System::Call 'oleaut32::SysFreeString(p r3)'
  ${EndIf}
  !insertmacro ReleaseIfGot $R8
  !insertmacro ReleaseIfGot $R7
  !insertmacro ReleaseIfGot $R6
  !insertmacro ReleaseIfGot $R5
  !insertmacro ReleaseIfGot $R4
  !insertmacro ReleaseIfGot $R3
  !insertmacro ReleaseIfGot $R2
  !insertmacro ReleaseIfGot $R1
  System::Free $R9
  System::Call 'ole32::CoUninitialize()'
FunctionEnd

; The finish page's title and text: whether Tarvel runs, and whether it
; starts with Windows as the registry now says.
Function SayWhatHappened
  ${If} $Started = 1
    StrCpy $FinishTitle "Tarvel is running"
    ; $ButtonName: the button the user chose before, the first side button
    ; on a first install (set in .onInit).
    StrCpy $FinishText "$Trigger of your mouse: your open windows appear; click one.$\r$\n$\r$\nTarvel's icon is beside the clock. On Windows 10 and 11 it may be hidden: click the small arrow (^) beside the clock. Click the icon for Tarvel's menu."
  ${Else}
    StrCpy $FinishTitle "Tarvel is installed"
    StrCpy $FinishText "Tarvel is installed but did not start.  Start it from the Start menu (Tarvel); if it cannot start, it says why."
  ${EndIf}
  ${If} ${SectionIsSelected} ${SecAutostart}
    StrCpy $FinishText "$FinishText$\r$\n$\r$\nIt starts with Windows."
  ${ElseIf} $StartupOffInWindows = 1
    StrCpy $FinishText "$FinishText$\r$\n$\r$\nIt does not start with Windows: it is turned off in Windows' list of startup apps, as you left it."
  ${Else}
    StrCpy $FinishText "$FinishText$\r$\n$\r$\nIt does not start with Windows; its menu's Start with Windows turns that on."
  ${EndIf}
FunctionEnd

; An update keeps the user's choice about starting with Windows, read as
; tarvel-host's menu reads it: on when the Run value starts the installed
; tarvel-host.exe and Windows' record does not turn it off.
Function ReadStartupChoice
  StrCpy $StartupRecord 0
  StrCpy $StartupOffInWindows 0
  System::Alloc ${STARTUP_RECORD_SIZE}
  Pop $1
  System::Call 'advapi32::RegGetValueW(p ${HKCU_HANDLE}, w "${STARTUP_APPROVED_KEY}", w "${RUN_VALUE}", \
                i 0x8, p 0, p r1, *i ${STARTUP_RECORD_SIZE} r2) i .r0'  ; RRF_RT_REG_BINARY
  ${If} $0 = 0
  ${AndIf} $2 = ${STARTUP_RECORD_SIZE}
    StrCpy $StartupRecord $1
    System::Call '*$1(&i1 .r3)'
    IntOp $StartupOffInWindows $3 & 1
  ${Else}
    System::Free $1
  ${EndIf}
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  StrCpy $1 '"$OldFolder\tarvel-host.exe"'
  StrLen $2 $1
  StrCpy $0 $0 $2
  ; StrCmp, under ${If} ==, compares without regard to case, as paths are.
  ${If} $0 != $1
    StrCpy $StartupOffInWindows 0  ; no entry of this copy's for Windows to turn off
    !insertmacro UnselectSection ${SecAutostart}
  ${ElseIf} $StartupOffInWindows = 1
    !insertmacro UnselectSection ${SecAutostart}
  ${EndIf}
FunctionEnd

Function .onInit
  ReadRegStr $OldFolder HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $0 HKCU "${SETTINGS_KEY}" "Button"
  ${If} $0 == "xbutton2"
    StrCpy $ButtonName "the second side button"
  ${ElseIf} $0 == "middle"
    StrCpy $ButtonName "the middle button"
  ${Else}
    StrCpy $ButtonName "the first side button"
  ${EndIf}
  ; A long press, as the settings window sets it (the hold time in ms, 0
  ; for none); the corners stay the guide's.
  ReadRegDWORD $0 HKCU "${SETTINGS_KEY}" "HoldMs"
  ${If} $0 > 0
    StrCpy $Trigger "Hold down $ButtonName"
  ${Else}
    StrCpy $Trigger "Press $ButtonName"
  ${EndIf}
  ; An update keeps the user's choice about starting with Windows.
  ${If} $OldFolder != ""
    Call ReadStartupChoice
  ${EndIf}
  ; Run as administrator (or with another account's password), this program
  ; still installs for the account it runs as, and that account's Tarvel is
  ; started without administrator rights.
  ; The welcome page and this box say the same: for one account, and Tarvel
  ; runs without administrator rights.
  !insertmacro ReadElevation
  StrCpy $Elevated $0
  StrCpy $2 "Tarvel installs for you alone and needs no administrator rights."
  ${If} $Elevated = 1
    System::Call 'advapi32::GetUserNameW(w .r1, *i ${NSIS_MAX_STRLEN})'
    StrCpy $2 "Tarvel installs for the account $1 alone and runs without administrator rights, though this setup program has them."
    MessageBox MB_OKCANCEL|MB_ICONINFORMATION "This setup program runs as administrator.  It installs Tarvel for the account $1 alone, and Tarvel runs without administrator rights.$\r$\n$\r$\nTo install Tarvel for another account, cancel, then run this setup program as that account, without Run as administrator." /SD IDOK IDOK installForThisAccount
    Quit
  ${EndIf}
  installForThisAccount:
  StrCpy $WelcomeText "Tarvel lets you switch windows with a mouse button: press it, and Windows shows your open windows to pick from.$\r$\n$\r$\n$2 If it is installed already, this updates it and keeps your settings.$\r$\n$\r$\nClick Next to continue."
FunctionEnd

Section "un.Tarvel" SecUnTarvel
  SectionIn RO
  !insertmacro EndRunningCopy "$INSTDIR" "$INSTDIR\tarvel-host.exe"
  ; A copy that did not end stops the uninstall before anything is removed
  ; (exit code 2), so that it can be tried again.
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Tarvel is still running.  Quit it from its icon's menu, then uninstall it again." /SD IDOK
    Abort
  ${EndIf}
  !insertmacro TarvelRemoveFiles
  Delete "$INSTDIR\uninstall.exe"
  ; Only if empty: the folder may have been one of the user's own (/D=).
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Tarvel.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegValue HKCU "${STARTUP_APPROVED_KEY}" "${RUN_VALUE}"
SectionEnd

Section /o "un.Remove my settings" SecUnSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd

; Last, so that a script waiting for the Uninstall key to go finds the rest
; done.
Section "-un.Unregister"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; The uninstaller's sections hold no files, so the page would say "Space
; required: 0.0 KB": its two space texts (controls 1023 and 1024) are hidden.
Function un.HideSpaceRequired
  FindWindow $0 "#32770" "" $HWNDPARENT
  GetDlgItem $1 $0 1023
  ShowWindow $1 ${SW_HIDE}
  GetDlgItem $1 $0 1024
  ShowWindow $1 ${SW_HIDE}
FunctionEnd

Function un.onInit
  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/RemoveSettings" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecUnSettings}
  ${EndIf}
FunctionEnd
