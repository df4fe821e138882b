; VantrelSetup.exe: installs Vantrel, the time-limit service QORsvc, the limited user's
; QORtray.exe and the help file into %ProgramFiles%\QOR, registers and starts the service (also
; for Safe Mode, with and without networking), starts QORtray.exe at every user's logon, and
; leaves an uninstaller that stops and removes the service, the files, the logon entry, the Safe
; Mode entries and what the service kept under its key, but keeps the settings in the registry
; (they are the user's data) and the service's log.
;
; Built by cmake/Installer.cmake:
;   makensis -DVANTREL_EXE=<Vantrel.exe> -DSERVICE_EXE=<QORsvc.exe> -DTRAY_EXE=<QORtray.exe>
;            -DHELP_FILE=<QORHelp.chm> -DICON_FILE=<.ico> -DWIZARD_PICTURE=<164 x 314 .bmp>
;            -DVERSION=<a.b.c> -DOUT_FILE=<VantrelSetup.exe> Vantrel.nsi
; -DACCOUNT_TYPE=<type> replaces the account type the platform reports (tests only).

Unicode true
; Both programs are 64-bit: so is the installer, which then sees the 64-bit Program Files folder
; and the 64-bit registry without redirection.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include LogicLib.nsh
!include MUI2.nsh

!define PRODUCT "Vantrel"
!define SERVICE "QORsvc"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel"
; The machine's list of programs started at every user's logon.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SERVICE_KEY "SYSTEM\CurrentControlSet\Services\${SERVICE}"
; The services Windows starts in Safe Mode, and in Safe Mode with networking. A standard user
; reaches Safe Mode from the sign-in screen: the service must run there too.
!define SAFE_BOOT_MINIMAL_KEY "SYSTEM\CurrentControlSet\Control\SafeBoot\Minimal\${SERVICE}"
!define SAFE_BOOT_NETWORK_KEY "SYSTEM\CurrentControlSet\Control\SafeBoot\Network\${SERVICE}"
; What Windows answers when a program that needs an administrator is started without one.
!define ERROR_ELEVATION_REQUIRED 740

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
; The service writes its log to %ProgramFiles%\QOR and Vantrel reads it there: the folder is fixed.
InstallDir "$PROGRAMFILES64\QOR"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PRODUCT}"

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WIZARD_PICTURE}"
!define MUI_WELCOMEPAGE_TEXT "Setup will install ${PRODUCT} ${VERSION} and its time-limit service into the folder$\r$\n$\r$\n$PROGRAMFILES64\QOR$\r$\n$\r$\nThe service starts at once and with every start of Windows. Settings made with an earlier installation are kept.$\r$\n$\r$\nClick Install to continue."
!define MUI_FINISHPAGE_RUN "$INSTDIR\Vantrel.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Installing or removing a service needs an administrator. Without one, say so and end with
; ERROR_ELEVATION_REQUIRED (a silent run only gets the exit code).
!macro REQUIRE_ADMINISTRATOR WHAT
    UserInfo::GetAccountType
    Pop $0
    !ifdef ACCOUNT_TYPE
        StrCpy $0 "${ACCOUNT_TYPE}"
    !endif
    ${If} $0 != "Admin"
        MessageBox MB_OK|MB_ICONSTOP "${WHAT}$\r$\n$\r$\nSign in with an administrator account, or right-click the program and choose $\"Run as administrator$\"." /SD IDOK
        SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
        Quit
    ${EndIf}
!macroend

Function .onInit
    !insertmacro REQUIRE_ADMINISTRATOR "$(^Name) Setup needs administrator rights: it installs a service and writes to $PROGRAMFILES64."
    ; The service writes its log to this folder and Vantrel looks for it there: /D= cannot move it.
    StrCpy $INSTDIR "$PROGRAMFILES64\QOR"
FunctionEnd

Function un.onInit
    !insertmacro REQUIRE_ADMINISTRATOR "Removing $(^Name) needs administrator rights: it removes a service and files from $PROGRAMFILES64."
