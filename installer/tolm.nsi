; The TOLM setup program: a per-user installation without administrator rights that ends by
; starting jw (unless it runs elevated), and an uninstaller that takes away what the
; installation and jw made. Who runs them: token.nsh; what both check before they write or
; delete: elevated.nsh; the uninstaller itself: uninstall.nsh.
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

!include "${__FILEDIR__}\token.nsh"
!insertmacro TOKEN ""
!insertmacro TOKEN "un."
!include "${__FILEDIR__}\elevated.nsh"
!insertmacro ELEVATED ""
!insertmacro ELEVATED "un."

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

; Unelevated, the folder and ui are looked at again for links once each is made.
Function RecheckLinks
    ${If} $Elevated = 0
        Call RefuseUnsafeTarget
    ${EndIf}
FunctionEnd

; Writes a packed file into $OUTDIR. Run elevated, the old file goes first: a rewritten file
; keeps its owner and permissions, so one that a user may change would stay changeable, and a
; user's open handle would still reach it. A new one takes the folder's inherited permissions,
; which were judged. A file that cannot be deleted (held open by someone) stops the setup.
!macro PUT_FILE name source
    ${If} $Elevated = 1
        Delete "$OUTDIR\${name}"
        ${If} ${FileExists} "$OUTDIR\${name}"
            Push "$OUTDIR\${name}"
            Call RefuseUndeletable
        ${EndIf}
    ${EndIf}
    File "${source}"
!macroend

Function RefuseUndeletable
    Exch $0
    Call LetGo
    MessageBox MB_OK|MB_ICONSTOP "$0 正在使用中，无法替换。$\r$\n$\r$\n请关闭正在使用它的程序，然后重新运行安装程序。" /SD IDOK
    DetailPrint "$0 正在使用中，安装已停止。"
    SetErrorLevel 2
    Abort
FunctionEnd

Section "TOLM"
    SetDetailsPrint both
    StrCpy $Hold 0
    Call RefuseUnsafeTarget
    Call EndWidget
    Call EnsureReplaceable
    ; The Retry box above may have stood open for any length of time. From here on the folders
    ; stay held until the last file is written; elevated, the missing ones are made here.
    StrCpy $Hold 2
    Call RefuseUnsafeTarget

    SetOutPath "$INSTDIR"
    Call RecheckLinks
    !insertmacro PUT_FILE tolm.exe "${APP}/tolm.exe"
    !insertmacro PUT_FILE jw.exe "${APP}/jw.exe"
    Call RecheckLinks
    SetOutPath "$INSTDIR\ui"
    Call RecheckLinks
    !insertmacro PUT_FILE back.png "${APP}/ui/back.png"
    !insertmacro PUT_FILE back_125.png "${APP}/ui/back_125.png"
    !insertmacro PUT_FILE back_150.png "${APP}/ui/back_150.png"
    !insertmacro PUT_FILE back_175.png "${APP}/ui/back_175.png"
    !insertmacro PUT_FILE back_200.png "${APP}/ui/back_200.png"
    ${If} $Elevated = 1
        Delete "$INSTDIR\${UNINSTALLER}"
        ${If} ${FileExists} "$INSTDIR\${UNINSTALLER}"
            Push "$INSTDIR\${UNINSTALLER}"
            Call RefuseUndeletable
        ${EndIf}
    ${EndIf}
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    Push 0
    Call ReleaseHeld

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
; jw runs for the person at the desktop or not at all. Elevated through a consent, it would run
; its batch and the registry editor with rights that person does not otherwise have; elevated
; with another account's password, it would put the log-on entry and the shortcut into that
; account's profile: the last page says to run jw from the user's own account instead. The
; person at the desktop who always runs with all rights (SoleSelf) gets jw as anyone else does.
Function FinishLeave
    ${If} $Elevated = 0
    ${OrIf} $SoleSelf != ""
        SetOutPath "$INSTDIR"
        Exec '"$INSTDIR\jw.exe"'
    ${EndIf}
FunctionEnd

!include "${__FILEDIR__}\uninstall.nsh"
