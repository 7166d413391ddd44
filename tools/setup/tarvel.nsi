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

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${PICTURE}"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${PICTURE}"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_WELCOMEPAGE_TITLE "Welcome to Tarvel ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "Tarvel lets you switch windows with a mouse button: press it, and Windows shows your open windows to pick from.$\r$\n$\r$\nTarvel installs for you alone and needs no administrator rights. If it is installed already, this updates it and keeps your settings.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Tarvel is running"
; $ButtonName: the button the user chose before, the first side button on a
; first install (set in .onInit).
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_TEXT "Press $ButtonName of your mouse: your open windows appear; click one.$\r$\n$\r$\nTarvel's icon is beside the clock. On Windows 10 and 11 it may be hidden: click the small arrow (^) beside the clock. Click the icon for Tarvel's menu."
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the guide (README.txt)"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
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

; tarvel-host's --quit ends the copy running in this session (a flip still
; shown ends, the key comes up and the setting comes back) and waits until it
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
    SW_SHOWNORMAL "" "Flip between your windows with a mouse button"

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

; Written as tarvel-host's menu writes it.  A record in StartupApproved (the
; user turned it off in Windows' own list) is left as it is: an update keeps
; that choice.
Section "Start with Windows" SecAutostart
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\tarvel-host.exe" --logon'
SectionEnd

Section "-Start Tarvel"
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
  ; One runs per session: a copy from elsewhere (a portable one) gives way
  ; to this one.  Not --logon: started by hand, it says where its icon is.
  ExecWait '"$INSTDIR\tarvel-host.exe" --quit --silent'
  Exec '"$INSTDIR\tarvel-host.exe"'
SectionEnd

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
  ; An update keeps the user's choice about starting with Windows.
  ${If} $OldFolder != ""
    ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${If} $0 == ""
      !insertmacro UnselectSection ${SecAutostart}
    ${EndIf}
  ${EndIf}
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
