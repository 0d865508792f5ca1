; Setup program of Brisquel Lite, a per-machine installation of both property sheet DLLs.
; Built by scripts/make-installer.sh:
;   makensis -DX64_DIR=build/installer/stage/x64 -DX86_DIR=build/installer/stage/x86 -DOUT_DIR=build/installer installer/BQLite.nsi
;   (the stage holds the built images without their DWARF sections)
;
; Installs into $PROGRAMFILES64\Brisquel Lite (or /D=folder): the x64 BQLite.dll, bqlite.exe,
; Extensions.ini, readme.txt, Uninstall.exe; into x86\: the x86 BQLite.dll with its own
; Extensions.ini. Registers the x64 DLL with System32\regsvr32.exe and the x86 DLL with
; SysWOW64\regsvr32.exe.
;
; Exit codes (/S for a silent run; its messages go to standard error):
;   0     installed (or removed)
;   3010  installed (or removed); a file in use is replaced (or deleted) when Windows restarts
;   2     failed; the message says which step

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh

!ifndef X64_DIR | X86_DIR | OUT_DIR
  !error "define X64_DIR, X86_DIR and OUT_DIR (see scripts/make-installer.sh)"
!endif

; The version is the one in the DLL's own version resource; both DLLs must carry the same.
!getdllversion "${X64_DIR}/BQLite.dll" BQ_X64_
!getdllversion "${X86_DIR}/BQLite.dll" BQ_X86_
!define VERSION "${BQ_X64_1}.${BQ_X64_2}.${BQ_X64_3}"
!if "${BQ_X86_1}.${BQ_X86_2}.${BQ_X86_3}" != "${VERSION}"
  !error "the x86 BQLite.dll is ${BQ_X86_1}.${BQ_X86_2}.${BQ_X86_3}, the x64 one ${VERSION}: build both presets"
!endif

!define PRODUCT "Brisquel Lite"
!define PUBLISHER "Marrowgate"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brisquel Lite"
; What the DLLs' DllRegisterServer writes below HKEY_CLASSES_ROOT (src/win32/bqLiteGuids.h,
; bqLiteRegistration.cpp). The uninstaller removes it itself when a DLL could not.
!define CLSID "{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A61}"
!define LIBID "{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A60}"
!define IID "{6E1A4F2B-93C7-4D8E-A5B2-1F0C7D3E8A62}"
!define PROGID "BQLite.BrisquelPropSheet"
!define HANDLER_KEY "*\shellex\PropertySheetHandlers\BrisquelPropSheet"
!define EXIT_FAILED 2
!define EXIT_RESTART 3010

Name "${PRODUCT} ${VERSION}"
OutFile "${OUT_DIR}/BQLite-${VERSION}-setup.exe"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINST_KEY}" InstallLocation
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey FileDescription "${PRODUCT} setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey LegalCopyright "${PUBLISHER}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var Wow64     ; 1 when this Windows runs 32-bit programs
Var Failure   ; the message of the step that failed

; ---- Shared by the installer and the uninstaller ("un." prefixed there).
!macro BQ_FUNCTIONS un
; Writes the line on the stack to the standard error of whoever started a silent run: the
; inherited handle, else the console of the parent process.
Function ${un}WriteStdErr
  Exch $0
  Push $1
  Push $2
  System::Call 'kernel32::GetStdHandle(i -12) p.r1'
  ${If} $1 P= 0
  ${OrIf} $1 P= -1
    System::Call 'kernel32::AttachConsole(i -1) i.r2'
    ${If} $2 <> 0
      System::Call 'kernel32::CreateFileW(w "CONOUT$$", i 0x40000000, i 3, p 0, i 3, i 0, p 0) p.r1'
    ${EndIf}
  ${EndIf}
  ${If} $1 P<> 0
  ${AndIf} $1 P<> -1
    StrCpy $0 "$0$\r$\n"
    System::Call 'kernel32::lstrlenA(m r0) i.r2'
    System::Call 'kernel32::WriteFile(p r1, m r0, i r2, *i 0, p 0)'
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Ends the run with the message in $Failure: shown (or written to standard error when silent),
; exit code 2.
Function ${un}Fail
  DetailPrint "$Failure"
  ${If} ${Silent}
    Push "${PRODUCT}: $Failure"
    Call ${un}WriteStdErr
  ${Else}
    MessageBox MB_OK|MB_ICONSTOP "$Failure"
  ${EndIf}
  SetErrorLevel ${EXIT_FAILED}
  Quit
