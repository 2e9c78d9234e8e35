; Quorva's setup program, in French: installs, for every user of the desk, quorva.exe with a
; Start-menu shortcut and, when chosen, a start at logon (the Run key of the machine), the capture
; service quorva-capture.exe (service Quorva, as the system, started with Windows), and an
; uninstaller listed by the control panel. /S installs silently; /DEMARRAGE=0 (or 1) then says
; whether Quorva starts at logon, which otherwise it does on a first install and as before on an
; upgrade. /URL= /SITE= /DOSSIER= /PROXY= give the capture's settings for the machine, and
; /IMPRIMANTE= the card printer for every user (a user's own setting wins); an empty value takes
; a setting back, and a setting not given stays. A value runs until the next switch, so it may
; hold slashes and blanks: /URL=http://serveur/KelbBin/Kelb.dll/ /DOSSIER=C:\Spool Folder\x.
;
; quorva.exe runs with its user's rights; the service does what needs an administrator. The
; install folder is refused unless it is reserved to administrators: the service runs its
; program as the system.
;
; makensis -DPROGRAM=<quorva.exe> -DCAPTURE_PROGRAM=<quorva-capture.exe>
;          -DVERSION_HEADER=<quorva_version.h> -DOUTDIR=<folder> quorva.nsi
; The setup program and its uninstaller are signed by the script `sign` beside this one when a
; certificate is given (see there).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include WordFunc.nsh

!finalize '"${__FILEDIR__}/sign" "%1"'
!uninstfinalize '"${__FILEDIR__}/sign" "%1"'

; The version, as the build wrote it from git describe.
!searchparse /file "${VERSION_HEADER}" '#define QUORVA_VERSION "' VERSION '"'
!searchparse /file "${VERSION_HEADER}" '#define QUORVA_VERSION_NUMBERS ' V1 ',' V2 ',' V3 ',' V4

!define PUBLISHER "Zentor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorva"
; The earlier releases' logon task, which an upgrade removes.
!define TASK_NAME "Quorva"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SERVICE_NAME "Quorva"
!define SERVICE_DISPLAY "Quorva – capture des factures"
!define SERVICE_STOPPED 1
!define CAPTURE "quorva-capture.exe"
!define TRUSTED_INSTALLER_SID "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
!define UNINSTALLER "desinstaller.exe"
; The machine's capture settings, and group policy's (the card printer given to the setup stays
; there, read by quorva.exe where a user has none).
!define SETTINGS_KEY "SOFTWARE\Zentor\Quorva"
!define POLICY_KEY "SOFTWARE\Policies\Zentor\Quorva"
; The Application event log's source, worded by quorva.exe's message table.
!define EVENTLOG_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Quorva"
; Quorva's main window class: how a running Quorva is found and asked to close.
!define WINDOW_CLASS "QuorvaMainWindow"

Name "Quorva"
OutFile "${OUTDIR}\quorva-setup-${VERSION}.exe"
InstallDir "$PROGRAMFILES64\Quorva"
; An upgrade goes where the previous version is (/D= still decides).
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Quorva ${VERSION}"

VIProductVersion "${V1}.${V2}.${V3}.${V4}"
VIAddVersionKey /LANG=1036 "ProductName" "Quorva"
VIAddVersionKey /LANG=1036 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1036 "FileDescription" "Installation de Quorva"
VIAddVersionKey /LANG=1036 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "LegalCopyright" "© ${PUBLISHER}"

!define MUI_ICON "../res/quorva.ico"
!define MUI_UNICON "../res/quorva.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE refuseUnsafeFolder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "French"

; Set when the setup closed Quorva: it is started again at the end, whether the upgrade went
; through or not. Quorva in another session, which the setup cannot see, was never closed.
Var QuorvaClosed
; Set when the setup stopped the service: started again whether the upgrade went through or not.
Var ServiceStopped
; Set when an earlier version is installed.
Var Upgrading

; The security descriptor of folder $R1 in $R2 (to free with LocalFree), 0 when it cannot be
; read. A build with -DSDDL_SEAM=<ini> takes the descriptors of the folders listed there (section
; sd, key: the folder, value: SDDL) instead: how the tests give folders owners and access lists
; that Wine does not keep.
Function securityOf
!ifdef SDDL_SEAM
    ReadINIStr $R3 "${SDDL_SEAM}" "sd" "$R1"
    ${If} $R3 != ""
        System::Call "advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w R3, i 1, *p .R2, p 0) i .R3"
        ${IfThen} $R3 == 0 ${|} StrCpy $R2 0 ${|}
        Return
    ${EndIf}
!endif
    ; SE_FILE_OBJECT; OWNER_ and DACL_SECURITY_INFORMATION
    System::Call "advapi32::GetNamedSecurityInfoW(w R1, i 1, i 5, p 0, p 0, p 0, p 0, *p .R2) i .R3"
    ${IfThen} $R3 != 0 ${|} StrCpy $R2 0 ${|}
FunctionEnd

; Whether $INSTDIR is unsafe for programs that run as the system and for every user: $0 = 1 when
; an existing folder on its path is owned by anyone but Administrators, SYSTEM, TrustedInstaller
; or the administrator running the setup, or when standard users (Users, Authenticated Users,
; Everyone, INTERACTIVE) may write into the folder or delete it, by its own access list when it
; exists, else by what the nearest existing parent passes on to new folders. A descriptor that
; cannot be read, or a folder without an access list, counts as unsafe.
Function folderUnsafe
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    Push $6
    Push $7
    Push $8
    Push $9
    Push $R0
    Push $R1
    Push $R2
    Push $R3
    Push $R4
    Push $R5
    Push $R6
    Push $R7
    StrCpy $0 1
    StrCpy $9 "$INSTDIR"
    StrCpy $8 1 ; looking at the folder itself, not a parent
    ${DoUntil} ${FileExists} "$9\*.*"
        ${GetParent} "$9" $9
        StrCpy $8 0
        ${If} $9 == ""
            StrCpy $0 0
            Goto done
        ${EndIf}
    ${Loop}
    ; The user running the setup: TOKEN_QUERY, TokenUser (its first member points to the SID).
    System::Call "advapi32::OpenProcessToken(p -1, i 8, *p .r1) i .r3"
    System::Alloc 256
    Pop $R7
    System::Call "advapi32::GetTokenInformation(p r1, i 1, p R7, i 256, *i .r3) i .r3"
    System::Call "kernel32::CloseHandle(p r1)"
    ${If} $3 == 0
        Goto freeToken
    ${EndIf}
    System::Call "*$R7(p .R6)"

    ; The owner of every existing folder up to the drive's root.
    StrCpy $R1 $9
    ${Do}
        StrLen $3 $R1
        ${IfThen} $3 == 2 ${|} StrCpy $R1 "$R1\" ${|}
        Call securityOf
        ${If} $R2 P= 0
            Goto freeToken
        ${EndIf}
        System::Call "advapi32::GetSecurityDescriptorOwner(p R2, *p .R4, *i .r3)"
        StrCpy $R5 0
        ; WinLocalSystemSid, WinBuiltinAdministratorsSid
        System::Call "advapi32::IsWellKnownSid(p R4, i 22) i .r3"
        ${IfThen} $3 != 0 ${|} StrCpy $R5 1 ${|}
        System::Call "advapi32::IsWellKnownSid(p R4, i 26) i .r3"
        ${IfThen} $3 != 0 ${|} StrCpy $R5 1 ${|}
        System::Call "advapi32::EqualSid(p R4, p R6) i .r3"
        ${IfThen} $3 != 0 ${|} StrCpy $R5 1 ${|}
        System::Call "advapi32::ConvertSidToStringSidW(p R4, *w .r3)"
        ${IfThen} $3 == "${TRUSTED_INSTALLER_SID}" ${|} StrCpy $R5 1 ${|}
        System::Call "kernel32::LocalFree(p R2)"
        ${If} $R5 == 0
            Goto freeToken
        ${EndIf}
        ${GetParent} "$R1" $R1
    ${LoopUntil} $R1 == ""

    ; The access list of the folder, or of its nearest existing parent.
    StrCpy $R1 $9
    Call securityOf
    ${If} $R2 P= 0
        Goto freeToken
    ${EndIf}
    StrCpy $2 $R2
    System::Call "advapi32::GetSecurityDescriptorDacl(p r2, *i .r3, *p .r1, *i .r4)"
    ${If} $3 == 0
    ${OrIf} $1 P= 0
        Goto freed
    ${EndIf}
    StrCpy $0 0
    ; ACL_SIZE_INFORMATION: its first member is the number of entries.
    System::Call "*(i, i, i) p .r3"
    System::Call "advapi32::GetAclInformation(p r1, p r3, i 12, i 2)"
    System::Call "*$3(i .r4)"
    System::Free $3
    ${ForEach} $5 0 $4 + 1
        ${If} $5 == $4
            ${Break}
        ${EndIf}
        System::Call "advapi32::GetAce(p r1, i r5, *p .r6)"
        ; ACE header (type, flags, size), then the access mask and the SID.
        System::Call "*$6(&i1 .r3, &i1 .r7)"
        ${If} $3 != 0 ; ACCESS_ALLOWED only
            ${Continue}
        ${EndIf}
        ; On the folder: entries not INHERIT_ONLY; on a parent: those new folders inherit.
        ${If} $8 == 1
            IntOp $3 $7 & 0x8
            ${IfThen} $3 != 0 ${|} ${Continue} ${|}
        ${Else}
            IntOp $3 $7 & 0x2
            ${IfThen} $3 == 0 ${|} ${Continue} ${|}
        ${EndIf}
        System::Call "*$6(i, i .r3)"
        ; Adding files or folders, deleting children, deleting the folder, changing the access
        ; list or owner, generic write or all.
        IntOp $3 $3 & 0x500D0046
        ${IfThen} $3 == 0 ${|} ${Continue} ${|}
        IntPtrOp $7 $6 + 8
        ; WinWorldSid, WinInteractiveSid, WinAuthenticatedUserSid, WinBuiltinUsersSid
        ${ForEach} $R0 0 3 + 1
            ${Select} $R0
            ${Case} 0
                StrCpy $3 1
            ${Case} 1
                StrCpy $3 11
            ${Case} 2
                StrCpy $3 17
            ${Case} 3
                StrCpy $3 27
            ${EndSelect}
            System::Call "advapi32::IsWellKnownSid(p r7, i r3) i .r3"
            ${If} $3 != 0
                StrCpy $0 1
                Goto freed
            ${EndIf}
        ${Next}
    ${Next}
freed:
    System::Call "kernel32::LocalFree(p r2)"
freeToken:
    System::Free $R7
done:
    Pop $R7
    Pop $R6
    Pop $R5
    Pop $R4
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
    Pop $9
    Pop $8
    Pop $7
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
FunctionEnd

Function refuseUnsafeFolder
    Push $0
    Call folderUnsafe
    ${If} $0 == 1
        MessageBox MB_OK|MB_ICONSTOP \
            "Le dossier $INSTDIR n'est pas réservé aux administrateurs.$\r$\nLe service de capture de Quorva y prend son programme et s'exécute en tant que système : Quorva doit être installé dans un dossier que seuls les administrateurs peuvent modifier, comme $PROGRAMFILES64\Quorva." \
            /SD IDOK
        Pop $0
        Abort
    ${EndIf}
    Pop $0
FunctionEnd

; The switches the setup knows, whose values may hold slashes and blanks: a value runs until the
; next of them (or the end), quoted (/URL="…") or not; a whole switch may be quoted too. $1 holds
; the parameters, padded with a blank at each end; $R8 = 1 when one of them, or /S, starts at
; offset $7 (a blank or a quote before it).
!macro KNOWN_SWITCH name
    StrCpy $R2 "/${name}="
    StrLen $R1 $R2
    StrCpy $R0 $1 $R1 $R3
    ${IfThen} $R0 == $R2 ${|} StrCpy $R8 1 ${|}
!macroend
Function switchStartsAt
    Push $R0
    Push $R1
    Push $R2
    Push $R3
    StrCpy $R8 0
    StrCpy $R3 $7
    StrCpy $R0 $1 1 $R3
    ${IfThen} $R0 == '"' ${|} IntOp $R3 $R3 + 1 ${|}
    StrCpy $R0 $1 2 $R3
    IntOp $R1 $R3 + 2
    StrCpy $R1 $1 1 $R1
    ${If} $R0 == "/S"
        ${If} $R1 == " "
        ${OrIf} $R1 == '"'
            StrCpy $R8 1
        ${EndIf}
    ${EndIf}
    !insertmacro KNOWN_SWITCH URL
    !insertmacro KNOWN_SWITCH SITE
    !insertmacro KNOWN_SWITCH DOSSIER
    !insertmacro KNOWN_SWITCH IMPRIMANTE
    !insertmacro KNOWN_SWITCH PROXY
    !insertmacro KNOWN_SWITCH DEMARRAGE
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
FunctionEnd

; The value of switch $R9 (URL, SITE…) on the command line in $0; the error flag when it is not
; given.
Function getSwitch
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    Push $6
    Push $7
    Push $R8
    ${GetParameters} $1
    StrCpy $1 " $1 "
    StrLen $2 $1
    StrCpy $3 "/$R9="
    StrLen $4 $3
    ; Where the switch starts: after a blank, or a quote around the whole switch.
    StrCpy $5 1
    ${Do}
        ${If} $5 >= $2
            StrCpy $0 ""
            Pop $R8
            Pop $7
            Pop $6
            Pop $5
            Pop $4
            Pop $3
            Pop $2
            Pop $1
            SetErrors
            Return
        ${EndIf}
        StrCpy $6 $1 $4 $5
        IntOp $7 $5 - 1
        StrCpy $7 $1 1 $7
        ${If} $6 == $3
            ${If} $7 == " "
            ${OrIf} $7 == '"'
                ${ExitDo}
            ${EndIf}
        ${EndIf}
        IntOp $5 $5 + 1
    ${Loop}
    ; Where its value ends: a blank before the next switch.
    IntOp $5 $5 + $4
    StrCpy $6 $5
    ${Do}
        ${IfThen} $6 >= $2 ${|} ${ExitDo} ${|}
        StrCpy $7 $1 1 $6
        ${If} $7 == " "
            IntOp $7 $6 + 1
            Call switchStartsAt
            ${IfThen} $R8 == 1 ${|} ${ExitDo} ${|}
        ${EndIf}
        IntOp $6 $6 + 1
    ${Loop}
    IntOp $7 $6 - $5
    StrCpy $0 $1 $7 $5
    ${Do}
        StrCpy $7 $0 1 -1
        ${IfThen} $7 != " " ${|} ${ExitDo} ${|}
        StrCpy $0 $0 -1
    ${Loop}
    ; The closing quote of a quoted value or switch, and the opening one of a value.
    StrCpy $7 $0 1 -1
    ${If} $7 == '"'
        StrCpy $0 $0 -1
        StrCpy $7 $0 1
        ${IfThen} $7 == '"' ${|} StrCpy $0 $0 "" 1 ${|}
    ${EndIf}
    Pop $R8
    Pop $7
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    ClearErrors
FunctionEnd

; A setting given on the command line (/switch=value) goes to the machine's settings; an empty
; value takes it back.
!macro MACHINE_SETTING switch name key
    StrCpy $R9 ${switch}
    Call getSwitch
    ${IfNot} ${Errors}
        ${If} $0 == ""
            DeleteRegValue HKLM "${key}" "${name}"
        ${Else}
            WriteRegStr HKLM "${key}" "${name}" $0
        ${EndIf}
    ${EndIf}
!macroend

; A capture setting that the earlier release kept under the policy key, which now belongs to group
; policy: moved to the machine's settings unless they have their own value.
!macro MOVE_FROM_POLICY name
    ClearErrors
    ReadRegStr $0 HKLM "${POLICY_KEY}" "${name}"
    ${IfNot} ${Errors}
        ReadRegStr $1 HKLM "${SETTINGS_KEY}" "${name}"
        ${IfThen} ${Errors} ${|} WriteRegStr HKLM "${SETTINGS_KEY}" "${name}" $0 ${|}
        DeleteRegValue HKLM "${POLICY_KEY}" "${name}"
    ${EndIf}
!macroend

!macro COUNT_SETTING name
    ClearErrors
    ReadRegStr $0 HKLM "${SETTINGS_KEY}" "${name}"
    ${IfNot} ${Errors}
        IntOp $1 $1 + 1
    ${EndIf}
!macroend

!macro FROM_USER_SETTINGS name
    ReadINIStr $0 "$2" "Options" "${name}"
    ${IfThen} $0 != "" ${|} WriteRegStr HKLM "${SETTINGS_KEY}" "${name}" $0 ${|}
!macroend

; An upgrade of a machine without capture settings yet takes those of the user running it: the
; capture ran in that user's desk until now.
Function machineSettingsFromUser
    ${If} $Upgrading != 1
        Return
    ${EndIf}
    StrCpy $1 0
    !insertmacro COUNT_SETTING NomURL
    !insertmacro COUNT_SETTING NomSite
    !insertmacro COUNT_SETTING DossierSpouleur
    ${If} $1 != 0
        Return
    ${EndIf}
    SetShellVarContext current
    StrCpy $2 "$APPDATA\Zentor\Quorva.ini"
    SetShellVarContext all
    !insertmacro FROM_USER_SETTINGS NomURL
    !insertmacro FROM_USER_SETTINGS NomSite
    !insertmacro FROM_USER_SETTINGS DossierSpouleur
FunctionEnd

!macro DESK_FUNCTIONS prefix
; The number of quorva.exe processes in this session, in $0.
Function ${prefix}desksRunning
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    StrCpy $0 0
    System::Call "kernel32::GetCurrentProcessId() i .r5"
    System::Call "kernel32::ProcessIdToSessionId(i r5, *i .r5)"
    ; TH32CS_SNAPPROCESS
    System::Call "kernel32::CreateToolhelp32Snapshot(i 2, i 0) p .r1"
    ${If} $1 P<> -1
        ; PROCESSENTRY32W: its size first, the process id at 8, the file name at 44.
        System::Alloc 568
        Pop $2
        System::Call "*$2(i 568)"
        System::Call "kernel32::Process32FirstW(p r1, p r2) i .r3"
        ${DoWhile} $3 != 0
            IntPtrOp $4 $2 + 44
            System::Call "*$4(&w260 .r4)"
            ${If} $4 == "quorva.exe"
                System::Call "*$2(i, i, i .r4)"
                System::Call "kernel32::ProcessIdToSessionId(i r4, *i .r4) i .r3"
                ${If} $3 != 0
                ${AndIf} $4 == $5
                    IntOp $0 $0 + 1
                ${EndIf}
            ${EndIf}
            System::Call "kernel32::Process32NextW(p r1, p r2) i .r3"
        ${Loop}
        System::Free $2
        System::Call "kernel32::CloseHandle(p r1)"
    ${EndIf}
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
FunctionEnd

; Closes every Quorva of this session the way its close box does, and waits until their
; processes have ended so that their files can be replaced: each window is asked once, as it
; shows (a Quorva just started may not have one yet), for up to a minute. Asks first, unless
; silent; aborts when the user declines or a Quorva does not end. Quorva in another session,
; which the setup cannot see, is not closed.
Function ${prefix}closeQuorva
    Call ${prefix}desksRunning
    ${If} $0 == 0
        Return
    ${EndIf}
    MessageBox MB_OKCANCEL|MB_ICONINFORMATION \
        "Quorva est ouvert. Il va être fermé pour continuer." /SD IDOK IDOK close
    Abort "Quorva est resté ouvert : rien n'a été changé."
close:
    StrCpy $QuorvaClosed 1
    StrCpy $1 "|"
    ${ForEach} $2 1 240 + 1
        StrCpy $3 0
        ${Do}
            FindWindow $3 "${WINDOW_CLASS}" "" 0 $3
            ${IfThen} $3 == 0 ${|} ${ExitDo} ${|}
            ${WordReplace} "$1" "|$3|" "" "+" $4
            ${If} $4 == $1
                SendMessage $3 ${WM_CLOSE} 0 0 /TIMEOUT=5000
                StrCpy $1 "$1$3|"
            ${EndIf}
        ${Loop}
        Call ${prefix}desksRunning
        ${IfThen} $0 == 0 ${|} Return ${|}
        Sleep 250
    ${Next}
    Abort "Quorva ne s'est pas fermé. Fermez-le, puis recommencez."
FunctionEnd

; Stops the capture service when it runs, and waits (for up to a minute) until it says it has
; stopped and its process has ended, so that its file can be replaced or removed.
Function ${prefix}stopService
    ; SC_MANAGER_CONNECT; SERVICE_QUERY_STATUS | SERVICE_STOP
    System::Call "advapi32::OpenSCManagerW(p 0, p 0, i 1) p .r1"
    System::Call "advapi32::OpenServiceW(p r1, w '${SERVICE_NAME}', i 0x24) p .r2"
    ${If} $2 P<> 0
        ; SERVICE_STATUS_PROCESS: the state at 4, the process id at 28.
        System::Alloc 36
        Pop $3
        System::Call "advapi32::QueryServiceStatusEx(p r2, i 0, p r3, i 36, *i .r4) i .r5"
        System::Call "*$3(i, i .r6, i, i, i, i, i, i .r7)"
        ${If} $5 != 0
        ${AndIf} $6 != ${SERVICE_STOPPED}
            StrCpy $ServiceStopped 1
            ; SYNCHRONIZE: enough to wait for its end.
            System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r7) p .r8"
            System::Call "advapi32::ControlService(p r2, i 1, p r3)"
            ${ForEach} $9 1 120 + 1
                System::Call "advapi32::QueryServiceStatusEx(p r2, i 0, p r3, i 36, *i .r4) i .r5"
                System::Call "*$3(i, i .r6)"
                ${If} $5 == 0
                ${OrIf} $6 == ${SERVICE_STOPPED}
                    ${Break}
                ${EndIf}
                Sleep 250
            ${Next}
            ${If} $8 P<> 0
                System::Call "kernel32::WaitForSingleObject(p r8, i 30000)"
                System::Call "kernel32::CloseHandle(p r8)"
            ${EndIf}
        ${EndIf}
        System::Free $3
        System::Call "advapi32::CloseServiceHandle(p r2)"
    ${EndIf}
    System::Call "advapi32::CloseServiceHandle(p r1)"
