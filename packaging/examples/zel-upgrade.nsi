; Example upgrade installer for vendors: it carries mdiff.exe and zel.diff, upgrades zel.exe in the
; product folder with "mdiff -zelupdate", and fails itself when mdiff fails, leaving the run log
; update_log.txt in the product folder for the user to send to support.
;
; Build (NSIS 3; -NOCD takes relative paths from the current folder, not from this script's):
;   makensis -NOCD -DMDIFF_EXE=path/to/mdiff.exe -DZEL_DIFF=path/to/zel.diff zel-upgrade.nsi
; Defines:
;   MDIFF_EXE   mdiff.exe to carry (default: mdiff.exe)
;   ZEL_DIFF    the difference file, made with "mdiff -diff old\zel.exe new\zel.exe zel.diff"
;               (default: zel.diff)
;   OUTFILE     the installer to write (default: zel-upgrade.exe)
;   AMD64       makes a 64-bit installer (Target amd64-unicode) that installs under the 64-bit
;               Program Files; carry the 64-bit mdiff.exe with it. Without it the installer is a
;               32-bit program (Target x86-unicode), which runs on every Windows; carry either build.
; Silent use: zel-upgrade.exe /S /D=C:\Program Files\Zel
;   The exit status is 0 after an upgrade; after a failure it is mdiff's own code (-50, -51, -11,
;   ...), and the product folder holds zel.exe as it was and update_log.txt.

!ifndef MDIFF_EXE
  !define MDIFF_EXE "mdiff.exe"
!endif
!ifndef ZEL_DIFF
  !define ZEL_DIFF "zel.diff"
!endif
!ifndef OUTFILE
  !define OUTFILE "zel-upgrade.exe"
!endif

Unicode true
!include LogicLib.nsh
!ifdef AMD64
  Target amd64-unicode
  InstallDir "$PROGRAMFILES64\Zel"
!else
  Target x86-unicode
  InstallDir "$PROGRAMFILES\Zel"
!endif

Name "Zel upgrade"
OutFile "${OUTFILE}"
; The product folder is under Program Files, which only an administrator may change.
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles

Section "Upgrade zel.exe"
  ; mdiff works on the files of its current folder: zel.exe, zel.diff, and the backup and the run
  ; log that it writes. SetOutPath makes the product folder the current folder of ExecWait too.
  SetOutPath "$INSTDIR"
  File "/oname=zel.diff" "${ZEL_DIFF}"
  ; mdiff itself is needed for this run only; $PLUGINSDIR is removed when the installer ends.
  InitPluginsDir
  File "/oname=$PLUGINSDIR\mdiff.exe" "${MDIFF_EXE}"

  DetailPrint "Upgrading $INSTDIR\zel.exe"
  ; -zelupdate takes three more arguments; none of them names a file.
  ClearErrors
  ExecWait '"$PLUGINSDIR\mdiff.exe" -zelupdate x x x' $0
  ${If} ${Errors}
    StrCpy $0 "not started"
  ${EndIf}
  Delete "$INSTDIR\zel.diff"
  ${If} $0 != "0"
    DetailPrint "mdiff failed: $0"
    MessageBox MB_OK|MB_ICONSTOP "The upgrade of zel.exe failed (mdiff: $0); zel.exe is unchanged.$\r$\n$\r$\nPlease send the run log $INSTDIR\update_log.txt to support." /SD IDOK
    ; The installer's exit status tells the caller what went wrong: mdiff's code, or 2 (the
    ; status of an aborted installer) when mdiff could not be started.
    ${If} $0 != "not started"
      SetErrorLevel $0
    ${EndIf}
    Abort "The upgrade of zel.exe failed (mdiff: $0)."
  ${EndIf}
  DetailPrint "zel.exe is up to date; the previous one is zel.exe.backup"
SectionEnd