FunctionEnd

; Every step needs administrator rights and the 64-bit registry and folders.
Function ${un}Prepare
  SetRegView 64
  SetShellVarContext all
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    StrCpy $Failure "${PRODUCT} is installed for every user of this computer: run the setup as an administrator."
    Call ${un}Fail
  ${EndIf}
  ; 32-bit programs (and with them the 32-bit regsvr32) run only where Windows has its 32-bit
  ; subsystem; without it no program can load the x86 DLL, so it is not registered.
  StrCpy $Wow64 0
  ${If} ${FileExists} "$WINDIR\SysWOW64\ntdll.dll"
    StrCpy $Wow64 1
  ${EndIf}
FunctionEnd

; Runs "REGSVR32 ARGS" (on the stack: tool, then arguments) and waits; $0 = its exit code, or
; "" when it could not be started.
Function ${un}RunRegsvr32
  Exch $1  ; arguments
  Exch
  Exch $2  ; tool
  ClearErrors
  ExecWait '"$2" $1' $0
  ${If} ${Errors}
    StrCpy $0 ""
  ${EndIf}
  DetailPrint '"$2" $1: exit code $0'
  Pop $2
  Pop $1
FunctionEnd
!macroend
!insertmacro BQ_FUNCTIONS ""
!insertmacro BQ_FUNCTIONS "un."

; ---- Installation.
Var InUse  ; files that are replaced at the next restart

; $0 = the folder given with /D= (the rest of the command line), or "".
Function FolderFromCommandLine
  System::Call 'kernel32::GetCommandLineW() w.r1'
  StrLen $2 $1
  StrCpy $3 0
  StrCpy $0 ""
  ${DoWhile} $3 < $2
    StrCpy $4 $1 4 $3
    ${If} $4 S== " /D="
      IntOp $3 $3 + 4
      StrCpy $0 $1 "" $3
      ${Break}
    ${EndIf}
    IntOp $3 $3 + 1
  ${Loop}
  StrCpy $1 $0 1 -1
  ${If} $1 == "\"
    StrCpy $0 $0 -1
  ${EndIf}
FunctionEnd

Function .onInit
  Call Prepare
  ; A /D= folder that NSIS cannot use (a file stands there, not a full path) is replaced by the
  ; default folder without a word; install nowhere instead.
  Call FolderFromCommandLine
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
    StrCpy $Failure "Setup cannot install into $0: it is not a full folder path, or a file of that name is in the way. Nothing was installed."
    Call Fail
  ${EndIf}
FunctionEnd

; Moves $OUTDIR\NAME.new (NAME on the stack) over $OUTDIR\NAME. A file that is in use (Explorer
; keeps the DLL loaded) is replaced when Windows restarts.
Function PlaceStaged
  Exch $0
  ClearErrors
  Delete "$OUTDIR\$0"
  Rename "$OUTDIR\$0.new" "$OUTDIR\$0"
  ${If} ${Errors}
    ClearErrors
    Rename /REBOOTOK "$OUTDIR\$0.new" "$OUTDIR\$0"
    ${If} ${Errors}
      StrCpy $Failure "Setup cannot replace $OUTDIR\$0. Close the programs that use it and run the setup again."
      Call Fail
    ${EndIf}
    DetailPrint "$OUTDIR\$0 is in use: it is replaced when Windows restarts."
    StrCpy $InUse "$InUse$\r$\n$OUTDIR\$0"
  ${EndIf}
  Pop $0
FunctionEnd

