; What the setup and the uninstaller check before they write or delete anything, and above all
; when they run elevated: an administrator who runs them for a student must not be led by a
; link, or by a folder the student can change, into writing or deleting a system file.
; Who runs it is told by token.nsh. Included by tolm.nsi, which inserts ELEVATED once for the
; setup and once for the uninstaller.

!define FILE_ATTRIBUTE_REPARSE_POINT 0x400
; Rights that let someone change what a folder holds or where its name leads: add a file or a
; folder to it, delete what is in it, delete or rename it, change its attributes (with which it
; becomes a junction), its permissions or its owner, and the generic rights that include these.
!define CHANGE_RIGHTS 0x500D0146
; In a folder above the target, adding something changes nothing below it: there only deleting,
; renaming, and changing attributes, permissions or owner count.
!define CHANGE_RIGHTS_ABOVE 0x500D0140
; The only accounts that may be able to change a folder an elevated setup writes into.
!define SID_ADMINISTRATORS "S-1-5-32-544"
!define SID_SYSTEM "S-1-5-18"
!define SID_TRUSTED_INSTALLER "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
; Stands for whoever creates something below; inherit-only, it grants nothing on the folder.
!define SID_CREATOR_OWNER "S-1-3-0"
; Room for the handle of every folder on the way: a path of NSIS_MAX_STRLEN characters has
; fewer than half as many folders.
!define /math HELD_BYTES ${NSIS_MAX_STRLEN} * ${NSIS_PTR_SIZE}

; JudgeFolder's question and answer: the folder's handle, the rights that count there, 1 when
; it is the target or its ui (whose inheritable entries reach what is written there); 1 when
; someone other than the administrators and the system can change it, or when that cannot be told.
Var JudgeHandle
Var JudgeRights
Var JudgeOwn
Var JudgeOpen
; RefuseUnsafeTarget's task: 0 judge; 1 judge and keep the folders held; 2 also make the missing
; folders, one at a time.
Var Hold
; The folders this program made, deepest first, each followed by "|".
Var Made
; The folders from the drive down to ui, each held open from its check until the work in it is
; done: an array of handles (allocated at the first), how many it holds, and where the target's
; and ui's own stand in it ("" when not held).
Var Held
Var HeldCount
Var HeldDirAt
Var HeldUiAt

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

; Sets var to 1 when sid is one of the administrators' accounts (the group, the system, the
; installer service, the person at the desktop who never runs with less), else 0.
!macro IS_ADMINISTRATORS var sid
    StrCpy ${var} 0
    ${If} ${sid} == "${SID_ADMINISTRATORS}"
    ${OrIf} ${sid} == "${SID_SYSTEM}"
    ${OrIf} ${sid} == "${SID_TRUSTED_INSTALLER}"
        StrCpy ${var} 1
    ${ElseIf} $SoleSelf != ""
    ${AndIf} ${sid} == $SoleSelf
        StrCpy ${var} 1
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

!macro ELEVATED un

; Whether anyone but the administrators can change the folder held by $JudgeHandle, into
; $JudgeOpen: its owner (who may always rewrite its permissions) must be an administrators'
; account, and no entry of its permissions may grant any of $JudgeRights to another account.
; Entries that only pass on to what is created inside count where they reach what is written
; there ($JudgeOwn), except those for the creator, who will be the setup itself. Denying entries
; are passed over: they take rights away from someone, which does not give them to anyone else.
; What cannot be read counts as open. Read through the handle, so that it is the very folder
; whose attributes were looked at, and that stays held.
Function ${un}JudgeFolder
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
    System::Call 'advapi32::GetSecurityInfo(p $JudgeHandle, i 1, i 5, *p .R1, p 0, *p .R2, p 0, *p .R3) i .R0'
    ${If} $R0 = 0
        Push $R1
        Call ${un}SidText
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
                        Call ${un}SidText
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

