; The TOLM setup program: a per-user installation without administrator rights that ends by
; starting jw (unless it runs elevated), and an uninstaller that takes away what the
; installation and jw made.
;
; Built by CMake (target `setup`), which passes:
;   VERSION     1.0.34, and VI_VERSION 1.0.0.34 for the version resource
;   ARCH        x86-unicode (what ships) or amd64-unicode (the same installer for the tests)
;   APP         the build's installed-folder mirror: tolm.exe, jw.exe, ui/back.png
;   OUTFILE     where the setup program goes (a bare name with SIGN, see below)
;   SIGN        (optional) sign the setup and the uninstaller, each once written, with
;               "$TOLM_SIGN_PROGRAM" "$TOLM_SIGN_CERT" "$TOLM_SIGN_KEY" "$TOLM_SIGN_TIMESTAMP" FILE
;               (tools/sign-program), all four from the environment
;   UNINST_COPY (optional) copy the finished uninstaller to "$TOLM_UNINST_COPY" with
;               "$TOLM_CMAKE" -E copy, both from the environment
; NSIS runs these steps through a shell: the paths and the address reach it only as quoted
; variables, which it expands once and reads no further. FILE is NSIS's own temporary file or
; OUTFILE, so OUTFILE is a bare name: makensis runs in the folder it goes to, with -NOCD (the
; script names its own files from ${__FILEDIR__}).
!ifndef VERSION | VI_VERSION | ARCH | APP | OUTFILE
  !error "Build the setup through CMake: cmake --build <build> --target setup"
!endif

Unicode true
Target ${ARCH}
SetCompressor /SOLID lzma
; Two builds of one commit make the same setup: no packed file's modification time is stored
; (the files are written with the time of installing), and SetOverwrite stays "on", as
; "ifnewer" and "ifdiff" would store the times regardless.
SetDateSave off
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Win\COM.nsh

!define PRODUCT "TOLM 高考倒计时"
!define PUBLISHER "TOLM"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TOLM"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALLER "uninstall.exe"
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
; The widget's main window, to which a close request is posted before its files are touched.
!define WIDGET_CLASS "TolmForm"
!define WIDGET_CAPTION "Tolm"

Name "${PRODUCT}" "TOLM"
OutFile "${OUTFILE}"
!ifdef SIGN
  ; The uninstaller is signed before it is packed into the setup, and the setup once written.
  !uninstfinalize `"$TOLM_SIGN_PROGRAM" "$TOLM_SIGN_CERT" "$TOLM_SIGN_KEY" "$TOLM_SIGN_TIMESTAMP" '%1'` = 0
  !finalize `"$TOLM_SIGN_PROGRAM" "$TOLM_SIGN_CERT" "$TOLM_SIGN_KEY" "$TOLM_SIGN_TIMESTAMP" '%1'` = 0
!endif
!ifdef UNINST_COPY
  ; After the signing above: the uninstaller exactly as it is packed, for comparing two builds.
  !uninstfinalize `"$TOLM_CMAKE" -E copy '%1' "$TOLM_UNINST_COPY"` = 0
!endif
RequestExecutionLevel user
; A folder the widget can write, so that its update download can land beside it.
InstallDir "$LOCALAPPDATA\Programs\TOLM"
; An update (or a second setup) goes where the first one went.
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
BrandingText "TOLM ${VERSION}"
ShowInstDetails show
ShowUninstDetails show
; Half-replaced programs are worse than a failed setup: no "ignore" when a file cannot be written.
AllowSkipFiles off

VIProductVersion ${VI_VERSION}
VIFileVersion ${VI_VERSION}
VIAddVersionKey /LANG=2052 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=2052 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=2052 FileVersion "${VERSION}"
VIAddVersionKey /LANG=2052 FileDescription "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=2052 LegalCopyright "${PUBLISHER}"

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
; What the last page says happens next.
Var FinishNote

!define MUI_ICON "${__FILEDIR__}\..\art\tolm.ico"
!define MUI_UNICON "${__FILEDIR__}\..\art\tolm.ico"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TITLE "安装 ${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "TOLM 将安装到：$\r$\n$\r$\n$INSTDIR$\r$\n$\r$\n只为当前用户安装，不需要管理员权限。如果 TOLM 正在运行，安装前会先将它关闭。$\r$\n$\r$\n点击“安装”开始。"
!define MUI_PAGE_CUSTOMFUNCTION_SHOW WelcomeShow
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${PRODUCT} 已安装"
!define MUI_FINISHPAGE_TEXT "TOLM 已安装到 $INSTDIR。$\r$\n$\r$\n$FinishNote"
!define MUI_PAGE_CUSTOMFUNCTION_PRE FinishPre
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE FinishLeave
!insertmacro MUI_PAGE_FINISH

