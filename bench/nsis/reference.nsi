; Reference installer for the side-by-side timing: a typical NSIS wizard with the pages our
; installer has (welcome, licence accepted by radio button, destination folder, finish;
; NSIS adds its progress page, which moves on to the finish page by itself) that installs
; one file, writes its uninstaller and registers it, like ours does.
;   makensis -DPAYLOAD=<file> -DOUTFILE=<setup.exe> [-DCOMPRESSOR=zlib|lzma] reference.nsi
;   makensis -DEMPTY -DOUTFILE=<stub.exe> reference.nsi   (no payload: the bare stub)
; 64-bit Unicode stub, like the installer it is compared with (and the test machines' Wine
; has no 32-bit side).
Target amd64-unicode
Unicode true
!include "MUI2.nsh"

!ifndef EMPTY
  !ifndef PAYLOAD
    !error "define PAYLOAD (the file to install) or EMPTY"
  !endif
!endif
!ifndef OUTFILE
  !define OUTFILE "reference-setup.exe"
!endif
; zlib (deflate, the algorithm our installer uses) unless told otherwise.
!ifndef COMPRESSOR
  !define COMPRESSOR "zlib"
!endif

Name "Launch Bench Reference"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\LaunchBenchReference"
; Our installer asks for administrator rights too (its default folder is the Windows one).
RequestExecutionLevel admin
SetCompressor ${COMPRESSOR}

!define MUI_LICENSEPAGE_RADIOBUTTONS
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "license.txt" ; makensis works in the script's folder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\LaunchBenchReference"

Section "Payload"
  SetOutPath "$INSTDIR"
!ifndef EMPTY
  File "/oname=BenchSaver.scr" "${PAYLOAD}"
!endif
  WriteUninstaller "$INSTDIR\BenchSaverUninst.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Launch Bench Reference"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\BenchSaverUninst.exe"'
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\BenchSaver.scr"
  Delete "$INSTDIR\BenchSaverUninst.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
