; Tarvel's setup program: installs the package's `runtime` files for the
; current user (no administrator rights), with a Start menu shortcut, an entry
; under Settings > Apps, starting with Windows if chosen, and an uninstaller.
;
; Built by tools/setup/setup.cmake, which passes
;   VERSION  the project version, the one in tarvel.dll's version record
;   FILES    the .nsh that setup_files.cmake writes from the staged component
;   ICON     tarvel-host's icon
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

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_TITLE "Tarvel is running"
!define MUI_FINISHPAGE_TEXT "Tarvel runs in the notification area.  A mouse button flips between your windows: the first side button unless you chose another.$\r$\n$\r$\nClick its icon to choose the button, to pause it or to quit.  The Start menu starts it again; Settings > Apps removes it."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
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
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Tarvel"

Var OldFolder  ; where an installed Tarvel is, or empty

; tarvel-host's --quit ends the copy running in this session (a flip still
; shown ends, the key comes up and the setting comes back) and waits until it
; has cleaned up; its process may hold the program's file a moment longer.
; Windows lets no one write to a program that runs, so the file is tried
; until it can be written to (10 seconds at most).  The error flag is set
; when it cannot.
!macro EndRunningCopy folder
  ClearErrors
  ${If} ${FileExists} "${folder}\tarvel-host.exe"
    ExecWait '"${folder}\tarvel-host.exe" --quit'
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

Section "Tarvel" SecTarvel
  SectionIn RO
  !insertmacro EndRunningCopy "$INSTDIR"
  ; Moved elsewhere: the old copy's own uninstaller removes it, run in place
  ; (_?=) so that it is done when ExecWait returns; it cannot delete itself.
  ${If} $OldFolder != ""
  ${AndIf} $OldFolder != $INSTDIR
    !insertmacro EndRunningCopy "$OldFolder"
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
  ExecWait '"$INSTDIR\tarvel-host.exe" --quit'
  Exec '"$INSTDIR\tarvel-host.exe"'
SectionEnd

Function .onInit
  ReadRegStr $OldFolder HKCU "${UNINSTALL_KEY}" "InstallLocation"
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
  !insertmacro EndRunningCopy "$INSTDIR"
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

Section /o "un.Remove my settings (the button and Pause)" SecUnSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd

; Last, so that a script waiting for the Uninstall key to go finds the rest
; done.
Section "-un.Unregister"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Function un.onInit
  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/RemoveSettings" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecUnSettings}
  ${EndIf}
FunctionEnd
