; What the setup checks before it writes anything, and above all when it runs elevated: an
; administrator who runs it for a student must not be led by a link, or by a folder the student
; can change, into writing a system file. Included by tolm.nsi.

!define FILE_ATTRIBUTE_REPARSE_POINT 0x400
; Rights that let someone change what a folder holds: add a file or a folder to it, delete what
; is in it, delete or rename it, change its permissions or owner, and the generic rights that
; include these.
!define CHANGE_RIGHTS 0x500D0046
; In a folder above the target, adding something changes nothing below it: there only deleting,
; renaming and changing permissions or owner count.
!define CHANGE_RIGHTS_ABOVE 0x500D0040
; The only accounts that may be able to change a folder an elevated setup writes into.
!define SID_ADMINISTRATORS "S-1-5-32-544"
!define SID_SYSTEM "S-1-5-18"
!define SID_TRUSTED_INSTALLER "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
; Stands for whoever creates something below; inherit-only, it grants nothing on the folder.
!define SID_CREATOR_OWNER "S-1-3-0"

; 1 when this setup runs with an elevated token (set by .onInit).
Var Elevated
Var SoleSelf
; JudgeFolder's question and answer: the folder, the rights that count there, 1 when it is the
; target or its ui (whose inheritable entries reach what the setup writes); 1 when someone other
; than the administrators and the system can change it, or when that cannot be told.
Var JudgePath
Var JudgeRights
Var JudgeOwn
Var JudgeOpen

; Sets var to path when it is a junction or a symbolic link (and var is still empty).
!macro FIRST_REPARSE_POINT var path
    System::Call 'kernel32::GetFileAttributesW(w "${path}") i .r0'
    ${If} $0 <> -1
        IntOp $0 $0 & ${FILE_ATTRIBUTE_REPARSE_POINT}
        ${If} $0 <> 0
        ${AndIf} ${var} == ""
            StrCpy ${var} "${path}"
        ${EndIf}
    ${EndIf}
!macroend


; Into $SoleSelf, the text of the token's user SID when the elevated token on the stack has no
; limited twin (TokenElevationType 1, "default"), as every administrator's token has where user
; account control is off; else "". That user never runs with less, so no lesser process of
; theirs can change what they own: folders only they and the administrators can change are
; safe to write, and the log-on entry and shortcut that jw makes land in their own profile.
Function SoleSelf
    Exch $0
    Push $1
    Push $2
    Push $3
    StrCpy $SoleSelf ""
    System::Call 'advapi32::GetTokenInformation(p r0, i 18, *i .r2, i 4, *i) i .r1'
    ${If} $1 <> 0
    ${AndIf} $2 = 1
        ; TokenUser: a TOKEN_USER, whose first member points at the SID
        System::Call '*(&i256) p .r3'
        System::Call 'advapi32::GetTokenInformation(p r0, i 1, p r3, i 256, *i) i .r1'
        ${If} $1 <> 0
            System::Call '*$3(p .r2)'
            Push $2
            Call SidText
            Pop $SoleSelf
        ${EndIf}
        System::Free $3
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Whether the setup runs elevated, into $Elevated. The token's own elevation flag rather than
; IsUserAnAdmin: it is set on every token an elevation gave (an administrator's, a backup
; operator's), and Wine answers IsUserAnAdmin from group membership alone, so that a limited
; token there looks like an administrator's. IsUserAnAdmin answers only where the token cannot.
Function CheckElevated
    Push $0
    Push $1
    Push $2
    Push $3
    StrCpy $Elevated 0
    ; TOKEN_QUERY
    System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r0) i .r1'
    ${If} $1 <> 0
        ; TokenElevation: one DWORD, non-zero when elevated
        System::Call 'advapi32::GetTokenInformation(p r0, i 20, *i .r2, i 4, *i .r3) i .r1'
        ${If} $1 <> 0
        ${AndIf} $2 <> 0
            Push $0
            Call SoleSelf
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

; Sets var to 1 when sid is one of the administrators' accounts (the group, the system, the
; installer service), else 0.
!macro IS_ADMINISTRATORS var sid
    StrCpy ${var} 0
    ${If} ${sid} == "${SID_ADMINISTRATORS}"
    ${OrIf} ${sid} == "${SID_SYSTEM}"
    ${OrIf} ${sid} == "${SID_TRUSTED_INSTALLER}"
        StrCpy ${var} 1
    ${ElseIf} $SoleSelf != ""
    ${AndIf} ${sid} == $SoleSelf
        StrCpy ${var} 1
!ifdef ALSO_ADMINISTRATORS
    ; Only in a setup the tests build to run under Wine, which keeps no permissions of its own
    ; and shows every folder as its user's: counting that user among the administrators lets
    ; the rest of a folder's permissions (the Unix mode) decide there. Never in what ships.
    ${ElseIf} ${sid} == "${ALSO_ADMINISTRATORS}"
        StrCpy ${var} 1
!endif
    ${EndIf}
