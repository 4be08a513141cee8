; Holvenstead's installer and uninstaller (NSIS, 64-bit).
;   makensis -DEXE=<stripped Holvenstead.exe> -DOUTFILE=<setup.exe> [-DPROJECT_VERSION=x.y.z.w]
;            installer/Holvenstead.nsi
; scripts/make-installer.sh builds the program and calls this. The version
; comes from the program's own version block, so the package cannot claim a
; version the program does not carry.
;
; Silent: "setup.exe /S" installs, "Uninstall.exe /S" removes. Only the files
; and keys written here go again; the VM folder (by default the program's own
; folder, Holvenstead.vmx beside the program) is the user's and stays.

; A 64-bit installer for a 64-bit program: "Program Files" and the registry
; are then the program's own, without the 32-bit redirections.
Unicode true
Target amd64-unicode
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!ifndef EXE | OUTFILE
  !error "makensis -DEXE=path\to\Holvenstead.exe -DOUTFILE=setup.exe Holvenstead.nsi"
!endif
!getdllversion "${EXE}" HOLV_V
!define VERSION "${HOLV_V1}.${HOLV_V2}.${HOLV_V3}.${HOLV_V4}"
!ifdef PROJECT_VERSION
  !if "${VERSION}" != "${PROJECT_VERSION}"
    !error "the program's version block says ${VERSION}, the project ${PROJECT_VERSION}"
  !endif
!endif

!define NAME "Holvenstead"
!define PROGRAM "Holvenstead.exe"
!define UNINSTALLER "Uninstall.exe"
!define PRODUCT_KEY "Software\${NAME}"
!define JOURNAL_KEY "${PRODUCT_KEY}\Journal"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
; The program's event source in the Application log; the program carries
; its own message table.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\${NAME}"
; Every running instance's main window has this class and its configuration
; file's path as its title.
!define WINDOW_CLASS "RKHVTRAYICON"
; The install folder's permissions, set rather than inherited, whatever the
; folder: a folder of the user's choice (C:\Holvenstead inherits
; "Authenticated Users: Modify") would let any user replace the elevated
; program or put a library beside it that it loads. Administrators own it,
; they and SYSTEM have full control, Users read and execute; the files below
; inherit just that.
!define INSTALL_DIR_SDDL "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
; An upgrade goes where the last installation went, beside the user's VM.
InstallDirRegKey HKLM "${PRODUCT_KEY}" "InstallDir"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${NAME} ${VERSION} Setup"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Stops every running instance and the service's process, so that the
; program file is free and no route or DNS suffix stays behind: each
; instance, told "-stop -exit", shuts the appliance down, removes its routes,
; restores the search list and ends (the hand-over waits up to 60 s).
!macro DEFINE_STOP_EVERYTHING un
Function ${un}StopEverything
  IfFileExists "$INSTDIR\${PROGRAM}" 0 done
  ; $R9: a window still there after its stop; the search goes on after it
  ; (until it goes too), so one stuck instance cannot hold up the others.
  StrCpy $R9 0
  StrCpy $R8 0
next:
  IntOp $R8 $R8 + 1
  IntCmp $R8 32 0 0 done
  IsWindow $R9 +2
  StrCpy $R9 0
  FindWindow $R7 "${WINDOW_CLASS}" "" 0 $R9
  IntCmp $R7 0 done
  System::Call 'user32::GetWindowText(p R7, t .R6, i ${NSIS_MAX_STRLEN}) i'
  ; Only a title that names an existing file: the program answers anything
  ; else with a message box, which would hold up a silent run for good.
  System::Call 'kernel32::GetFileAttributes(t R6) i .R5'
  IntCmp $R5 -1 skip
  IntOp $R5 $R5 & 0x10
  IntCmp $R5 0 0 skip skip
  DetailPrint "Stopping the instance for $R6"
  ; Quoted: the program takes a quoted path whole, so a title that begins
  ; with "-" cannot be read as verbs of this elevated command. A title
  ; holding a quote names no file and never gets here.
  ExecWait '"$INSTDIR\${PROGRAM}" -stop -exit "$R6"'
  IsWindow $R7 0 next
skip:
  StrCpy $R9 $R7
  Goto next
done:
  ; The service's process ends with its instance. One whose instance had
  ; handed over to another (and so is still reported running) is stopped
  ; through the service manager, which waits for it.
  nsExec::Exec '"$SYSDIR\net.exe" stop ${NAME}'
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_STOP_EVERYTHING ""
!insertmacro DEFINE_STOP_EVERYTHING "un."

