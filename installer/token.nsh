; Who runs the setup or the uninstaller: whether with an elevated token, and whether that is the
; person at the desktop who always runs with all rights. Included by tolm.nsi, which inserts
; TOKEN once for the setup and once for the uninstaller.

!ifndef SOLE_ELEVATION_TYPE
  ; TokenElevationTypeDefault: an elevated token without a limited twin. A setup the tests build
  ; names Wine's elevated type (2) instead, since every elevated token there has such a twin;
  ; never in what ships.
  !define SOLE_ELEVATION_TYPE 1
!endif

; 1 when this program runs with an elevated token (set by .onInit and un.onInit).
Var Elevated
; The SID text of the person at the desktop when they run this with an elevated token that has
; no limited twin, else "" (see SoleSelf).
Var SoleSelf

!macro TOKEN un

; Whether this runs elevated, into $Elevated. The token's own elevation flag rather than
; IsUserAnAdmin: it is set on every token an elevation gave (an administrator's, a backup
; operator's), and Wine answers IsUserAnAdmin from group membership alone, so that a limited
; token there looks like an administrator's. IsUserAnAdmin answers only where the token cannot.
Function ${un}CheckElevated
    Push $0
    Push $1
    Push $2
    Push $3
    StrCpy $Elevated 0
    StrCpy $SoleSelf ""
    ; TOKEN_QUERY
    System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r0) i .r1'
    ${If} $1 <> 0
        ; TokenElevation: one DWORD, non-zero when elevated
        System::Call 'advapi32::GetTokenInformation(p r0, i 20, *i .r2, i 4, *i .r3) i .r1'
        ${If} $1 <> 0
        ${AndIf} $2 <> 0
            Push $0
            Call ${un}SoleSelf
            StrCpy $1 1
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r0)'
    ${EndIf}
    ${If} $1 <> 0
        ${If} $2 <> 0
            StrCpy $Elevated 1
        ${EndIf}
    ${Else}
        System::Call 'shell32::IsUserAnAdmin() i .r2'
        ${If} $2 <> 0
            StrCpy $Elevated 1
        ${EndIf}
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Into $SoleSelf, the text of the token's user SID when the elevated token on the stack has no
; limited twin (TokenElevationType 1) and its user is the person at the desktop; else "". Such a
; token is what an administrator gets where user account control is off, and what the built-in
; Administrator gets with it on; that person never runs with less, so no lesser process of theirs
; can change what they own: folders only they and the administrators can change are safe to
; write, and jw's log-on entry and shortcut belong in their profile. The same type comes with
; an administrator's password typed in for someone else (over the shoulder, or "run as"): that
; account is not the one at the desktop, and counts for nothing here.
Function ${un}SoleSelf
    Exch $0
    Push $1
    Push $2
    Push $3
    StrCpy $SoleSelf ""
    System::Call 'advapi32::GetTokenInformation(p r0, i 18, *i .r2, i 4, *i) i .r1'
    ${If} $1 <> 0
    ${AndIf} $2 = ${SOLE_ELEVATION_TYPE}
        ; TokenUser: a TOKEN_USER, whose first member points at the SID
        System::Call '*(&i256) p .r3'
        System::Call 'advapi32::GetTokenInformation(p r0, i 1, p r3, i 256, *i) i .r1'
        ${If} $1 <> 0
            System::Call '*$3(p .r2)'
            Push $2
            Call ${un}SidText
            Pop $1
            Call ${un}DesktopUser
            Pop $2
            ${If} $1 != ""
            ${AndIf} $1 == $2
                StrCpy $SoleSelf $1
            ${EndIf}
        ${EndIf}
        System::Free $3
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; The SID text of the user logged on to this program's session, the person at its desktop,
; pushed ("" when it cannot be told). The terminal services ask any program of the session that,
; with no rights of the system's; the name is turned into a SID as the domain spells it.
Function ${un}DesktopUser
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    StrCpy $0 ""
    StrCpy $4 ""
    StrCpy $5 ""
    ; Not one of the system's known libraries: loaded by its full name, with what it needs
    ; looked for beside it (LOAD_WITH_ALTERED_SEARCH_PATH), never from the folder this program
    ; was started in, where a user may have put a library of that name.
    System::Call 'kernel32::LoadLibraryExW(w "$SYSDIR\wtsapi32.dll", p 0, i 8) p .r1'
    ${If} $1 P= 0
        Goto done
    ${EndIf}
    ; WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName
    System::Call 'wtsapi32::WTSQuerySessionInformationW(p 0, i -1, i 5, *p .r1, *i .r2) i .r3'
    ${If} $3 <> 0
        System::Call 'kernel32::lstrcpynW(w .r4, p r1, i ${NSIS_MAX_STRLEN})'
        System::Call 'wtsapi32::WTSFreeMemory(p r1)'
    ${EndIf}
    ; WTSDomainName
    System::Call 'wtsapi32::WTSQuerySessionInformationW(p 0, i -1, i 7, *p .r1, *i .r2) i .r3'
    ${If} $3 <> 0
        System::Call 'kernel32::lstrcpynW(w .r5, p r1, i ${NSIS_MAX_STRLEN})'
        System::Call 'wtsapi32::WTSFreeMemory(p r1)'
    ${EndIf}
    ${If} $4 != ""
    ${AndIf} $5 != ""
        ; SECURITY_MAX_SID_SIZE
        System::Alloc 68
        Pop $1
        System::Call 'advapi32::LookupAccountNameW(p 0, w "$5\$4", p r1, *i 68, w .r2, *i ${NSIS_MAX_STRLEN}, *i) i .r3'
        ${If} $3 <> 0
            Push $1
            Call ${un}SidText
            Pop $0
        ${EndIf}
        System::Free $1
    ${EndIf}
done:
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; The text form of the SID at the address on the stack, pushed ("" when it cannot be read).
Function ${un}SidText
    Exch $0
    Push $1
    Push $2
    StrCpy $1 0
    System::Call 'advapi32::ConvertSidToStringSidW(p r0, *p .r1) i .r2'
    StrCpy $0 ""
    ${If} $2 <> 0
        System::Call 'kernel32::lstrcpynW(w .r0, p r1, i ${NSIS_MAX_STRLEN})'
        System::Call 'kernel32::LocalFree(p r1)'
    ${EndIf}
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

!macroend