!define MUI_WELCOMEPAGE_TITLE "卸载 ${PRODUCT}"
!define MUI_WELCOMEPAGE_TEXT "将从 $INSTDIR 卸载 TOLM，并删除指向它的开机启动项和桌面快捷方式。$\r$\n$\r$\n你自己放进这个文件夹的文件会保留。$\r$\n$\r$\n点击“卸载”开始。"
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.WelcomeShow
!insertmacro MUI_UNPAGE_WELCOME
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "SimpChinese"

; ---------------------------------------------------------------------------------------------
; Shared by the installer and the uninstaller.

; Sets var to file when it exists and cannot be opened for writing.
!macro FIRST_LOCKED var file
    ${If} ${FileExists} "${file}"
        ClearErrors
        FileOpen $0 "${file}" a
        ${If} ${Errors}
            StrCpy ${var} "${file}"
        ${Else}
            FileClose $0
        ${EndIf}
    ${EndIf}
!macroend

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

; The welcome pages lead straight to the work, so their button says what it starts.
Function WelcomeShow
    GetDlgItem $0 $HWNDPARENT 1
    SendMessage $0 ${WM_SETTEXT} 0 "STR:$(^InstallBtn)"
FunctionEnd
Function un.WelcomeShow
    GetDlgItem $0 $HWNDPARENT 1
    SendMessage $0 ${WM_SETTEXT} 0 "STR:$(^UninstallBtn)"
FunctionEnd

!macro SHARED un

; Ends every widget started from this installation: first by closing its main window, as the
; user would, and only if it stays by ending its process. Widgets run from elsewhere stay.
Function ${un}EndWidget
    Push $R0
    Push $R1
    Push $R2
    Push $R3
    Push $R4
    StrCpy $R0 0
    ${Do}
        System::Call 'user32::FindWindowExW(p 0, p R0, w "${WIDGET_CLASS}", w "${WIDGET_CAPTION}") p .R0'
        ${If} $R0 P= 0
            ${Break}
        ${EndIf}
        StrCpy $R1 0
        System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1)'
        ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE
        System::Call 'kernel32::OpenProcess(i 0x101001, i 0, i R1) p .R2'
        ${If} $R2 P= 0
            ${Continue}
        ${EndIf}
        StrCpy $R3 ""
        System::Call 'kernel32::QueryFullProcessImageNameW(p R2, i 0, w .R3, *i ${NSIS_MAX_STRLEN})'
        Push $R3
        Call ${un}SamePath
        Pop $R4
        ${If} $R4 == 1
            DetailPrint "正在关闭 TOLM……"
            System::Call 'user32::PostMessageW(p R0, i ${WM_CLOSE}, p 0, p 0)'
            System::Call 'kernel32::WaitForSingleObject(p R2, i 5000) i .R4'
            ${If} $R4 <> 0
                DetailPrint "TOLM 没有响应，结束它的进程。"
                System::Call 'kernel32::TerminateProcess(p R2, i 1)'
                System::Call 'kernel32::WaitForSingleObject(p R2, i 5000) i .R4'
            ${EndIf}
            ; Gone: its window is gone too, so look again from the start.
            ${If} $R4 = 0
                StrCpy $R0 0
            ${EndIf}
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p R2)'
    ${Loop}
    Pop $R4
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
FunctionEnd