!macroend

; Sets var to file (while var is empty) when the file has another name too (a hard link) or is
; a link itself: writing it would change a file elsewhere.
!macro FIRST_SHARED_FILE var file
    ${If} ${var} == ""
        ; FILE_READ_ATTRIBUTES, shared for everything, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT
        System::Call 'kernel32::CreateFileW(w "${file}", i 0x80, i 7, p 0, i 3, i 0x200000, p 0) p .R0'
        ${If} $R0 P<> -1
            ; BY_HANDLE_FILE_INFORMATION: the attributes first, the number of names at byte 40
            System::Call '*(i, i, i, i, i, i, i, i, i, i, i, i, i) p .R1'
            System::Call 'kernel32::GetFileInformationByHandle(p R0, p R1) i .R2'
            ${If} $R2 <> 0
                System::Call '*$R1(i .R2, i, i, i, i, i, i, i, i, i, i .R3)'
                IntOp $R2 $R2 & ${FILE_ATTRIBUTE_REPARSE_POINT}
                ${If} $R2 <> 0
                ${OrIf} $R3 > 1
                    StrCpy ${var} "${file}"
                ${EndIf}
            ${EndIf}
            System::Free $R1
            System::Call 'kernel32::CloseHandle(p R0)'
        ${EndIf}
    ${EndIf}
!macroend

; The text form of the SID at the address on the stack, pushed ("" when it cannot be read).
Function SidText
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

; Whether anyone but the administrators can change the folder $JudgePath, into $JudgeOpen: its
; owner (who may always rewrite its permissions) must be an administrators' account, and no
; entry of its permissions may grant any of $JudgeRights to another account. Entries that only
; pass on to what is created inside count where they reach what the setup writes ($JudgeOwn),
; except those for the creator, who will be the setup itself. Denying entries are passed over:
; they take rights away from someone, which does not give them to anyone else. What cannot be
; read counts as open.
Function JudgeFolder
    Push $0
    Push $R0
    Push $R1
    Push $R2
    Push $R3
    Push $R4
    Push $R5
    Push $R6
    Push $R7
    Push $R8
    Push $R9
    StrCpy $JudgeOpen 1
    ; SE_FILE_OBJECT; OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION
    System::Call 'advapi32::GetNamedSecurityInfoW(w "$JudgePath", i 1, i 5, *p .R1, p 0, *p .R2, p 0, *p .R3) i .R0'
    ${If} $R0 = 0
        Push $R1
        Call SidText
        Pop $R4
        !insertmacro IS_ADMINISTRATORS $0 $R4
        ; No permissions at all (a null DACL) let everyone do everything.
        ${If} $0 = 1
        ${AndIf} $R2 P<> 0
            StrCpy $JudgeOpen 0
            ; ACL: revision and padding, size, number of entries
            System::Call '*$R2(&i2, &i2, &i2 .R5)'
            StrCpy $R6 0
            ${While} $R6 < $R5
                ${If} $JudgeOpen = 1
                    ${Break}
                ${EndIf}
                System::Call 'advapi32::GetAce(p R2, i R6, *p .R7) i .R0'
                ${If} $R0 = 0
                    StrCpy $JudgeOpen 1
                    ${Break}
                ${EndIf}
                ; ACE: type, flags, size, rights, and for a plain allowing entry its SID
                System::Call '*$R7(&i1 .R8, &i1 .R9, &i2, i .R0)'
                IntOp $R0 $R0 & $JudgeRights
                ; ACCESS_DENIED_ACE_TYPE is 1; any allowing kind but the plain one (0) counts
                ; as granting to someone unknown.
                ${If} $R8 <> 1
                ${AndIf} $R0 <> 0
                    StrCpy $R4 ""
                    ${If} $R8 = 0
                        IntPtrOp $R7 $R7 + 8
                        Push $R7
                        Call SidText
                        Pop $R4
                    ${EndIf}
                    !insertmacro IS_ADMINISTRATORS $0 $R4
                    ; INHERIT_ONLY_ACE
                    IntOp $R9 $R9 & 8
                    ${If} $R9 = 0
                        ${If} $0 = 0
                            StrCpy $JudgeOpen 1
                        ${EndIf}
                    ${ElseIf} $JudgeOwn = 1
                    ${AndIf} $0 = 0
                    ${AndIf} $R4 != "${SID_CREATOR_OWNER}"
                        StrCpy $JudgeOpen 1
                    ${EndIf}
                ${EndIf}
                IntOp $R6 $R6 + 1
            ${EndWhile}
        ${EndIf}
        System::Call 'kernel32::LocalFree(p R3)'
    ${EndIf}
    Pop $R9
    Pop $R8
    Pop $R7
    Pop $R6
    Pop $R5
    Pop $R4
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
    Pop $0
FunctionEnd

