// Resource identifiers of the Windows program, for the resource script and
// the files that include <windows.h> (the same numbers as templates/dialog_template.h
// and recorder/string_table.h, which the Windows headers' macros would clash with).
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_RECORDER_DIALOG 102
#define IDR_MAINFRAME 128
#define IDM_ABOUTBOX 0x0010
#define IDM_OPTIONS 0x0020

#define IDC_MONITOR 1001
#define IDC_DIAG 1002
#define IDC_MPEG_SOURCE 1003
#define IDC_RECORD 1004
#define IDC_STOP 1005
#define IDC_PLAY 1006
#define IDC_RATE_32K 1007
#define IDC_RATE_44K 1008
#define IDC_FILE 1009
#define IDC_RATE_48K 1010
#define IDC_FOLDER 1011
#define IDC_AUTO_TRACK 1012
#define IDC_BROWSE 1013
#define IDC_TRACK_MARK 1014
#define IDC_SILENCE_LENGTH 1015
#define IDC_SILENCE_LEVEL 1016
#define IDC_STOP_TIMER 1017
#define IDC_SILENT_LAMP 1020

// The two strings the window procedure loads itself (recorder/string_table.h
// has them all, as constants that these macros would clash with).
#define IDS_ABOUTBOX_ID 101
#define IDS_CHOOSE_FOLDER_ID 108

#ifdef RC_INVOKED
#define IDS_ABOUTBOX 101
#define IDS_ERR_MEMORY 102
#define IDS_ERR_OPEN 103
#define IDS_ERR_WRITE 104
#define IDS_ERR_RECORD 105
#define IDS_REC_PREFIX 106
#define IDS_SILENT 107
#define IDS_CHOOSE_FOLDER 108
#define IDS_FRAME_DROPPED 109
#define IDS_FRAMES_DROPPED 110
#define IDS_NO_PORT_ACCESS 111
#define IDS_TAKE_STATUS 112
#define IDS_TAKE_SUMMARY 113
#define IDS_LENGTH_VALUE 114
#define IDS_LEVEL_VALUE 115
#define IDS_OPTIONS 116
#define IDS_LEVEL_NOW 117
#endif
