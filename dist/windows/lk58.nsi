; The LK58 installer: lk58.exe, tq36ctl.exe and what they need, for the
; current user or for every user of the machine, with a Start-menu shortcut,
; tq36ctl on the PATH (edited by lk58-path.exe, installed with them) and an
; uninstaller under Add/Remove Programs.
; makensis -DVERSION=x.y.z.w -DSTAGE=<folder of the zip> -DFILES=<files.nsh>
;          -DUNFILES=<unfiles.nsh> -DICON=<lk58.ico> -DOUTFILE=<setup.exe> lk58.nsi
; Silent: setup.exe /S [/CurrentUser | /AllUsers] [/D=folder]

; A 64-bit installer for 64-bit programs: native registry view and Program Files.
Target amd64-unicode
SetCompressor /SOLID lzma

!define TITLE "LK58 - TAVRIN"
!define PUBLISHER "TAVRIN"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\LK58"
!define APPKEY "Software\TAVRIN\LK58"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "LK58"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${APPKEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallDir"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${APPKEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallDir"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include WinMessages.nsh
!include FileFunc.nsh

Name "${TITLE}"
OutFile "${OUTFILE}"
BrandingText "${TITLE} ${VERSION}"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\lk58.exe"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${TITLE}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${TITLE} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "© 2026 ${PUBLISHER}"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; After an install for every user the installer runs as administrator, and
; so would LK58 started from the finish page: Run is offered for a per-user
; install only.
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Czech"
!insertmacro MUI_LANGUAGE "English"

; tq36ctl from any console: the install folder joins the PATH of this install
; mode (the machine's or the user's) once, and leaves it on uninstall.
; lk58-path.exe edits the value whole: makensis' strings hold 1,024
; characters, and a longer PATH read through them comes back empty. When it
; fails, the PATH is left as it was and the user is told.
LangString PathLeft ${LANG_CZECH} "Proměnná PATH zůstala beze změny (podrobnosti v záznamu instalace); tq36ctl spouštějte ze složky $INSTDIR."
LangString PathLeft ${LANG_ENGLISH} "The PATH was left as it was (the installer's details say why); run tq36ctl from $INSTDIR."
!macro LK58_PATH ACTION
    ${If} $MultiUser.InstallMode == "AllUsers"
        StrCpy $1 "HKLM"
    ${Else}
        StrCpy $1 "HKCU"
    ${EndIf}
    nsExec::ExecToLog '"$INSTDIR\lk58-path.exe" ${ACTION} $1 "$INSTDIR"'
    Pop $0
    ${If} $0 != 0
        DetailPrint "lk58-path ${ACTION} $1: $0"
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(PathLeft)" /SD IDOK
    ${EndIf}
!macroend

Function .onInit
    !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

Function FinishShow
    ${If} $MultiUser.InstallMode == "AllUsers"
        SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
        ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ${EndIf}
FunctionEnd

Section "LK58"
    SetOutPath "$INSTDIR"
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The file list leaves the output folder at its last subfolder; the
    ; shortcut starts LK58 in the folder it is in.
    SetOutPath "$INSTDIR"
    CreateShortcut "$SMPROGRAMS\${TITLE}.lnk" "$INSTDIR\lk58.exe"

    WriteRegStr SHCTX "${APPKEY}" "InstallDir" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTKEY}" "DisplayName" "${TITLE}"
    WriteRegStr SHCTX "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTKEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\lk58.exe"
    WriteRegStr SHCTX "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
    WriteRegStr SHCTX "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
    WriteRegDWORD SHCTX "${UNINSTKEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTKEY}" "NoRepair" 1
    ; Add/Remove Programs shows the size of the installed files, in KiB.
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD SHCTX "${UNINSTKEY}" "EstimatedSize" $0

    !insertmacro LK58_PATH add
SectionEnd

Section "Uninstall"
    ; Before the files go: lk58-path.exe is one of them.
    !insertmacro LK58_PATH remove

    !include "${UNFILES}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${TITLE}.lnk"

    DeleteRegKey SHCTX "${UNINSTKEY}"
    DeleteRegKey SHCTX "${APPKEY}"
    DeleteRegKey /IfEmpty SHCTX "Software\TAVRIN"
SectionEnd