; Stops the setup before it changes anything (with /S: exit code 2) when the folder its files go
; to is unsafe to write.
; - A junction or symbolic link at the folder or at its ui folder would send the files wherever
;   it points: run elevated, into a system folder.
; - Run elevated, the setup writes only where no one but the administrators can change anything:
;   not through a link anywhere on the way, not into a file that has another name as well (a
;   hard link), not into a folder that another account may add to, empty, rename or
;   re-permission, and not below a folder that another account may empty, rename or
;   re-permission. Such a folder could be turned towards another place at any moment, also
;   between this check and the writing; one that only administrators can change cannot.
; Checked before anything is changed, again after a program held open was waited for, and once
; more after each folder is made and before anything is written into it.
Function RefuseUnsafeTarget
    Push $0
    Push $1
    Push $2
    Push $3
    Push $R0
    Push $R1
    Push $R2
    Push $R3
    StrCpy $1 ""
    !insertmacro FIRST_REPARSE_POINT $1 "$INSTDIR"
    !insertmacro FIRST_REPARSE_POINT $1 "$INSTDIR\ui"
    ${If} $Elevated = 1
        StrCpy $2 "$INSTDIR"
        ${Do}
            !insertmacro FIRST_REPARSE_POINT $1 "$2"
            StrLen $3 $2
            ${If} $3 <= 3
                ${Break}
            ${EndIf}
            ${GetParent} "$2" $2
            StrLen $3 $2
            ${If} $3 = 2
                StrCpy $2 "$2\"
            ${ElseIf} $3 = 0
                ${Break}
            ${EndIf}
        ${Loop}
    ${EndIf}
    ${If} $1 != ""
        MessageBox MB_OK|MB_ICONSTOP "$1 是一个链接（联接点或符号链接），指向别的位置。$\r$\n$\r$\n为了安全，安装程序不会通过链接写入文件。请删除这个链接，然后重新运行安装程序。" /SD IDOK
        DetailPrint "$1 是一个链接，安装已停止。"
        SetErrorLevel 2
        Abort
    ${EndIf}
    ${If} $Elevated = 1
        !insertmacro FIRST_SHARED_FILE $1 "$INSTDIR\tolm.exe"
        !insertmacro FIRST_SHARED_FILE $1 "$INSTDIR\jw.exe"
        !insertmacro FIRST_SHARED_FILE $1 "$INSTDIR\${UNINSTALLER}"
        !insertmacro FIRST_SHARED_FILE $1 "$INSTDIR\ui\back.png"
        !insertmacro FIRST_SHARED_FILE $1 "$INSTDIR\ui\back_125.png"
        !insertmacro FIRST_SHARED_FILE $1 "$INSTDIR\ui\back_150.png"
        !insertmacro FIRST_SHARED_FILE $1 "$INSTDIR\ui\back_175.png"
        !insertmacro FIRST_SHARED_FILE $1 "$INSTDIR\ui\back_200.png"
        ${If} $1 != ""
            MessageBox MB_OK|MB_ICONSTOP "$1 还有别的名字（硬链接）或者是一个链接，写入它会改动别处的文件。$\r$\n$\r$\n为了安全，以管理员身份运行的安装程序不会写入这样的文件。请删除它，然后重新运行安装程序。" /SD IDOK
            DetailPrint "$1 还有别的名字，安装已停止。"
            SetErrorLevel 2
            Abort
        ${EndIf}
        ; The folder and ui, where they are already there, then every folder above.
        StrCpy $JudgeOwn 1
        StrCpy $JudgeRights ${CHANGE_RIGHTS}
        StrCpy $2 "$INSTDIR\ui"
        ${Do}
            ${If} ${FileExists} "$2\*.*"
                StrCpy $JudgePath $2
                Call JudgeFolder
                ${If} $JudgeOpen = 1
                    StrCpy $1 $2
                    ${Break}
                ${EndIf}
            ${EndIf}
            StrLen $3 $2
            ${If} $3 <= 3
                ${Break}
            ${EndIf}
            ${If} $2 == "$INSTDIR"
                StrCpy $JudgeOwn 0
                StrCpy $JudgeRights ${CHANGE_RIGHTS_ABOVE}
            ${EndIf}
            ${GetParent} "$2" $2
            StrLen $3 $2
            ${If} $3 = 2
                StrCpy $2 "$2\"
            ${ElseIf} $3 = 0
                ${Break}
            ${EndIf}
        ${Loop}
        ${If} $1 != ""
            MessageBox MB_OK|MB_ICONSTOP "安装程序正以管理员身份运行，而 $1 是管理员以外的账户也能改动的文件夹。$\r$\n$\r$\n以管理员身份往这样的文件夹写入程序并不安全：别的程序可以趁机把文件引到系统文件夹里。请直接双击运行安装程序（不要选“以管理员身份运行”），或者安装到只有管理员能改动的文件夹。" /SD IDOK
            DetailPrint "$1 不是只有管理员能改动的文件夹，安装已停止。"
            SetErrorLevel 2
            Abort
        ${EndIf}
    ${EndIf}
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