; Opens the folder named on the stack as itself, not where a link would lead, into
; $JudgeHandle (-1 when it cannot be opened), and pushes what it is: "folder", "link", "none"
; (nothing of that name), or "" (something else, or it cannot be opened). The handle forbids
; others to delete or rename the folder for as long as it is open.
Function ${un}OpenFolder
    Exch $0
    Push $1
    Push $2
    Push $3
    StrCpy $1 ""
    ; READ_CONTROL | FILE_READ_ATTRIBUTES; FILE_SHARE_READ | FILE_SHARE_WRITE; OPEN_EXISTING;
    ; FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT
    System::Call 'kernel32::CreateFileW(w r0, i 0x20080, i 3, p 0, i 3, i 0x02200000, p 0) p .r2 ?e'
    Pop $3
    StrCpy $JudgeHandle $2
    ${If} $2 P= -1
        ; ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND
        ${If} $3 = 2
        ${OrIf} $3 = 3
            StrCpy $1 "none"
        ${EndIf}
    ${Else}
        System::Call '*(i, i, i, i, i, i, i, i, i, i, i, i, i) p .r3'
        System::Call 'kernel32::GetFileInformationByHandle(p r2, p r3) i .r1'
        ${If} $1 <> 0
            System::Call '*$3(i .r1)'
            IntOp $2 $1 & ${FILE_ATTRIBUTE_REPARSE_POINT}
            IntOp $1 $1 & 0x10
            ${If} $2 <> 0
                StrCpy $1 "link"
            ${ElseIf} $1 <> 0
                StrCpy $1 "folder"
            ${Else}
                StrCpy $1 ""
            ${EndIf}
        ${Else}
            StrCpy $1 ""
        ${EndIf}
        System::Free $3
        ; Wine 8 opens what a Unix link leads to even when asked not to, and shows the link
        ; only by its name.
        ${If} $1 == "folder"
            StrCpy $2 ""
            !insertmacro FIRST_REPARSE_POINT $2 $0
            ${If} $2 != ""
                StrCpy $1 "link"
            ${EndIf}
        ${EndIf}
    ${EndIf}
    StrCpy $0 $1
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; Keeps $JudgeHandle open with the other held folders.
Function ${un}HoldFolder
    Push $0
    ${If} $Held == ""
        System::Alloc ${HELD_BYTES}
        Pop $Held
    ${EndIf}
    IntOp $0 $HeldCount * ${NSIS_PTR_SIZE}
    IntPtrOp $0 $Held + $0
    System::Call '*$0(p $JudgeHandle)'
    IntOp $HeldCount $HeldCount + 1
    Pop $0
FunctionEnd

; Closes the held folders from the place on the stack on (all from 0; none from "").
Function ${un}ReleaseHeld
    Exch $0
    Push $1
    Push $2
    ${If} $0 == ""
        StrCpy $0 $HeldCount
    ${EndIf}
    ${While} $HeldCount > $0
        IntOp $HeldCount $HeldCount - 1
        IntOp $1 $HeldCount * ${NSIS_PTR_SIZE}
        IntPtrOp $1 $Held + $1
        System::Call '*$1(p .r2)'
        System::Call 'kernel32::CloseHandle(p r2)'
    ${EndWhile}
    ${If} $HeldUiAt != ""
    ${AndIf} $HeldUiAt >= $HeldCount
        StrCpy $HeldUiAt ""
    ${EndIf}
    ${If} $HeldDirAt != ""
    ${AndIf} $HeldDirAt >= $HeldCount
        StrCpy $HeldDirAt ""
    ${EndIf}
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Lets the held folders go and, on a refusal, removes again the folders that were made (while
; they are empty): nothing is left changed. A name that was turned into a link meanwhile loses
; the link only; what the link leads to is not touched.
Function ${un}LetGo
    Push $0
    Push $1
    Push 0
    Call ${un}ReleaseHeld
    ${DoWhile} $Made != ""
        StrCpy $1 0
        ${Do}
            StrCpy $0 $Made 1 $1
            ${If} $0 == "|"
                ${Break}
            ${EndIf}
            IntOp $1 $1 + 1
        ${Loop}
        StrCpy $0 $Made $1
        IntOp $1 $1 + 1
        StrCpy $Made $Made "" $1
        RMDir $0
    ${Loop}
    Pop $1
    Pop $0
FunctionEnd

