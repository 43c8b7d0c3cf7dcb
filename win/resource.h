// Resource identifiers of the Windows program, for the resource script and
// the files that include <windows.h> (the same numbers as templates/dialog_template.h
// and recorder/string_table.h, which the Windows headers' macros would clash with).
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_RECORDER_DIALOG 102
#define IDD_OPTIONS 103
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

// The Options dialog (103), as templates/options_template.h numbers them.
#define IDC_RULE_STILLNESS 1030
#define IDC_RULE_LEVEL 1031
#define IDC_THRESHOLD 1032
#define IDC_AUTOMATIC 1033
#define IDC_LEAD_IN 1034
#define IDC_MIN_TRACK 1035
#define IDC_STOP_AFTER 1036
#define IDC_STOP_SECONDS 1037
#define IDC_TRIM 1038
#define IDC_INPUT 1039
#define IDC_METER_LEFT 1040
#define IDC_METER_RIGHT 1041
#define IDC_CLIP_LIGHT 1042
#define IDC_LEVEL_TEXT 1043
#define IDC_FLOOR_TEXT 1044
#define IDC_KEEP_LIST 1045
#define IDC_OPTIONS_NOTE 1046

// The strings the window procedure loads itself (recorder/string_table.h
// has them all, as constants that these macros would clash with).
#define IDS_ABOUTBOX_ID 101
#define IDS_CHOOSE_FOLDER_ID 108
#define IDS_OPTIONS_ID 116

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
