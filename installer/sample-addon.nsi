; An example installer for a scenery add-on: it copies the add-on's scenery
; folder into the simulator folder that the user picks, copies scenreg.exe
; and scconf.txt there, and starts scenreg.exe in that folder, so that it
; enters the add-on in the scenery library.
;
; makensis -DPROGRAM=<scenreg.exe> [-DOUTFILE=<setup.exe>] [-DAMD64] sample-addon.nsi
;   PROGRAM  the scenreg.exe to ship (the 32-bit build)
;   AMD64    build a 64-bit installer, for machines that run no 32-bit
;            programs (with the 64-bit scenreg.exe)
;
; Silent install: setup.exe /S /D=<simulator folder>

Unicode true
!ifdef AMD64
  Target amd64-unicode
!endif
!ifndef PROGRAM
  !error "PROGRAM must name the scenreg.exe to ship: makensis -DPROGRAM=..."
!endif
!ifndef OUTFILE
  !define OUTFILE "sample-addon-setup.exe"
!endif

Name "Sample Field"
OutFile "${OUTFILE}"
; Windows gives the simulator, a legacy program, a per-user copy of files it
; writes under Program Files. Without elevation, scenreg.exe sees the same
; scenery.cfg as the simulator.
RequestExecutionLevel user
InstallDir "C:\FS2004"
DirText "Choose the FS2004 folder: the one that holds scenery.cfg and fs9.exe."
ShowInstDetails show

Page directory
Page instfiles

Section "Sample Field"
  SetOutPath "$INSTDIR\Addon Scenery\Sample"
  File "addon\Addon Scenery\Sample\README.txt"

  ; scenreg.exe reads scconf.txt and scenery.cfg from its working directory,
  ; which SetOutPath makes the simulator folder.
  SetOutPath "$INSTDIR"
  File "/oname=scenreg.exe" "${PROGRAM}"
  File "addon\scconf.txt"
  DetailPrint "Entering Sample Field in the scenery library"
  ExecWait '"$INSTDIR\scenreg.exe"' $0
  DetailPrint "scenreg.exe ended with status $0"
  IntCmp $0 0 registered
    SetErrorLevel 2
    MessageBox MB_ICONEXCLAMATION|MB_OK "Sample Field could not be entered in the scenery library \
      (status $0). Add the folder Addon Scenery\Sample through the simulator's scenery library." /SD IDOK
  registered:
SectionEnd