FunctionEnd

; Set once the running service has been asked to stop.
Var StopTried

; An install that fails or is cancelled after it tried to stop the running service starts it
; again, also when the stop took longer than --stop waited: limits must not go unenforced until
; the next start of Windows. --start waits for a service that is still stopping.
Function .onInstFailed
    ${If} $StopTried == 1
        nsExec::ExecToLog '"$PLUGINSDIR\QORsvc.exe" --start'
        Pop $0
    ${EndIf}
FunctionEnd

; The same for an uninstall that tried to stop the service but could not remove it.
Function un.onUninstFailed
    ${If} $StopTried == 1
    ${AndIf} ${FileExists} "$INSTDIR\QORsvc.exe"
        nsExec::ExecToLog '"$INSTDIR\QORsvc.exe" --start'
        Pop $0
    ${EndIf}
FunctionEnd

; QORtray.exe runs in the session of every user logged on since it was installed (the
; administrator's own too), and a running program can be neither replaced nor deleted; it can be
; renamed, on the same volume. The one that runs is set aside under a name of its own, deleted
; with the next start of Windows, without asking anyone to close anything. Its own name is never
; marked for deletion: an install before that start puts the new program there. Copies set aside
; earlier go once nothing runs them.
!macro SET_TRAY_ASIDE
    Delete "$INSTDIR\QORtray.exe.*.old"
    Delete "$INSTDIR\QORtray.exe"
    ${If} ${FileExists} "$INSTDIR\QORtray.exe"
        ${For} $1 1 99
            ${IfNot} ${FileExists} "$INSTDIR\QORtray.exe.$1.old"
                ${Break}
            ${EndIf}
        ${Next}
        ClearErrors
        Rename "$INSTDIR\QORtray.exe" "$INSTDIR\QORtray.exe.$1.old"
        ${IfNot} ${Errors}
            Delete /REBOOTOK "$INSTDIR\QORtray.exe.$1.old"
            ; A copy set aside harms nothing until then: no reason to ask for a restart.
            SetRebootFlag false
        ${EndIf}
    ${EndIf}
!macroend

; The new program takes the place of the one set aside.
Function InstallTray
    !insertmacro SET_TRAY_ASIDE
    File "${TRAY_EXE}"
FunctionEnd

; Exit codes: 0 installed and running (also while another program holds the pipe "QorPipe": the
; service counts all the same, and its log names that program); 1 cancelled; 2 stopped by an
; error (a box says which; a service stopped for the install runs again); 3 installed but the
; service did not start; 740 no administrator rights.
Section "Vantrel" SectionMain
    SectionIn RO
    ; A service already running (an earlier installation, or one registered from elsewhere) holds
    ; its program open: the new program stops it first, and waits until its process has ended.
    ; It stays registered, with the settings an administrator gave it.
    InitPluginsDir
    File "/oname=$PLUGINSDIR\QORsvc.exe" "${SERVICE_EXE}"
    StrCpy $StopTried 1
    nsExec::ExecToLog '"$PLUGINSDIR\QORsvc.exe" --stop'
    Pop $0
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONSTOP "The running time-limit service could not be stopped (QORsvc.exe --stop ended with $0), so it cannot be replaced. Nothing was changed: the service goes on running, or starts again once it has stopped. Run the setup program again in a few minutes." /SD IDOK
        Abort
    ${EndIf}

    SetOutPath "$INSTDIR"
    File "${VANTREL_EXE}"
    ; A service that had stopped by itself just before may not have quite ended: its program is
    ; tried for a few seconds before the usual box asks.
    SetOverwrite try
    ${For} $1 1 20
        ClearErrors
        File "${SERVICE_EXE}"
        ${IfNot} ${Errors}
            ${Break}
        ${EndIf}
        Sleep 500
    ${Next}
    SetOverwrite on
    ${If} ${Errors}
        File "${SERVICE_EXE}"
    ${EndIf}
    Call InstallTray
    File "${HELP_FILE}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    SetShellVarContext all
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Vantrel.exe" "" "$INSTDIR\Vantrel.exe" 0 \
        SW_SHOWNORMAL "" "Set the hours and minutes each user may use this computer"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Vantrel.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; The limited user's figures at a glance; it needs no rights.
    WriteRegStr HKLM "${RUN_KEY}" "QORtray" '"$INSTDIR\QORtray.exe"'

    DetailPrint "Registering the time-limit service ${SERVICE}"
    nsExec::ExecToLog '"$INSTDIR\QORsvc.exe" --install'
    Pop $0
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONSTOP "The time-limit service could not be registered (QORsvc.exe --install ended with $0). Without it no time limit is enforced. Run the setup program again; if it fails again, see the details." /SD IDOK
        Abort
    ${EndIf}
    ; Safe Mode starts only the services named under SafeBoot, each with the default value
    ; "Service".
    WriteRegStr HKLM "${SAFE_BOOT_MINIMAL_KEY}" "" "Service"
    WriteRegStr HKLM "${SAFE_BOOT_NETWORK_KEY}" "" "Service"
    DetailPrint "Starting the time-limit service ${SERVICE}"
    nsExec::ExecToLog '"$INSTDIR\QORsvc.exe" --start'
    Pop $0
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONEXCLAMATION "The time-limit service is installed but did not start (QORsvc.exe --start ended with $0); its log $INSTDIR\QORevents.log says why. It starts with the next start of Windows." /SD IDOK
        SetErrorLevel 3
    ${EndIf}
SectionEnd

Section "Uninstall"
    ; The service is stopped, its process waited for, and removed before its files go; one that
    ; cannot be removed keeps everything, so that the uninstaller can be run again.
    ${If} ${FileExists} "$INSTDIR\QORsvc.exe"
        DetailPrint "Stopping and removing the time-limit service ${SERVICE}"
        StrCpy $StopTried 1
        nsExec::ExecToLog '"$INSTDIR\QORsvc.exe" --uninstall'
        Pop $0
        ${If} $0 != 0
            MessageBox MB_OK|MB_ICONSTOP "The time-limit service could not be stopped and removed (QORsvc.exe --uninstall ended with $0). Nothing was removed: the service goes on running, or starts again once it has stopped. Run the uninstaller again in a few minutes." /SD IDOK
            Abort
        ${EndIf}
    ${Else}
        ; Its program is gone, so it cannot run: only the registration is left to remove.
        nsExec::ExecToLog '"$SYSDIR\sc.exe" delete ${SERVICE}'
        Pop $0
        ${If} $0 != 0
            DetailPrint "No registration of the time-limit service ${SERVICE} was removed (sc.exe ended with $0)"
        ${EndIf}
    ${EndIf}

    ; The service is gone: what it kept for itself (the blocks of today) and for the users to
    ; read (their figures) goes too.
    DeleteRegKey HKLM "${SERVICE_KEY}\Figures"
    DeleteRegKey HKLM "${SERVICE_KEY}\Blocks"
    DeleteRegKey HKLM "${SAFE_BOOT_MINIMAL_KEY}"
    DeleteRegKey HKLM "${SAFE_BOOT_NETWORK_KEY}"

    ; A QORtray.exe that still runs in a session goes on until that session ends; its file,
    ; set aside, goes with the next start of Windows.
    DeleteRegValue HKLM "${RUN_KEY}" "QORtray"
    !insertmacro SET_TRAY_ASIDE
    Delete /REBOOTOK "$INSTDIR\Vantrel.exe"
    Delete /REBOOTOK "$INSTDIR\QORsvc.exe"
    Delete /REBOOTOK "$INSTDIR\QORHelp.chm"
    Delete "$INSTDIR\Uninstall.exe"
    ; Removed only when empty: the service's log stays, like the settings in the registry.
    RMDir "$INSTDIR"

    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
