; The LK58 installer: lk58.exe, tq36ctl.exe and what they need, for the
; current user or for every user of the machine, with a Start-menu shortcut,
; tq36ctl on the PATH and an uninstaller under Add/Remove Programs.
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
${Using:StrFunc} StrStr
${Using:StrFunc} UnStrRep

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
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Czech"
!insertmacro MUI_LANGUAGE "English"

; The PATH that a console of this install mode reads.
Var EnvRoot
Var EnvKey
!macro LK58_ENV_KEY
    ${If} $MultiUser.InstallMode == "AllUsers"
        StrCpy $EnvRoot "HKLM"
        StrCpy $EnvKey "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
    ${Else}
        StrCpy $EnvRoot "HKCU"
        StrCpy $EnvKey "Environment"
    ${EndIf}
!macroend

Function .onInit
    !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "LK58"
    SetOutPath "$INSTDIR"
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

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

    ; tq36ctl from any console: the install folder joins this mode's PATH once.
    !insertmacro LK58_ENV_KEY
    ${If} $EnvRoot == "HKLM"
        ReadRegStr $0 HKLM $EnvKey "Path"
    ${Else}
        ReadRegStr $0 HKCU $EnvKey "Path"
    ${EndIf}
    ${StrStr} $1 ";$0;" ";$INSTDIR;"
    ${If} $1 == ""
        ${If} $0 == ""
            StrCpy $0 "$INSTDIR"
        ${Else}
            StrCpy $0 "$0;$INSTDIR"
        ${EndIf}
        ${If} $EnvRoot == "HKLM"
            WriteRegExpandStr HKLM $EnvKey "Path" $0
        ${Else}
            WriteRegExpandStr HKCU $EnvKey "Path" $0
        ${EndIf}
        SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
    ${EndIf}
SectionEnd

Section "Uninstall"
    !include "${UNFILES}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${TITLE}.lnk"

    !insertmacro LK58_ENV_KEY
    ${If} $EnvRoot == "HKLM"
        ReadRegStr $0 HKLM $EnvKey "Path"
    ${Else}
        ReadRegStr $0 HKCU $EnvKey "Path"
    ${EndIf}
    ; Remove our folder wherever it stands in the list, and nothing else.
    ${UnStrRep} $0 ";$0;" ";$INSTDIR;" ";"
    StrCpy $1 $0 1 -1
    ${If} $1 == ";"
        StrCpy $0 $0 -1
    ${EndIf}
    StrCpy $1 $0 1
    ${If} $1 == ";"
        StrCpy $0 $0 "" 1
    ${EndIf}
    ${If} $EnvRoot == "HKLM"
        WriteRegExpandStr HKLM $EnvKey "Path" $0
    ${ElseIf} $0 == ""
        DeleteRegValue HKCU $EnvKey "Path"
    ${Else}
        WriteRegExpandStr HKCU $EnvKey "Path" $0
    ${EndIf}
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000

    DeleteRegKey SHCTX "${UNINSTKEY}"
    DeleteRegKey SHCTX "${APPKEY}"
    DeleteRegKey /IfEmpty SHCTX "Software\TAVRIN"
SectionEnd