FunctionEnd
!macroend
!insertmacro DESK_FUNCTIONS ""
!insertmacro DESK_FUNCTIONS "un."

; A program file put in place, unless a process of another session, which the setup cannot close,
; holds the old one: said rather than leaving the old program under the new version's name
; (silent installs fail).
!macro INSTALL_PROGRAM source name
retry_${name}:
    ClearErrors
    File "/oname=${name}" "${source}"
    ${If} ${Errors}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "${name} est encore utilisé, peut-être dans une autre session ouverte sur ce poste.$\r$\nFermez-y Quorva, puis cliquez sur Réessayer." \
            /SD IDCANCEL IDRETRY retry_${name}
        Abort "${name} est encore utilisé : rien n'a été mis à jour."
    ${EndIf}
!macroend

; The capture service: the service's own program, as the system, started with Windows, started
; again 5 s after a failure (the count of failures reset after a day).
Function registerService
    ; SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE
    System::Call "advapi32::OpenSCManagerW(p 0, p 0, i 3) p .r1"
    StrCpy $2 '"$INSTDIR\${CAPTURE}"'
    ; SERVICE_CHANGE_CONFIG
    System::Call "advapi32::OpenServiceW(p r1, w '${SERVICE_NAME}', i 2) p .r3"
    ; SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL; no account: LocalSystem.
    ${If} $3 P<> 0
        System::Call "advapi32::ChangeServiceConfigW(p r3, i 0x10, i 2, i 1, w r2, p 0, p 0, p 0, p 0, p 0, w '${SERVICE_DISPLAY}') i .r4"
    ${Else}
        System::Call "advapi32::CreateServiceW(p r1, w '${SERVICE_NAME}', w '${SERVICE_DISPLAY}', i 0xF01FF, i 0x10, i 2, i 1, w r2, p 0, p 0, p 0, p 0, p 0) p .r3"
        StrCpy $4 0
        ${IfThen} $3 P<> 0 ${|} StrCpy $4 1 ${|}
    ${EndIf}
    System::Call "advapi32::CloseServiceHandle(p r3)"
    System::Call "advapi32::CloseServiceHandle(p r1)"
    ${If} $4 == 0
        Abort "Le service de capture ${SERVICE_NAME} n'a pas pu être installé."
    ${EndIf}
    nsExec::ExecToLog '"$SYSDIR\sc.exe" failure ${SERVICE_NAME} reset= 86400 actions= restart/5000/restart/5000/restart/5000'
    Pop $0
