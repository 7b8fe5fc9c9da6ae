; The uninstaller: what the setup installed, what jw and the update download made here, and
; nothing else. A file of the user's keeps the folder. Included last by tolm.nsi.

Function un.onInit
    Call un.CheckElevated
FunctionEnd

; It judges the folders as the setup does before it deletes anything, and again, keeping them
; held until what is in them is deleted, after the Retry box: each is let go just before it is
; removed itself.
Section "Uninstall"
    SetDetailsPrint both
    StrCpy $Hold 0
    Call un.RefuseUnsafeTarget
    Call un.EndWidget
    Call un.EnsureReplaceable
    StrCpy $Hold 1
    Call un.RefuseUnsafeTarget

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
    Push $HeldUiAt
    Call un.ReleaseHeld
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
    Push $HeldDirAt
    Call un.ReleaseHeld
    RMDir "$INSTDIR"
    Push 0
    Call un.ReleaseHeld
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