; Puts INSTALL_DIR_SDDL on $INSTDIR (owner and protected access list, handed
; down to what the folder holds); aborts the installation when it cannot.
Function LockInstallDir
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${INSTALL_DIR_SDDL}", i 1, *p .r1, p 0) i .r0'
  IntCmp $0 0 failed
  System::Call 'advapi32::GetSecurityDescriptorOwner(p r1, *p .r2, *i .r4) i .r0'
  System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r4, *p .r3, *i .r4) i .r0'
  ; SE_FILE_OBJECT 1; OWNER 0x1 | DACL 0x4 | PROTECTED_DACL 0x80000000.
  System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i 1, i 0x80000005, p r2, p 0, p r3, p 0) i .r0'
  System::Call 'kernel32::LocalFree(p r1)'
  IntCmp $0 0 done
failed:
  DetailPrint "The permissions of $INSTDIR could not be set (error $0)."
  Abort "The permissions of $INSTDIR could not be set; nothing was installed."
done:
FunctionEnd

; Says in the log every journal entry "-cleanup" could not undo (a running
; instance's, or one it failed to undo) and removes only the sections it
; emptied: the next start of an installed program still finds the rest.
Function un.KeepUndoneJournal
  StrCpy $R1 0
section:
  EnumRegKey $R2 HKLM "${JOURNAL_KEY}" $R1
  StrCmp $R2 "" done
  StrCpy $R3 0
entry:
  EnumRegValue $R4 HKLM "${JOURNAL_KEY}\$R2" $R3
  StrCmp $R4 "" sectionEnd
  ReadRegStr $R5 HKLM "${JOURNAL_KEY}\$R2" $R4
  DetailPrint "Not undone ($R2): $R4 $R5"
  IntOp $R3 $R3 + 1
  Goto entry
sectionEnd:
  DeleteRegKey /ifempty HKLM "${JOURNAL_KEY}\$R2"
  ; The next section moves to this index when this one went.
  EnumRegKey $R4 HKLM "${JOURNAL_KEY}" $R1
  StrCmp $R4 $R2 0 section
  IntOp $R1 $R1 + 1
  Goto section
done:
  DeleteRegKey /ifempty HKLM "${JOURNAL_KEY}"
FunctionEnd

; The product key without the journal: its values and other subkeys go.
Function un.DeleteProductKeyButJournal
  StrCpy $R1 0
subkey:
  EnumRegKey $R2 HKLM "${PRODUCT_KEY}" $R1
  StrCmp $R2 "" values
  StrCmp $R2 "Journal" 0 +3
  IntOp $R1 $R1 + 1
  Goto subkey
  DeleteRegKey HKLM "${PRODUCT_KEY}\$R2"
  Goto subkey
values:
  EnumRegValue $R2 HKLM "${PRODUCT_KEY}" 0
  StrCmp $R2 "" done
  DeleteRegValue HKLM "${PRODUCT_KEY}" $R2
  Goto values
done:
FunctionEnd

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Holvenstead"
  ; A running program file cannot be replaced. The service stays installed
  ; and starts again with the PC; the VM file and its settings are not ours
  ; to touch.
  Call StopEverything
  SetOutPath "$INSTDIR"
  Call LockInstallDir
  File "/oname=${PROGRAM}" "${EXE}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\${PROGRAM}" "-start" "$INSTDIR\${PROGRAM}" 0

  WriteRegStr HKLM "${PRODUCT_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${HOLV_V1}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${HOLV_V2}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\${PROGRAM}"
  ; Errors, warnings and information.
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
SectionEnd

Section "Uninstall"
  Call un.StopEverything

  ; The service goes with the program. Its removal needs a readable file as
  ; the program's path argument, and the program itself always is one; with
  ; "-remove" and no "-start" the program removes the service and ends.
  IfFileExists "$INSTDIR\${PROGRAM}" 0 +2
  ExecWait '"$INSTDIR\${PROGRAM}" -remove "$INSTDIR\${PROGRAM}"'

  ; What a run that did not end cleanly (killed, crashed, power lost) left
  ; on the host is in the program's journal (under the product key):
  ; "-cleanup" deletes its routes that are still in the table as noted, puts
  ; the search list and the driver-signing policy back, and ends without a
  ; VM file, an instance or a window. What it kept stays noted.
  IfFileExists "$INSTDIR\${PROGRAM}" 0 +2
  ExecWait '"$INSTDIR\${PROGRAM}" -cleanup'

  SetShellVarContext all
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$INSTDIR\${PROGRAM}"
  Call un.DeleteProductKeyButJournal
  Call un.KeepUndoneJournal
  DeleteRegKey /ifempty HKLM "${PRODUCT_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The events already written stay in the log; without the program their
  ; texts could not be shown anyway.
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
  ; Last: its absence tells a caller of the silent uninstaller (which runs on
  ; from a copy of itself) that everything before it is done.
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: the user's VM folder stays.
  RMDir "$INSTDIR"
SectionEnd