FunctionEnd

Function startService
    nsExec::ExecToLog '"$SYSDIR\sc.exe" start ${SERVICE_NAME}'
    Pop $0
FunctionEnd

Section "Quorva" ProgramSection
    SectionIn RO
    Call refuseUnsafeFolder
    Call closeQuorva
    Call stopService
    ; The data folder (job store, outbox, logs), made or taken over by the capture service's
    ; program for SYSTEM and Administrators only, before anything else changes.
    InitPluginsDir
    File "/oname=$PLUGINSDIR\${CAPTURE}" "${CAPTURE_PROGRAM}"
    nsExec::ExecToLog '"$PLUGINSDIR\${CAPTURE}" --prepare-data-folder'
    Pop $0
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONSTOP \
            "Le dossier des données de Quorva n'a pas pu être préparé (code $0)." /SD IDOK
        Abort "Le dossier des données de Quorva n'a pas pu être préparé : rien n'a été mis à jour."
    ${EndIf}
    SetOutPath "$INSTDIR"
    SetOverwrite try
    !insertmacro INSTALL_PROGRAM "${PROGRAM}" quorva.exe
    !insertmacro INSTALL_PROGRAM "${CAPTURE_PROGRAM}" ${CAPTURE}
    SetOverwrite on
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    CreateShortcut "$SMPROGRAMS\Quorva.lnk" "$INSTDIR\quorva.exe" "" "$INSTDIR\quorva.exe" 0 \
        SW_SHOWNORMAL "" "Suivi des impressions et cartes de fidélité"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quorva"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorva.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${V1}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${V2}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "DemarrageOuvertureSession" 0
    WriteRegExpandStr HKLM "${EVENTLOG_KEY}" "EventMessageFile" "$INSTDIR\quorva.exe"
    ; Error, warning and information entries.
    WriteRegDWORD HKLM "${EVENTLOG_KEY}" "TypesSupported" 7

    !insertmacro MOVE_FROM_POLICY NomURL
    !insertmacro MOVE_FROM_POLICY NomSite
    !insertmacro MOVE_FROM_POLICY DossierSpouleur
    Call machineSettingsFromUser
    !insertmacro MACHINE_SETTING URL NomURL "${SETTINGS_KEY}"
    !insertmacro MACHINE_SETTING SITE NomSite "${SETTINGS_KEY}"
    !insertmacro MACHINE_SETTING DOSSIER DossierSpouleur "${SETTINGS_KEY}"
    !insertmacro MACHINE_SETTING PROXY Proxy "${SETTINGS_KEY}"
    !insertmacro MACHINE_SETTING IMPRIMANTE NomImprimante "${POLICY_KEY}"

    Call registerService
    ; The logon start of a previous installation goes (the earlier release's scheduled task
    ; too); the next section makes it again if chosen.
    DeleteRegValue HKLM "${RUN_KEY}" "Quorva"
    nsExec::Exec '"$SYSDIR\schtasks.exe" /Delete /TN "${TASK_NAME}" /F'
    Pop $0
