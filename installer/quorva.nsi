; Quorva's setup program, in French: installs quorva.exe for every user of the desk, with a
; Start-menu shortcut, an uninstaller listed by the control panel and, when chosen, a start at
; logon. /S installs silently; /DEMARRAGE=0 (or 1) then says whether Quorva starts at logon, which
; otherwise it does on a first install and as before on an upgrade. /URL= /SITE= /IMPRIMANTE=
; /DOSSIER= give the desk's settings for every user (an empty value takes one back); a user's own
; setting still wins.
;
; Administrator rights: quorva.exe's manifest asks for the highest rights the user has, since its
; main job (the spooler's folder, the printers' keys under HKLM, restarting the spooler) needs
; them. Windows skips Run-key entries of programs that ask for elevation, so the start at logon is
; a scheduled task for the Users group with the highest rights: elevated without a prompt for an
; administrator, as a standard user otherwise (Quorva then says what may fail).
;
; The install folder is refused when standard users can write into it: the logon task starts its
; quorva.exe with the highest rights of whoever logs on, administrators included.
;
; makensis -DPROGRAM=<quorva.exe> -DVERSION_HEADER=<quorva_version.h> -DOUTDIR=<folder> quorva.nsi
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
!define TASK_NAME "Quorva"
!define UNINSTALLER "desinstaller.exe"
; The settings given for every user of the desk, which quorva.exe reads where a user has none.
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
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE refuseWritableFolder
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

; Whether standard users (Users, Authenticated Users, Everyone, INTERACTIVE) may write into
; $INSTDIR: by its own access list when it exists, else by what the nearest existing parent passes
; on to new folders. $0 = 1 when they may (a folder without an access list lets anyone).
Function folderWritableByUsers
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
    ; SE_FILE_OBJECT, DACL_SECURITY_INFORMATION
    System::Call "advapi32::GetNamedSecurityInfoW(w r9, i 1, i 4, p 0, p 0, *p .r1, p 0, *p .r2) i .r3"
    StrCpy $0 1
    ${If} $3 != 0
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
        ; Adding files or folders, deleting children, changing the access list or owner, generic
        ; write or all.
        IntOp $3 $3 & 0x500C0046
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
done:
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

Function refuseWritableFolder
    Push $0
    Call folderWritableByUsers
    ${If} $0 == 1
        MessageBox MB_OK|MB_ICONSTOP \
            "Les utilisateurs standard peuvent modifier le dossier $INSTDIR.$\r$\nQuorva démarre avec les droits les plus élevés de chaque utilisateur : il doit être installé dans un dossier réservé aux administrateurs, comme $PROGRAMFILES64\Quorva." \
            /SD IDOK
        Pop $0
        Abort
    ${EndIf}
    Pop $0
FunctionEnd

; Escapes $0 for an XML text or attribute value.
Function xmlEscape
    ${WordReplace} $0 "&" "&amp;" "+" $0
    ${WordReplace} $0 "<" "&lt;" "+" $0
    ${WordReplace} $0 ">" "&gt;" "+" $0
    ${WordReplace} $0 '"' "&quot;" "+" $0
    ${WordReplace} $0 "'" "&apos;" "+" $0
FunctionEnd

; A setting given on the command line (/switch=value) goes to the machine's settings; an empty
; value takes it back.
!macro MACHINE_SETTING switch name
    ClearErrors
    ${GetOptions} $1 "/${switch}=" $0
    ${IfNot} ${Errors}
        ${If} $0 == ""
            DeleteRegValue HKLM "${POLICY_KEY}" "${name}"
        ${Else}
            WriteRegStr HKLM "${POLICY_KEY}" "${name}" $0
        ${EndIf}
    ${EndIf}
!macroend

; Closes a running Quorva the way its close box does, and waits until its process has ended so
; that its files can be replaced. Asks first, unless silent; aborts when the user declines or
; Quorva does not end.
!macro CLOSE_QUORVA_FUNCTION prefix
Function ${prefix}closeQuorva
    FindWindow $0 "${WINDOW_CLASS}"
    ${If} $0 == 0
        Return
    ${EndIf}
    MessageBox MB_OKCANCEL|MB_ICONINFORMATION \
        "Quorva est ouvert. Il va être fermé pour continuer." /SD IDOK IDOK close
    Abort "Quorva est resté ouvert : rien n'a été changé."
close:
    System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1)"
    ; SYNCHRONIZE: enough to wait for its end.
    System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2"
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    StrCpy $3 0
    ${If} $2 P<> 0
        System::Call "kernel32::WaitForSingleObject(p r2, i 30000) i .r3"
        System::Call "kernel32::CloseHandle(p r2)"
    ${EndIf}
    FindWindow $0 "${WINDOW_CLASS}"
    ${If} $3 != 0
    ${OrIf} $0 != 0
        Abort "Quorva ne s'est pas fermé. Fermez-le, puis recommencez."
    ${EndIf}
    StrCpy $QuorvaClosed 1
FunctionEnd
!macroend
!insertmacro CLOSE_QUORVA_FUNCTION ""
!insertmacro CLOSE_QUORVA_FUNCTION "un."