; Whether a path names this installation's tolm.exe: 1 or 0. Quotation marks are dropped and
; doubled separators count once (jw writes the Run value through a registry script, and a
; folder at a drive root gives "D:\\tolm.exe"); short names and letter case do not matter.
Function ${un}SamePath
    Exch $0
    Push $1
    Push $2
    Push $3
    Push $4
    StrCpy $1 ""
    StrCpy $3 ""
    StrCpy $4 0
    ${Do}
        StrCpy $2 $0 1 $4
        ${If} $2 == ""
            ${Break}
        ${EndIf}
        IntOp $4 $4 + 1
        ${If} $2 == '"'
        ${OrIf} "$2$3" == "\\"
            ${Continue}
        ${EndIf}
        StrCpy $1 "$1$2"
        StrCpy $3 $2
    ${Loop}
    System::Call 'kernel32::GetLongPathNameW(w r1, w .r2, i ${NSIS_MAX_STRLEN}) i .r3'
    ${If} $3 <> 0
        StrCpy $1 $2
    ${EndIf}
    StrCpy $4 "$INSTDIR\tolm.exe"
    System::Call 'kernel32::GetLongPathNameW(w r4, w .r2, i ${NSIS_MAX_STRLEN}) i .r3'
    ${If} $3 <> 0
        StrCpy $4 $2
    ${EndIf}
    ${If} $1 != ""
    ${AndIf} $1 == $4
        StrCpy $0 1
    ${Else}
        StrCpy $0 0
    ${EndIf}
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; Stops before anything is changed when a program file still cannot be written (on Windows a
; running program can be neither replaced nor deleted): a retry, or a clear error and nothing lost.
Function ${un}EnsureReplaceable
    Push $0
    Push $1
retry:
    StrCpy $1 ""
    !insertmacro FIRST_LOCKED $1 "$INSTDIR\jw.exe"
    !insertmacro FIRST_LOCKED $1 "$INSTDIR\tolm.exe"
    ${If} $1 != ""
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$1 正在使用中，无法替换或删除。$\r$\n$\r$\n请关闭 TOLM 和它的设置窗口，然后点“重试”。" /SD IDCANCEL IDRETRY retry
        DetailPrint "$1 正在使用中，没有做任何改动。"
        SetErrorLevel 2
        Abort
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd

!macroend

!insertmacro SHARED ""
!insertmacro SHARED "un."

; ---------------------------------------------------------------------------------------------
; Installer

; The widget fetches its update into its own folder and starts it there, with administrator
; rights when the folder needs them. On a school PC those are often another account's, whose
; registry knows nothing of this installation and would send the files to that account's
; folder; a setup that runs beside an installed tolm.exe therefore updates that one. An
; explicit /D= still decides.
Function .onInit
    Call CheckElevated
    ${If} ${FileExists} "$EXEDIR\tolm.exe"
        Call ExplicitDir
        Pop $0
        ${If} $0 = 0
            StrCpy $INSTDIR "$EXEDIR"
        ${EndIf}
    ${EndIf}
FunctionEnd

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

; Whether the command line named the folder with /D=: 1 or 0, pushed. NSIS cuts " /D=" and all
; after it (it comes last, spaces and all) off $CMDLINE before .onInit runs, so only the
; process's own command line still shows it. NSIS drops trailing separators from the folder
; and passes over one that is not a full path: such a /D= decides nothing.
Function ExplicitDir
    Push $0
    Push $1
    System::Call 'kernel32::GetCommandLineW() w .r0'
    StrLen $1 $CMDLINE
    StrCpy $0 $0 "" $1
    StrCpy $1 $0 4
    ${If} $1 S!= " /D="
        StrCpy $0 0
    ${Else}
        StrCpy $0 $0 "" 4
        Push $0
        Call TrimSeparators
        Pop $0
        Push $INSTDIR
        Call TrimSeparators
        Pop $1
        ${If} $0 == $1
            StrCpy $0 1
        ${Else}
            StrCpy $0 0
        ${EndIf}
    ${EndIf}
    Pop $1
    Exch $0
FunctionEnd

; The path on the stack without trailing separators.
Function TrimSeparators
    Exch $0
    Push $1
    ${Do}
        StrCpy $1 $0 1 -1
        ${If} $1 != "\"
            ${Break}
        ${EndIf}
        StrCpy $0 $0 -1
    ${Loop}
    Pop $1
    Exch $0
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

Section "TOLM"
    SetDetailsPrint both
    Call RefuseUnsafeTarget
    Call EndWidget
    Call EnsureReplaceable
    ; The Retry box above may have stood open for any length of time.
    Call RefuseUnsafeTarget

    SetOutPath "$INSTDIR"
    Call RefuseUnsafeTarget
    File "${APP}/tolm.exe"
    File "${APP}/jw.exe"
    Call RefuseUnsafeTarget
    SetOutPath "$INSTDIR\ui"
    Call RefuseUnsafeTarget
    File "${APP}/ui/back.png"
    File "${APP}/ui/back_125.png"
    File "${APP}/ui/back_150.png"
    File "${APP}/ui/back_175.png"
    File "${APP}/ui/back_200.png"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"

    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\tolm.exe,0"
    WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
    WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Function FinishPre
    ${If} $Elevated = 1
    ${AndIf} $SoleSelf == ""
        StrCpy $FinishNote "安装程序正以管理员身份运行，所以不会打开设置窗口，以免开机启动项和桌面快捷方式加到管理员的账户里。$\r$\n$\r$\n请用你自己的账户运行 $INSTDIR\jw.exe，选择开机启动和添加桌面快捷方式。"
    ${Else}
        StrCpy $FinishNote "点击“完成”后将打开设置窗口，可以选择开机启动和添加桌面快捷方式。"
    ${EndIf}