!macro BQ_PLACE SOURCE NAME
  ClearErrors
  File "/oname=${NAME}.new" "${SOURCE}"
  ${If} ${Errors}
    StrCpy $Failure "Setup cannot write $OUTDIR\${NAME}.new."
    Call Fail
  ${EndIf}
  Push "${NAME}"
  Call PlaceStaged
!macroend

; Registers DLL (on the stack) with REGSVR32 (below it); a failure ends the installation.
!macro BQ_REGISTER REGSVR32 DLL
  Push "${REGSVR32}"
  Push '/s "${DLL}"'
  Call RunRegsvr32
  ${If} $0 == ""
    StrCpy $Failure "Setup cannot start ${REGSVR32} to register ${DLL}. The installation is incomplete: run the setup again, or remove it with Uninstall.exe."
    Call Fail
  ${ElseIf} $0 <> 0
    StrCpy $Failure "${REGSVR32} could not register ${DLL} (exit code $0). The installation is incomplete: run the setup again, or remove it with Uninstall.exe."
    Call Fail
  ${EndIf}
!macroend

Section "${PRODUCT}" SecMain
  SectionIn RO
  ; A file where the folder should be, a drive that is not there, no rights: stop before
  ; anything is written or registered.
  CreateDirectory "$INSTDIR\x86"
  ${IfNot} ${FileExists} "$INSTDIR\x86\*.*"
    StrCpy $Failure "Setup cannot create the folder $INSTDIR\x86. Nothing was installed."
    Call Fail
  ${EndIf}

  SetOutPath "$INSTDIR"
  !insertmacro BQ_PLACE "${X64_DIR}/BQLite.dll" BQLite.dll
  !insertmacro BQ_PLACE "${X64_DIR}/Extensions.ini" Extensions.ini
  !insertmacro BQ_PLACE "${X64_DIR}/bqlite.exe" bqlite.exe
  !insertmacro BQ_PLACE "readme.txt" readme.txt
  SetOutPath "$INSTDIR\x86"
  !insertmacro BQ_PLACE "${X86_DIR}/BQLite.dll" BQLite.dll
  !insertmacro BQ_PLACE "${X86_DIR}/Extensions.ini" Extensions.ini
  SetOutPath "$INSTDIR"

  ; The uninstaller and its entry come before registration, so that a failed registration
  ; leaves an installation that can be removed.
  ClearErrors
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINST_KEY}" DisplayName "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" Publisher "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" DisplayIcon "$INSTDIR\BQLite.dll,0"
  WriteRegStr HKLM "${UNINST_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" UninstallString '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /S'
  SectionGetSize ${SecMain} $0
  WriteRegDWORD HKLM "${UNINST_KEY}" EstimatedSize $0
  WriteRegDWORD HKLM "${UNINST_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINST_KEY}" NoRepair 1
  ${If} ${Errors}
    StrCpy $Failure "Setup cannot write $INSTDIR\Uninstall.exe or its entry under HKLM\${UNINST_KEY}."
    Call Fail
  ${EndIf}

  !insertmacro BQ_REGISTER "$SYSDIR\regsvr32.exe" "$INSTDIR\BQLite.dll"
  ${If} $Wow64 = 1
    !insertmacro BQ_REGISTER "$WINDIR\SysWOW64\regsvr32.exe" "$INSTDIR\x86\BQLite.dll"
  ${Else}
    DetailPrint "This Windows runs no 32-bit programs: $INSTDIR\x86\BQLite.dll is not registered."
  ${EndIf}
SectionEnd

Function .onInstSuccess
  ${If} $InUse != ""
    StrCpy $0 "${PRODUCT} ${VERSION} is installed. Files in use are replaced when Windows restarts:$InUse"
    SetErrorLevel ${EXIT_RESTART}
    ${If} ${Silent}
      Push "${PRODUCT}: $0"
      Call WriteStdErr
    ${Else}
      MessageBox MB_YESNO|MB_ICONINFORMATION "$0$\r$\n$\r$\nRestart Windows now?" IDNO +2
      Reboot
    ${EndIf}
  ${EndIf}
FunctionEnd

; ---- Removal.
Function un.onInit
  Call un.Prepare