SectionEnd

Section "Démarrer Quorva à l'ouverture de session" LogonStartSection
    WriteRegStr HKLM "${RUN_KEY}" "Quorva" '"$INSTDIR\quorva.exe"'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "DemarrageOuvertureSession" 1
SectionEnd

Function .onInit
    SetShellVarContext all
    ClearErrors
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${IfNot} ${Errors}
        StrCpy $Upgrading 1
    ${EndIf}
    ; Starting at logon: /DEMARRAGE=0 or 1 decides (for silent installs); otherwise an upgrade
    ; keeps the previous choice, and a first install starts at logon.
    StrCpy $R9 DEMARRAGE
    Call getSwitch
    ${If} ${Errors}
        ClearErrors
        ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "DemarrageOuvertureSession"
        ${If} ${Errors}
            StrCpy $0 1
        ${EndIf}
    ${EndIf}
    ${If} $0 == 0
        SectionSetFlags ${LogonStartSection} 0
    ${EndIf}
FunctionEnd

Function .onInstSuccess
    Call startService
    Call restartQuorva
FunctionEnd

; A failed upgrade leaves the earlier version in place: its service and Quorva run again.
Function .onInstFailed
    ${If} $ServiceStopped == 1
        Call startService
    ${EndIf}
    Call restartQuorva