FunctionEnd

; jw starts from the installed folder, which is also its current directory: the registry
; script its batch writes lands there. A silent setup leaves the choice to whoever ran it.
; Elevated through a consent, jw would run its batch and the registry editor with rights the
; user does not otherwise have, and put the log-on entry and the shortcut into the profile of
; the account that gave them: the last page says to run jw from the user's own account. An
; administrator who always runs with all rights (SoleSelf) gets jw as anyone else does.
Function FinishLeave
    ${If} $Elevated = 0
    ${OrIf} $SoleSelf != ""
        SetOutPath "$INSTDIR"
        Exec '"$INSTDIR\jw.exe"'
    ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------------------------
; Uninstaller: what the setup installed, what jw and the update download made here, and
; nothing else. A file of the user's keeps the folder.

Section "Uninstall"
    SetDetailsPrint both
    Call un.EndWidget
    Call un.EnsureReplaceable

    ; The log-on entry and the shortcut are the user's once they point elsewhere.
    ReadRegStr $0 HKCU "${RUN_KEY}" "TOLM"
    ${If} $0 != ""
        Push $0
        Call un.SamePath
        Pop $1
        ${If} $1 == 1
            DeleteRegValue HKCU "${RUN_KEY}" "TOLM"
        ${EndIf}
    ${EndIf}
    ${If} ${FileExists} "$DESKTOP\TOLM.lnk"
        Call un.ShortcutTarget
        Pop $0
        Push $0
        Call un.SamePath
        Pop $1
        ${If} $1 == 1
            Delete "$DESKTOP\TOLM.lnk"
        ${EndIf}
    ${EndIf}

    Delete "$INSTDIR\tolm.exe"
    Delete "$INSTDIR\jw.exe"
    Delete "$INSTDIR\ui\back.png"
    Delete "$INSTDIR\ui\back_125.png"
    Delete "$INSTDIR\ui\back_150.png"
    Delete "$INSTDIR\ui\back_175.png"
    Delete "$INSTDIR\ui\back_200.png"
    RMDir "$INSTDIR\ui"
    Delete "$INSTDIR\jw.bat"
    Delete "$INSTDIR\tolm.reg"
    Delete "$INSTDIR\tolmupdate.exe"
    Delete "$INSTDIR\tolmupdate.exe.part"
    Delete "$INSTDIR\${UNINSTALLER}"

    ; Another installation may have registered itself since.
    ReadRegStr $0 HKCU "${UNINST_KEY}" "InstallLocation"
    ${If} $0 == ""
    ${OrIf} $0 == $INSTDIR
        DeleteRegKey HKCU "${UNINST_KEY}"
    ${EndIf}
    RMDir "$INSTDIR"
SectionEnd

; The target of the desktop shortcut TOLM.lnk, pushed ("" when it cannot be read).
Function un.ShortcutTarget
    Push $0
    Push $1
    Push $2
    StrCpy $2 ""
    !insertmacro ComHlpr_CreateInProcInstance ${CLSID_ShellLink} ${IID_IShellLink} r0 ""
    ${If} $0 P<> 0
        ${IUnknown::QueryInterface} $0 '("${IID_IPersistFile}", .r1)'
        ${If} $1 P<> 0
            ${IPersistFile::Load} $1 '("$DESKTOP\TOLM.lnk", ${STGM_READ}) .r2'
            ${If} $2 = 0
                ; SLGP_RAWPATH: the target as it was written, environment strings unexpanded.
                ${IShellLink::GetPath} $0 '(.r2, ${NSIS_MAX_STRLEN}, 0, 4)'
            ${Else}
                StrCpy $2 ""
            ${EndIf}
            ${IUnknown::Release} $1 ""
        ${EndIf}
        ${IUnknown::Release} $0 ""
    ${EndIf}
    ; Restore the registers, leaving the target on the stack.
    Exch $2
    Exch
    Pop $1
    Exch
    Pop $0
FunctionEnd
