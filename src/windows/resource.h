#pragma once

// Identifiers shared by the resource script and the windows that it lays out. Plain #defines:
// windres reads this file too.

#define IDI_APP 1

#define IDD_MAIN 100
#define IDD_PROGRESS 101
#define IDD_SKIPPED 102
#define IDD_RESTORE 103
#define IDD_DETAILS 104

// The main form. "Generate Logbook" is IDOK, so that Enter anywhere in the form presses it.
#define IDC_PILOT_NAME 1001
#define IDC_IGC_FILES 1002
#define IDC_LOGBOOK_FILE 1003
#define IDC_MIN_TIME 1004
#define IDC_MIN_TIME_SPIN 1005
#define IDC_BROWSE_IGC 1006
#define IDC_BROWSE_LOGBOOK 1007
#define IDC_EXIT 1008
#define IDC_GRIP 1009
#define IDC_PILOT_LABEL 1010
#define IDC_IGC_LABEL 1011
#define IDC_LOGBOOK_LABEL 1012
#define IDC_MIN_TIME_LABEL 1013
#define IDC_RESTORE 1014
#define IDC_INSTALLATION 1015 // the installation found, and where the presets point

// The progress window; its "Cancel" is IDCANCEL, as Escape and the close button are.
#define IDC_PROGRESS_TEXT 1101
#define IDC_PROGRESS_BAR 1102

// The skipped files; "Close" is IDCANCEL.
#define IDC_SKIPPED_COUNTS 1201
#define IDC_SKIPPED_LIST 1202
#define IDC_COPY 1203
#define IDC_SKIPPED_GRIP 1204

// The earlier logbooks to restore; "Restore" is IDOK, "Cancel" IDCANCEL.
#define IDC_RESTORE_INTRO 1301
#define IDC_RESTORE_LIST 1302
#define IDC_RESTORE_GRIP 1303

// A question's details; "Close" is IDCANCEL.
#define IDC_DETAILS_TEXT 1401
#define IDC_DETAILS_GRIP 1402