FunctionEnd

Function restartQuorva
    ${If} $QuorvaClosed == 1
        Exec '"$INSTDIR\quorva.exe"'
    ${EndIf}
FunctionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

; Removes everything the setup put on the machine, once the service and every Quorva of this
; session have ended; the data folder and the users' settings (%APPDATA%\Zentor) stay.
Section "Uninstall"
    Call un.stopService
    Call un.closeQuorva
    nsExec::Exec '"$SYSDIR\sc.exe" delete ${SERVICE_NAME}'
    Pop $0
    DeleteRegValue HKLM "${RUN_KEY}" "Quorva"
    nsExec::Exec '"$SYSDIR\schtasks.exe" /Delete /TN "${TASK_NAME}" /F'
    Pop $0
    Delete "$SMPROGRAMS\Quorva.lnk"
    ; Still running in another session: removed at the next restart.
    Delete /REBOOTOK "$INSTDIR\quorva.exe"
    Delete /REBOOTOK "$INSTDIR\${CAPTURE}"
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir /REBOOTOK "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKLM "SOFTWARE\Zentor"
    ; Group policy's values stay; the card printer given to the setup goes.
    DeleteRegValue HKLM "${POLICY_KEY}" "NomImprimante"
    DeleteRegKey /ifempty HKLM "${POLICY_KEY}"
    DeleteRegKey /ifempty HKLM "SOFTWARE\Policies\Zentor"
    DeleteRegKey HKLM "${EVENTLOG_KEY}"
SectionEnd