; Stops before anything is changed (with /S: exit code 2) when the folder that is written to or
; deleted from is unsafe.
; - A junction or symbolic link at the folder or at its ui folder would send what is written or
;   deleted wherever it points: run elevated, into a system folder.
; - Run elevated, this program writes or deletes only where no one but the administrators can
;   change anything: not through a link anywhere on the way, not into a file that has another
;   name as well (a hard link), not in a folder that another account may add to, empty, rename,
;   turn into a link or re-permission, and not below a folder that another account may empty,
;   rename, turn into a link or re-permission.
; Run elevated, each folder from the drive down is opened once, as itself, and judged through
; that handle: whether it is a link, who owns it and who may change it. With $Hold 1 or 2 the
; handles stay open, so that nobody can delete or rename a judged folder until the work in it
; is done (ReleaseHeld); with 2 the folders that are not there yet are made one at a time, each
; judged before the next one is made in it.
Function ${un}RefuseUnsafeTarget
    Push $0
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
    ; The first link on the way ($1), and a folder that someone else can change ($4).
    StrCpy $1 ""
    StrCpy $4 ""
    ${If} $Elevated <> 1
        !insertmacro FIRST_REPARSE_POINT $1 "$INSTDIR"
        !insertmacro FIRST_REPARSE_POINT $1 "$INSTDIR\ui"
        Goto judged
    ${EndIf}
    Push 0
    Call ${un}ReleaseHeld
    IntOp $HeldCount $HeldCount + 0
    ; The target as the system reads it, without a trailing separator ($2), and its ui ($3).
    System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR", i ${NSIS_MAX_STRLEN}, w .r2, p 0) i .r0'
    ${If} $0 = 0
    ${OrIf} $0 >= ${NSIS_MAX_STRLEN}
        StrCpy $2 "$INSTDIR"
    ${EndIf}
    StrCpy $0 $2 1 -1
    ${If} $0 == "\"
        StrCpy $2 $2 -1
    ${EndIf}
    StrCpy $3 "$2\ui"
    StrLen $7 $3
    ; Only a path from a drive's root can be walked folder by folder.
    StrCpy $0 $3 2 1
    ${If} $0 != ":\"
        StrCpy $4 $INSTDIR
        Goto judged
    ${EndIf}
    ; $6: the folder, the first $5 characters of $3; $8: 1 once the walk is past what is there.
    StrCpy $5 3
    StrCpy $8 0
    ${Do}
        StrCpy $6 $3 $5
        ${If} $6 == $2
        ${OrIf} $6 == "$2\"
        ${OrIf} $6 == $3
            StrCpy $JudgeRights ${CHANGE_RIGHTS}
            StrCpy $JudgeOwn 1
        ${Else}
            StrCpy $JudgeRights ${CHANGE_RIGHTS_ABOVE}
            StrCpy $JudgeOwn 0
        ${EndIf}
        Push $6
        Call ${un}OpenFolder
        Pop $0
        ${If} $0 == "none"
            ${If} $8 = 0
                ; All that is there has been looked at: refused on, if need be, before
                ; anything is made.
                Call ${un}RefuseOnFindings
                ${If} $Hold < 2
                    ${Break}
                ${EndIf}
                StrCpy $8 1
            ${EndIf}
            System::Call 'kernel32::CreateDirectoryW(w r6, p 0) i .r0'
            ${If} $0 <> 0
                StrCpy $Made "$6|$Made"
            ${EndIf}
            Push $6
            Call ${un}OpenFolder
            Pop $0
        ${EndIf}
        ${If} $0 == "link"
            StrCpy $1 $6
            StrCpy $JudgeOpen 0
        ${ElseIf} $0 == "folder"
            Call ${un}JudgeFolder
        ${Else}
            ; Not a folder, or not one to open as itself: it cannot be judged.
            StrCpy $JudgeOpen 1
        ${EndIf}
        ; The folder named in the refusal is the one nearest to the target.
        ${If} $JudgeOpen = 1
            StrCpy $4 $6
        ${EndIf}
        ${If} $0 != "folder"
            ; Nothing beyond is looked at.
            ${If} $JudgeHandle P<> -1
                System::Call 'kernel32::CloseHandle(p $JudgeHandle)'
            ${EndIf}
            ${Break}
        ${EndIf}
        ${If} $6 == $3
            StrCpy $HeldUiAt $HeldCount
        ${ElseIf} $JudgeOwn = 1
            StrCpy $HeldDirAt $HeldCount
        ${EndIf}
        Call ${un}HoldFolder
        ${If} $5 >= $7
            ${Break}
        ${EndIf}
        ; Past what was there, nothing is made in a folder that failed.
        ${If} $8 = 1
        ${AndIf} $4 != ""
            ${Break}
        ${EndIf}
        ; On to the next separator, or the end.
        ${Do}
            IntOp $5 $5 + 1
            StrCpy $0 $3 1 $5
            ${If} $0 == "\"
            ${OrIf} $0 == ""
                ${Break}
            ${EndIf}
        ${Loop}
    ${Loop}
