; The Windows installer of thermora-logbook: both programs under Program Files, a Start-menu
; entry for the dialog, and an uninstaller that "Apps and Features" lists. scripts/package-windows
; builds it from a folder of the files to ship:
;   makensis -DVERSION=0.1.0 -DSTAGE=<folder> -DOUTFILE=<setup.exe> installer.nsi
; /S installs (and uninstalls) silently.

; A 64-bit installer: it writes to the 64-bit Program Files and registry as a 64-bit program.
; (Debian's default, a 32-bit installer, does nothing at all under a Wine without 32-bit support.)
Target amd64-unicode

!ifndef VERSION | STAGE | OUTFILE
  !error "give -DVERSION=x.y.z -DSTAGE=<folder of the files> -DOUTFILE=<setup.exe>"
!endif

!define PRODUCT "Thermora Logbook"
!define PUBLISHER "The thermora-logbook developers"
!define SHORTCUT "Fix Thermora Logbook"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\thermora-logbook"

; Every file the installer puts in $INSTDIR, once: installed, checked here, removed by the
; uninstaller. The uninstaller itself comes on top.
!macro ForEachFile MACRO
  !insertmacro ${MACRO} "thermora-logbook.exe"
  !insertmacro ${MACRO} "thermora-logbook-cli.exe"
  !insertmacro ${MACRO} "thermora-logbook.ico"
  !insertmacro ${MACRO} "README-windows.txt"
  !insertmacro ${MACRO} "LICENSE.txt"
!macroend
; No installer without every file, the dialog above all.
!macro RequireFile NAME
  !if ! /FileExists "${STAGE}/${NAME}"
    !error "${STAGE}/${NAME} is missing: no installer is built without it"
  !endif
!macroend
!insertmacro ForEachFile RequireFile
!macro InstallFile NAME
  File "${STAGE}/${NAME}"
!macroend
!macro RemoveFile NAME
  Delete "$INSTDIR\${NAME}"
!macroend

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ManifestDPIAware true
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey FileDescription "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey LegalCopyright "MIT License, see LICENSE.txt"

!include MUI2.nsh
!include FileFunc.nsh

!define MUI_ICON "${STAGE}/thermora-logbook.ico"
!define MUI_UNICON "${STAGE}/thermora-logbook.ico"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed.$\r$\n$\r$\nStart it from the Start menu: \
$\"${SHORTCUT}$\". The command line thermora-logbook-cli.exe is in the installation folder."
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README-windows.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; The shortcut for every user of the machine, as the programs are installed for every user.
Function .onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section "Thermora Logbook"
  SectionIn RO
  SetOutPath "$INSTDIR"
  !insertmacro ForEachFile InstallFile
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut starts in $OUTDIR, the installation folder.
  CreateShortcut "$SMPROGRAMS\${SHORTCUT}.lnk" "$INSTDIR\thermora-logbook.exe" "" \
      "$INSTDIR\thermora-logbook.ico" 0 SW_SHOWNORMAL "" \
      "Rebuild the Thermora pilot logbook from the IGC flight recordings"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\thermora-logbook.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; What the installed files take, the uninstaller included, in KB rounded up.
  ${GetSize} "$INSTDIR" "/S=0B /G=0" $0 $1 $2
  IntOp $0 $0 + 1023
  IntOp $0 $0 / 1024
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${SHORTCUT}.lnk"
  !insertmacro ForEachFile RemoveFile
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: files of the pilot's own stay, and so does their folder.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