Section "Quorva" ProgramSection
    SectionIn RO
    Call refuseWritableFolder
    Call closeQuorva
    SetOutPath "$INSTDIR"
    ; A Quorva of another session, which closeQuorva cannot see, keeps its file: say so rather
    ; than leave the old program under the new version's name (silent installs fail).
    SetOverwrite try
retryProgram:
    ClearErrors
    File "/oname=quorva.exe" "${PROGRAM}"
    ${If} ${Errors}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "quorva.exe est encore utilisé, peut-être dans une autre session ouverte sur ce poste.$\r$\nFermez-y Quorva, puis cliquez sur Réessayer." \
            /SD IDCANCEL IDRETRY retryProgram
        Abort "quorva.exe est encore utilisé : rien n'a été mis à jour."
    ${EndIf}
    SetOverwrite on
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    ; The desk's job store, outbox and logs: one folder for every user of the desk, since one
    ; session captures for all. Users may write in it; Quorva sets the same when it makes it.
    SetShellVarContext all
    CreateDirectory "$APPDATA\Zentor\Quorva"
    nsExec::Exec '"$SYSDIR\icacls.exe" "$APPDATA\Zentor\Quorva" /grant *S-1-5-32-545:(OI)(CI)M'
    Pop $0
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

    ${GetParameters} $1
    !insertmacro MACHINE_SETTING URL NomURL
    !insertmacro MACHINE_SETTING SITE NomSite
    !insertmacro MACHINE_SETTING IMPRIMANTE NomImprimante
    !insertmacro MACHINE_SETTING DOSSIER DossierSpouleur

    ; The logon task of a previous installation goes; the next section makes it again if chosen.
    nsExec::Exec 'schtasks /Delete /TN "${TASK_NAME}" /F'
    Pop $0
SectionEnd

Section "Démarrer Quorva à l'ouverture de session" LogonStartSection
    ; The task's definition, in the UTF-16 that schtasks reads: any member of Users, at logon,
    ; with the highest rights they have, with no time limit, one instance per session.
    InitPluginsDir
    StrCpy $0 "$INSTDIR\quorva.exe"
    Call xmlEscape
    StrCpy $1 $0
    FileOpen $0 "$PLUGINSDIR\quorva-task.xml" w
    FileWriteWord $0 0xFEFF
    FileWriteUTF16LE $0 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
    FileWriteUTF16LE $0 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
    FileWriteUTF16LE $0 '  <RegistrationInfo><Author>${PUBLISHER}</Author>'
    FileWriteUTF16LE $0 "<Description>Démarre Quorva à l'ouverture de session.</Description></RegistrationInfo>$\r$\n"
    FileWriteUTF16LE $0 '  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>$\r$\n'
    FileWriteUTF16LE $0 '  <Principals><Principal id="Users"><GroupId>S-1-5-32-545</GroupId>'
    FileWriteUTF16LE $0 '<RunLevel>HighestAvailable</RunLevel></Principal></Principals>$\r$\n'
    FileWriteUTF16LE $0 '  <Settings><MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>'
    FileWriteUTF16LE $0 '<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>'
    FileWriteUTF16LE $0 '<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
    FileWriteUTF16LE $0 '<ExecutionTimeLimit>PT0S</ExecutionTimeLimit><Priority>4</Priority></Settings>$\r$\n'
    FileWriteUTF16LE $0 '  <Actions Context="Users"><Exec><Command>"$1"</Command></Exec></Actions>$\r$\n'
    FileWriteUTF16LE $0 '</Task>$\r$\n'
    FileClose $0
    nsExec::ExecToLog 'schtasks /Create /TN "${TASK_NAME}" /XML "$PLUGINSDIR\quorva-task.xml" /F'
    Pop $0
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONEXCLAMATION \
            "Le démarrage à l'ouverture de session n'a pas pu être programmé (schtasks : $0).$\r$\nQuorva reste disponible dans le menu Démarrer." \
            /SD IDOK
    ${Else}
        WriteRegDWORD HKLM "${UNINSTALL_KEY}" "DemarrageOuvertureSession" 1
    ${EndIf}
SectionEnd

Function .onInit
    SetShellVarContext all
    ; Starting at logon: /DEMARRAGE=0 or 1 decides (for silent installs); otherwise an upgrade
    ; keeps the previous choice, and a first install starts at logon.
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/DEMARRAGE=" $0
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
    Call restartQuorva
FunctionEnd

Function .onInstFailed
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

; Removes everything the setup put on the machine; the users' settings (%APPDATA%\Zentor) stay.
Section "Uninstall"
    Call un.closeQuorva
    nsExec::Exec 'schtasks /Delete /TN "${TASK_NAME}" /F'
    Pop $0
    Delete "$SMPROGRAMS\Quorva.lnk"
    ; Still running in another session: removed at the next restart.
    Delete /REBOOTOK "$INSTDIR\quorva.exe"
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir /REBOOTOK "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "${POLICY_KEY}"
    DeleteRegKey /ifempty HKLM "SOFTWARE\Policies\Zentor"
    DeleteRegKey HKLM "${EVENTLOG_KEY}"
SectionEnd