judged:
    Call ${un}RefuseOnFindings
    ${If} $Hold = 0
        Push 0
        Call ${un}ReleaseHeld
    ${EndIf}
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
    Pop $0
FunctionEnd

; RefuseUnsafeTarget's refusals, in this order: a link on the way ($1), a file to be written that
; has another name (the setup, elevated), a folder that someone else can change ($4). Each lets
; the held folders go, says which folder or file is the problem, and stops with nothing changed.
Function ${un}RefuseOnFindings
    ${If} $1 != ""
        Call ${un}LetGo
!if "${un}" == ""
        MessageBox MB_OK|MB_ICONSTOP "$1 是一个链接（联接点或符号链接），指向别的位置。$\r$\n$\r$\n为了安全，安装程序不会通过链接写入文件。请删除这个链接，然后重新运行安装程序。" /SD IDOK
        DetailPrint "$1 是一个链接，安装已停止。"
!else
        MessageBox MB_OK|MB_ICONSTOP "$1 是一个链接（联接点或符号链接），指向别的位置。$\r$\n$\r$\n为了安全，卸载程序不会通过链接删除文件，什么也没有删除。请删除这个链接，然后重新运行卸载程序。" /SD IDOK
        DetailPrint "$1 是一个链接，卸载已停止，什么也没有删除。"
!endif
        SetErrorLevel 2
        Abort
    ${EndIf}
!if "${un}" == ""
    ${If} $Elevated = 1
        StrCpy $9 ""
        !insertmacro FIRST_SHARED_FILE $9 "$INSTDIR\tolm.exe"
        !insertmacro FIRST_SHARED_FILE $9 "$INSTDIR\jw.exe"
        !insertmacro FIRST_SHARED_FILE $9 "$INSTDIR\${UNINSTALLER}"
        !insertmacro FIRST_SHARED_FILE $9 "$INSTDIR\ui\back.png"
        !insertmacro FIRST_SHARED_FILE $9 "$INSTDIR\ui\back_125.png"
        !insertmacro FIRST_SHARED_FILE $9 "$INSTDIR\ui\back_150.png"
        !insertmacro FIRST_SHARED_FILE $9 "$INSTDIR\ui\back_175.png"
        !insertmacro FIRST_SHARED_FILE $9 "$INSTDIR\ui\back_200.png"
        ${If} $9 != ""
            Call LetGo
            MessageBox MB_OK|MB_ICONSTOP "$9 还有别的名字（硬链接）或者是一个链接，写入它会改动别处的文件。$\r$\n$\r$\n为了安全，以管理员身份运行的安装程序不会写入这样的文件。请删除它，然后重新运行安装程序。" /SD IDOK
            DetailPrint "$9 还有别的名字，安装已停止。"
            SetErrorLevel 2
            Abort
        ${EndIf}
    ${EndIf}
!endif
    ${If} $4 != ""
        Call ${un}LetGo
!if "${un}" == ""
        MessageBox MB_OK|MB_ICONSTOP "安装程序正以管理员身份运行，而 $4 是管理员以外的账户也能改动的文件夹。$\r$\n$\r$\n以管理员身份往这样的文件夹写入程序并不安全：别的程序可以趁机把文件引到系统文件夹里。请直接双击运行安装程序（不要选“以管理员身份运行”），或者安装到只有管理员能改动的文件夹。" /SD IDOK
        DetailPrint "$4 不是只有管理员能改动的文件夹，安装已停止。"
!else
        MessageBox MB_OK|MB_ICONSTOP "卸载程序正以管理员身份运行，而 $4 是管理员以外的账户也能改动的文件夹。$\r$\n$\r$\n以管理员身份在这样的文件夹里删除文件并不安全：别的程序可以趁机把删除引到系统文件夹里。什么也没有删除。请用安装 TOLM 的账户直接运行卸载程序（不要选“以管理员身份运行”）。" /SD IDOK
        DetailPrint "$4 不是只有管理员能改动的文件夹，卸载已停止，什么也没有删除。"
!endif
        SetErrorLevel 2
        Abort
    ${EndIf}
FunctionEnd

!macroend
