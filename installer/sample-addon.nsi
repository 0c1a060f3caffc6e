; An example installer for a scenery add-on: it copies the add-on's scenery
; folder into the simulator folder that the user picks, copies scenreg.exe
; and scconf.txt there, and starts scenreg.exe in that folder, so that it
; enters the add-on in the scenery library. Its uninstaller takes the add-on
; out again with scenunreg.exe, then deletes the add-on's files.
;
; makensis -DPROGRAM=<scenreg.exe> -DREMOVER=<scenunreg.exe> -DVERSION=<version>
;          [-DOUTFILE=<setup.exe>] [-DAMD64] sample-addon.nsi
;   PROGRAM  the scenreg.exe to ship (the 32-bit build)
;   REMOVER  the scenunreg.exe of the same build
;   AMD64    build a 64-bit installer, for machines that run no 32-bit
;            programs (with the 64-bit programs)
;   VERSION  the programs' version, shown in "Programs and Features"
; Another add-on from the same script (the tests build a second one):
;   ADDON         its title, as in its scconf.txt (Sample Field)
;   ADDON_FOLDER  its folder under Addon Scenery (Sample)
;   ADDON_ID      a name of its own for its uninstaller (sample-field)
;   ADDON_KEY     the name of its uninstall entry (SampleField)
;   ADDON_FILES   the folder that holds its scconf.txt and its
;                 Addon Scenery\<ADDON_FOLDER> (addon, next to this script)
;
; The simulator folder proposed is the one the simulator's setup recorded
; (C:\FS2004 without one); only a folder that holds scenery.cfg is accepted.
; Silent install: setup.exe /S [/D=<simulator folder>]
; Status: 0 installed and entered; 2 installed, not entered; 3 not a
; simulator folder, nothing installed; 4 the simulator runs, nothing
; changed (also the uninstaller's).
; Silent uninstall, waiting for it to end:
;   "<simulator folder>\uninstall-sample-field.exe" /S _?=<simulator folder>

Unicode true
!include LogicLib.nsh
!ifdef AMD64
  Target amd64-unicode
!endif
!ifndef PROGRAM
  !error "PROGRAM must name the scenreg.exe to ship: makensis -DPROGRAM=..."
!endif
!ifndef REMOVER
  !error "REMOVER must name the scenunreg.exe to ship: makensis -DREMOVER=..."
!endif
!ifndef VERSION
  !error "VERSION must give the programs' version: makensis -DVERSION=..."
!endif
!ifndef OUTFILE
  !define OUTFILE "sample-addon-setup.exe"
!endif
!ifndef ADDON
  !define ADDON "Sample Field"
!endif
!ifndef ADDON_FOLDER
  !define ADDON_FOLDER "Sample"
!endif
!ifndef ADDON_ID
  !define ADDON_ID "sample-field"
!endif
!ifndef ADDON_KEY
  !define ADDON_KEY "SampleField"
!endif
!ifndef ADDON_FILES
  !define ADDON_FILES "addon"
!endif

Name "${ADDON}"
OutFile "${OUTFILE}"
; Windows gives the simulator, a legacy program, a per-user copy of files it
; writes under Program Files. Without elevation, scenreg.exe sees the same
; scenery.cfg as the simulator.
RequestExecutionLevel user
; No InstallDir: .onInit proposes the folder, and an empty $INSTDIR there
; means that no /D= was given.
DirText "Choose the FS2004 folder; only one holding scenery.cfg is accepted."
ShowInstDetails show
; The installer carries no file's time, so that one commit builds the same
; installer at any time; installed files get the time of the installation.
SetDateSave off

Page directory
Page instfiles
UninstPage instfiles

; The simulator's setup records its folder under this key, in the 32-bit
; view of the registry (the simulator is a 32-bit program).
!define SIMULATOR_KEY "SOFTWARE\Microsoft\Microsoft Games\Flight Simulator\9.0"

Function .onInit
  ${If} $INSTDIR == ""
    !ifdef AMD64
      SetRegView 32
    !endif
    ReadRegStr $0 HKLM "${SIMULATOR_KEY}" "EXE Path"
    !ifdef AMD64
      SetRegView default
    !endif
    ; The value ends in a backslash, which the directory page would show
    ; (only a use of $INSTDIR drops it); a drive's root keeps its own.
    ${DoWhile} $0 != ""
      StrCpy $1 $0 1 -1
      StrLen $2 $0
      ${If} $1 != "\"
      ${OrIf} $2 <= 3
        ${ExitDo}
      ${EndIf}
      StrCpy $0 $0 -1
    ${Loop}
    StrCpy $INSTDIR $0
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "C:\FS2004"
    ${EndIf}
  ${EndIf}
FunctionEnd

; The directory page's Install button stays off until the folder holds the
; library: in any other folder scenreg.exe would only say "Sorry", and leave
; an empty scenery.cfg behind.
Function .onVerifyInstDir
  ${IfNot} ${FileExists} "$INSTDIR\scenery.cfg"
    Abort
  ${EndIf}
FunctionEnd

; The simulator reads its library when it starts and writes it back from its
; scenery library dialog: a change made while it runs can be lost. While its
; main window is there, the user is asked to close it; Cancel, and a silent
; run, end with status 4 before anything changed.
!macro WAIT_FOR_SIMULATOR
  simulator_check:
  FindWindow $R0 "FS98MAIN"
  ${If} $R0 <> 0
    MessageBox MB_ICONEXCLAMATION|MB_RETRYCANCEL "The simulator is running. Close it, then choose \
      Retry: it would not see the change to its scenery library, and could undo it." \
      /SD IDCANCEL IDRETRY simulator_check
    DetailPrint "The simulator is running: nothing changed."
    SetErrorLevel 4
    Abort
  ${EndIf}
!macroend

; The uninstaller sits in the simulator folder, which other add-ons share:
; its name is this add-on's own.
!define UNINSTALLER "uninstall-${ADDON_ID}.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${ADDON_KEY}"

Section "${ADDON}"
  ; The directory page checked the folder; a silent install has none.
  ${IfNot} ${FileExists} "$INSTDIR\scenery.cfg"
    DetailPrint "$INSTDIR holds no scenery.cfg: nothing installed."
    SetErrorLevel 3
    Abort
  ${EndIf}
  !insertmacro WAIT_FOR_SIMULATOR

  SetOutPath "$INSTDIR\Addon Scenery\${ADDON_FOLDER}"
  File "${ADDON_FILES}\Addon Scenery\${ADDON_FOLDER}\README.txt"

  ; scenreg.exe reads scconf.txt and scenery.cfg from its working directory,
  ; which SetOutPath makes the simulator folder. A file not written, or a
  ; program not started, is a failure: $0 holds no status then.
  SetOutPath "$INSTDIR"
  StrCpy $0 -1
  StrCpy $1 ""
  ClearErrors
  File "/oname=scenreg.exe" "${PROGRAM}"
  File "${ADDON_FILES}\scconf.txt"
  ${IfNot} ${Errors}
    DetailPrint "Entering ${ADDON} in the scenery library"
    ExecWait '"$INSTDIR\scenreg.exe"' $0
    ${IfNot} ${Errors}
    ${AndIf} $0 = 0
      StrCpy $1 registered
    ${EndIf}
  ${EndIf}
  DetailPrint "scenreg.exe ended with status $0 (-1: not started)"
  ${If} $1 != registered
    SetErrorLevel 2
    MessageBox MB_ICONEXCLAMATION|MB_OK "${ADDON} could not be entered in the scenery library \
      (status $0). Add the folder Addon Scenery\${ADDON_FOLDER} through the simulator's scenery library." /SD IDOK
  ${EndIf}

  ; "Programs and Features", for this user.
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${ADDON}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller borrows two names in the simulator folder for the run:
; what the folder holds under NAME is copied aside first and put back after,
; and a file that was not there before is deleted again.
!macro SET_ASIDE NAME
  ${If} ${FileExists} "$INSTDIR\${NAME}"
    CopyFiles /SILENT "$INSTDIR\${NAME}" "$PLUGINSDIR\${NAME}"
  ${EndIf}
!macroend
!macro PUT_BACK NAME
  ${If} ${FileExists} "$PLUGINSDIR\${NAME}"
    CopyFiles /SILENT "$PLUGINSDIR\${NAME}" "$INSTDIR\${NAME}"
  ${ElseIf} $2 == unpacked
    Delete "$INSTDIR\${NAME}"
  ${EndIf}
!macroend

; The uninstaller deletes only what the installer put there, by name, and
; refuses when the add-on's folder is a link (a junction, say): anyone who
; may write the simulator folder could point one at another folder, and an
; uninstaller often runs elevated.
!define ADDON_DIR "$INSTDIR\Addon Scenery\${ADDON_FOLDER}"
!macro REFUSE_LINKED_FOLDER FOLDER
  System::Call 'kernel32::GetFileAttributesW(w "${FOLDER}") i .r3'
  ${If} $3 <> -1
    IntOp $3 $3 & 0x400 ; FILE_ATTRIBUTE_REPARSE_POINT
    ${If} $3 <> 0
      SetErrorLevel 2
      MessageBox MB_ICONEXCLAMATION|MB_OK "${FOLDER} is a link to another folder: nothing is \
        removed." /SD IDOK
      Abort
    ${EndIf}
  ${EndIf}
!macroend

Section "Uninstall"
  !insertmacro REFUSE_LINKED_FOLDER "$INSTDIR\Addon Scenery"
  !insertmacro REFUSE_LINKED_FOLDER "${ADDON_DIR}"
  !insertmacro WAIT_FOR_SIMULATOR
  ; scconf.txt and the programs in the simulator folder are shared with any
  ; other add-on installed the same way, and the last installer's are there;
  ; other add-ons' uninstallers may rely on them. So this uninstaller brings
  ; its own scconf.txt and scenunreg.exe, so that scenunreg.exe removes this
  ; add-on, and leaves the folder's as it found them. scenreg.exe stays.
  SetOutPath "$INSTDIR"
  InitPluginsDir
  StrCpy $0 -1
  StrCpy $1 ""
  StrCpy $2 ""
  ClearErrors
  !insertmacro SET_ASIDE scenunreg.exe
  !insertmacro SET_ASIDE scconf.txt
  ; Whatever could not be set aside, written or started leaves the library
  ; as it is: only a status 0 of the remover lets the files go.
  ${IfNot} ${Errors}
    StrCpy $2 unpacked
    File "/oname=scenunreg.exe" "${REMOVER}"
    File "${ADDON_FILES}\scconf.txt"
    ${IfNot} ${Errors}
      DetailPrint "Taking ${ADDON} out of the scenery library"
      ExecWait '"$INSTDIR\scenunreg.exe"' $0
      ${IfNot} ${Errors}
      ${AndIf} $0 = 0
        StrCpy $1 removed
      ${EndIf}
    ${EndIf}
  ${EndIf}
  DetailPrint "scenunreg.exe ended with status $0 (-1: not started)"
  !insertmacro PUT_BACK scenunreg.exe
  !insertmacro PUT_BACK scconf.txt
  ${If} $1 != removed
    ; The library still names the add-on's folder: keep the files, and say so.
    SetErrorLevel 2
    MessageBox MB_ICONEXCLAMATION|MB_OK "${ADDON} could not be taken out of the scenery \
      library (status $0). Remove it through the simulator's scenery library, then run this \
      uninstaller again." /SD IDOK
    Abort
  ${EndIf}
  ; Each folder goes only when nothing else is left in it.
  Delete "${ADDON_DIR}\README.txt"
  RMDir "${ADDON_DIR}"
  RMDir "$INSTDIR\Addon Scenery"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  Delete "$INSTDIR\${UNINSTALLER}"
SectionEnd
