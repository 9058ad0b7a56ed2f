; The Windows installer of thermora-logbook: both programs under Program Files, a Start-menu
; entry for the dialog, and an uninstaller that "Apps and Features" lists. scripts/package-windows
; builds it from a folder of the files to ship:
;   makensis -DVERSION=0.1.0 -DSTAGE=<folder> -DOUTFILE=<setup.exe> installer.nsi
; /S installs (and uninstalls) silently.
;
; It touches nothing it did not bring. Pilots pick the simulator's own folder, which holds a
; LICENSE.txt and a README of its own and the pilot's logbooks and flights: our files then go to a
; "Thermora Logbook" folder inside the chosen one, never among another program's. Each install
; records the files it wrote, and the uninstaller removes those alone, and their folder only
; when nothing else is left in it.

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
; The record of the files an install wrote in its folder, one name a line; the uninstaller goes by
; it. Its presence also tells an upgrade that the folder is ours.
!define RECORD "thermora-logbook-files.txt"

; Every file the installer puts in $INSTDIR, once: installed, checked here, recorded, and removed
; by the uninstaller as the record says. The uninstaller itself comes on top.
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
; The files above and the uninstaller: everything an install writes in its folder but the record.
!macro ForEachInstalled MACRO
  !insertmacro ForEachFile ${MACRO}
  !insertmacro ${MACRO} "uninstall.exe"
!macroend
!macro InstallFile NAME
  File "${STAGE}/${NAME}"
!macroend
!macro RecordFile NAME
  FileWrite $0 "${NAME}$\r$\n"
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
!include LogicLib.nsh

!define MUI_ICON "${STAGE}/thermora-logbook.ico"
!define MUI_UNICON "${STAGE}/thermora-logbook.ico"
!define MUI_ABORTWARNING

Var Chosen    ; the folder the pilot chose, on the directory page or with /D=
Var Placement ; where our files go: "chosen", "inside" (its ${PRODUCT} folder) or "refused"
!define INSIDE_TEXT "$Chosen holds another program's files, which stay as they are. \
${PRODUCT} is installed in a folder of its own inside it:$\r$\n$\r$\n$INSTDIR"
!define REFUSED_TEXT "$Chosen holds another program's files, and so does its folder \
$\"${PRODUCT}$\". ${PRODUCT} installs nothing there: choose another folder."

!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup installs ${PRODUCT} in the folder below. In a folder \
that holds another program's files, such as the simulator's, it makes a folder \
$\"${PRODUCT}$\" of its own."
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
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

; Whether a name (top of the stack) is listed in the record of a folder (beneath it): 1 or 0 on
; the stack. No record lists nothing.
!macro DefineIsRecorded UN
Function ${UN}IsRecorded
  Exch $1 ; the name
  Exch
  Exch $0 ; the folder
  Push $2 ; the record
  Push $3 ; a line of it
  Push $4 ; the answer
  StrCpy $4 0
  ClearErrors
  FileOpen $2 "$0\${RECORD}" r
  ${IfNot} ${Errors}
    ${Do}
      FileRead $2 $3
      ${If} ${Errors}
        ${ExitDo}
      ${EndIf}
      ${If} $3 == "$1$\r$\n"
      ${OrIf} $3 == "$1$\n"
      ${OrIf} $3 == "$1"
        StrCpy $4 1
        ${ExitDo}
      ${EndIf}
    ${Loop}
    FileClose $2
  ${EndIf}
  StrCpy $0 $4
  Pop $4
  Pop $3
  Pop $2
  Exch $0
  Exch
  Pop $1
FunctionEnd
!macroend
!insertmacro DefineIsRecorded ""
!insertmacro DefineIsRecorded "un."

; Whether a name (on the stack) is one that an install of ours writes: 1 or 0 on the stack.
!macro MatchInstalled NAME
  ${If} $0 == "${NAME}"
    StrCpy $1 1
  ${EndIf}
!macroend
Function IsInstalledName
  Exch $0
  Push $1
  StrCpy $1 0
  !insertmacro ForEachInstalled MatchInstalled
  StrCpy $0 $1
  Pop $1
  Exch $0
FunctionEnd

; A file of one of our names that the folder's record does not list is another program's.
!macro ClaimedByAnother NAME
  ${If} ${FileExists} "$0\${NAME}"
    Push $0
    Push "${NAME}"
    Call IsRecorded
    Pop $2
    ${If} $2 == 0
      StrCpy $1 foreign
    ${EndIf}
  ${EndIf}
!macroend

