; Reference installer for the launch-time comparison: a typical NSIS wizard (welcome,
; licence, directory, progress and finish pages, Modern UI 2) that installs one file.
; makensis -DPAYLOAD=<file> -DOUTFILE=<setup.exe> reference.nsi
; 64-bit Unicode stub, like the installer it is compared with (and the test machines' Wine
; has no 32-bit side).
Target amd64-unicode
!include "MUI2.nsh"

!ifndef PAYLOAD
  !error "define PAYLOAD (the file to install)"
!endif
!ifndef OUTFILE
  !define OUTFILE "reference-setup.exe"
!endif

Name "Launch Bench Reference"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\LaunchBenchReference"
RequestExecutionLevel user
SetCompressor /SOLID lzma

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "license.txt" ; makensis works in the script's folder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_LANGUAGE "Japanese"

Section "Payload"
  SetOutPath "$INSTDIR"
  File "/oname=payload.bin" "${PAYLOAD}"
SectionEnd