FunctionEnd

; Unregisters DLL with REGSVR32 when the file is there; a failure is made good by
; un.RemoveKeys, which follows.
!macro BQ_UNREGISTER REGSVR32 DLL
  ${If} ${FileExists} "${DLL}"
    Push "${REGSVR32}"
    Push '/u /s "${DLL}"'
    Call un.RunRegsvr32
  ${EndIf}
!macroend

; Removes whatever registration of the server is left in the current registry view.
Function un.RemoveKeys
  DeleteRegKey HKLM "Software\Classes\CLSID\${CLSID}"
  DeleteRegKey HKLM "Software\Classes\${PROGID}"
  DeleteRegKey HKLM "Software\Classes\${HANDLER_KEY}"
  DeleteRegKey HKLM "Software\Classes\TypeLib\${LIBID}"
  DeleteRegKey HKLM "Software\Classes\Interface\${IID}"
FunctionEnd

!macro BQ_REMOVE FILE
  Delete /REBOOTOK "${FILE}"
!macroend

Section "Uninstall"
  !insertmacro BQ_UNREGISTER "$SYSDIR\regsvr32.exe" "$INSTDIR\BQLite.dll"
  ${If} $Wow64 = 1
    !insertmacro BQ_UNREGISTER "$WINDIR\SysWOW64\regsvr32.exe" "$INSTDIR\x86\BQLite.dll"
  ${EndIf}
  SetRegView 32
  Call un.RemoveKeys
  SetRegView 64
  Call un.RemoveKeys
  ClearErrors
  EnumRegKey $0 HKCR "CLSID\${CLSID}" 0
  ${IfNot} ${Errors}
    StrCpy $Failure "Uninstall cannot remove the registration of ${PRODUCT} (HKCR\CLSID\${CLSID}); run it as an administrator."
    Call un.Fail
  ${EndIf}
  ClearErrors
  EnumRegKey $0 HKCR "${HANDLER_KEY}" 0
  ${IfNot} ${Errors}
    StrCpy $Failure "Uninstall cannot remove HKCR\${HANDLER_KEY}; run it as an administrator."
    Call un.Fail
  ${EndIf}

  ; Only the files setup installed; a file in use goes at the next restart.
  !insertmacro BQ_REMOVE "$INSTDIR\BQLite.dll"
  !insertmacro BQ_REMOVE "$INSTDIR\BQLite.dll.new"
  !insertmacro BQ_REMOVE "$INSTDIR\Extensions.ini"
  !insertmacro BQ_REMOVE "$INSTDIR\bqlite.exe"
  !insertmacro BQ_REMOVE "$INSTDIR\readme.txt"
  !insertmacro BQ_REMOVE "$INSTDIR\x86\BQLite.dll"
  !insertmacro BQ_REMOVE "$INSTDIR\x86\BQLite.dll.new"
  !insertmacro BQ_REMOVE "$INSTDIR\x86\Extensions.ini"
  RMDir /REBOOTOK "$INSTDIR\x86"
  DeleteRegKey HKLM "${UNINST_KEY}"

  ; Run in place (_?=folder) the uninstaller cannot delete itself: it and the then empty folder
  ; go at the next restart, which the product does not need, so that alone is no restart.
  StrCpy $1 0
  IfRebootFlag 0 +2
    StrCpy $1 1
  Delete /REBOOTOK "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  SetRebootFlag false
  ${If} $1 = 1
    SetRebootFlag true
  ${EndIf}
SectionEnd

Function un.onUninstSuccess
  IfRebootFlag 0 done
    SetErrorLevel ${EXIT_RESTART}
    ${If} ${Silent}
      Push "${PRODUCT}: removed. Files in use are deleted when Windows restarts."
      Call un.WriteStdErr
    ${Else}
      MessageBox MB_YESNO|MB_ICONINFORMATION "${PRODUCT} is removed. Files in use are deleted when Windows restarts.$\r$\n$\r$\nRestart Windows now?" IDNO done
      Reboot
    ${EndIf}
  done:
FunctionEnd