; Whether a folder (on the stack) may take our files, "ours" or "foreign" on the stack. It may when
; it is absent or empty; when it holds an install of ours that recorded its files, and no other
; program's file under one of our names; or when it holds nothing but an earlier install of ours
; that kept no record (the uninstaller and the command line at least: a folder with just a
; LICENSE.txt is another program's).
Function FolderState
  Exch $0 ; the folder
  Push $1 ; the answer
  Push $2
  Push $3
  Push $4
  Push $5
  StrCpy $1 ours
  ${If} ${FileExists} "$0\${RECORD}"
    !insertmacro ForEachInstalled ClaimedByAnother
  ${Else}
    StrCpy $4 0 ; entries of the folder
    FindFirst $2 $3 "$0\*"
    ${DoUntil} $3 == ""
      ${If} $3 != "."
      ${AndIf} $3 != ".."
        IntOp $4 $4 + 1
        Push $3
        Call IsInstalledName
        Pop $5
        ${If} $5 == 0
          StrCpy $1 foreign
          ${ExitDo}
        ${EndIf}
      ${EndIf}
      FindNext $2 $3
    ${Loop}
    FindClose $2
    ${If} $4 > 0
      ${IfNot} ${FileExists} "$0\uninstall.exe"
      ${OrIfNot} ${FileExists} "$0\thermora-logbook-cli.exe"
        StrCpy $1 foreign
      ${EndIf}
    ${EndIf}
  ${EndIf}
  StrCpy $0 $1
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Our files go to a folder of their own: $INSTDIR when it may take them, else its ${PRODUCT}
; folder when that may, else nowhere (a second level down would hide them from the pilot). Sets
; $Chosen, $Placement, and $INSTDIR to the folder the files go to.
Function OwnFolder
  Push $0
  StrCpy $Chosen $INSTDIR
  StrCpy $Placement chosen
  Push $INSTDIR
  Call FolderState
  Pop $0
  ${If} $0 != ours
    Push "$INSTDIR\${PRODUCT}"
    Call FolderState
    Pop $0
    ${If} $0 == ours
      StrCpy $INSTDIR "$INSTDIR\${PRODUCT}"
      StrCpy $Placement inside
    ${Else}
      StrCpy $Placement refused
    ${EndIf}
  ${EndIf}
  Pop $0
FunctionEnd

; The pilot learns where the files go before anything is installed, and stays on the page when
; they go nowhere or when the pilot would rather choose again.
Function DirectoryLeave
  Call OwnFolder
  ${If} $Placement == refused
    MessageBox MB_ICONSTOP|MB_OK "${REFUSED_TEXT}"
    Abort
  ${ElseIf} $Placement == inside
    MessageBox MB_ICONINFORMATION|MB_OKCANCEL "${INSIDE_TEXT}" IDOK placed
    StrCpy $INSTDIR $Chosen
    Abort
  placed:
  ${EndIf}
FunctionEnd

Section "Thermora Logbook"
  SectionIn RO
  ; Again here, for /S and /D=, which pass the directory page by. After the page it finds the
  ; folder that the page settled on.
  Call OwnFolder
  ${If} $Placement == refused
    MessageBox MB_ICONSTOP|MB_OK "${REFUSED_TEXT}" /SD IDOK
    SetErrorLevel 2
    Abort "${REFUSED_TEXT}"
  ${ElseIf} $Placement == inside
    DetailPrint "${INSIDE_TEXT}"
  ${EndIf}
  SetOutPath "$INSTDIR"
  ; The record before the files: an install stopped half-way leaves the uninstaller every name
  ; it may have written. None of them is another program's, as the folder was checked above.
  ClearErrors
  FileOpen $0 "$INSTDIR\${RECORD}" w
  ${If} ${Errors}
    SetErrorLevel 2
    Abort "Cannot write $INSTDIR\${RECORD}: nothing is installed."
  ${EndIf}
  FileWrite $0 "; The files that ${PRODUCT} installed in this folder: its uninstaller removes \
these and nothing else.$\r$\n"
  !insertmacro ForEachInstalled RecordFile
  FileClose $0
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

; Only the files that this folder's record lists: a file of the same name that another program
; or the pilot put here is not ours to take, nor is anything else in the folder, the pilot's
; logbooks and flights among them.
!macro RemoveRecordedFile NAME
  Push $INSTDIR
  Push "${NAME}"
  Call un.IsRecorded
  Pop $0
  ${If} $0 == 1
    Delete "$INSTDIR\${NAME}"
  ${EndIf}
!macroend

Section "Uninstall"
  Delete "$SMPROGRAMS\${SHORTCUT}.lnk"
  !insertmacro ForEachInstalled RemoveRecordedFile
  Delete "$INSTDIR\${RECORD}"
  ; Only when empty: files of the pilot's own stay, and so does their folder.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
