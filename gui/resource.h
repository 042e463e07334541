// Resource ids of tamber.exe: templates, controls, commands, bitmaps, icons and strings.
#pragma once

// Icons (icon 1, the program icon, lives with the support library's resources).
#define IDI_STATE_NONE 2
#define IDI_STATE_BUSY 3
#define IDI_STATE_DONE 4
#define IDI_STATE_FAILED 5

// Bitmaps: 1 is the splash and About picture; the toolbar has one bitmap per button.
#define IDB_SPLASH 1
#define IDB_TB_ADDFILE 201
#define IDB_TB_ADDFOLDER 202
#define IDB_TB_REMOVE 203
#define IDB_TB_PLAY 204
#define IDB_TB_STOP 205
#define IDB_TB_SETTINGS 206
#define IDB_TB_CONVERT 207
// The same images at 24, 32 and 48 pixels: the 16-pixel id plus 1000, 2000 or 3000.
#define IDB_TB_SIZE_STEP 1000

// Main window controls.
#define IDC_STATUS 101
#define IDC_FILELIST 102
#define IDC_FORMAT 103
#define IDC_FOLDER 104
#define IDC_BROWSE 105
#define IDC_FOLDER_LABEL 106
#define IDC_FORMAT_LABEL 107
#define IDC_ENCODER_SETTINGS 108

// Main window commands.
#define CM_NOTHING 101
#define CM_ADDFILES 1001
#define CM_REMOVE 1002
#define CM_PLAY 1003
#define CM_SETTINGS 1004
#define CM_CONVERT 1005
#define CM_EXIT 1006
#define CM_STOP 1007
#define CM_SELECTALL 1008
#define CM_EDITTAG 1009
#define CM_EDIT 1010
#define CM_RUNQUORRA 1012
#define CM_RUNFENNIX 1013
#define CM_RUNTALLOWIN 1014
#define CM_RUNMIRABEL 1015
#define CM_ADDFOLDER 1016
#define CM_REMOVEUNSUPPORTED 1017
#define CM_HELPCONTENTS 9001
#define CM_WEBFIRST 9002
#define CM_WEBLAST 9013
#define CM_ABOUT 9020

// Settings pages.
#define IDC_SOUNDDEVICE 101
#define IDC_CONTEXTMENU 102
#define IDC_KEEPFOLDERS 103
#define IDC_JOBS 104
#define IDC_JOBS_LABEL 105
#define IDC_PROMPT 201
#define IDC_OVERWRITE 202
#define IDC_NEVER 203
#define IDC_CANCELALL 204
#define IDC_USECDDB 301
#define IDC_PATTERN_LABEL 302
#define IDC_PATTERN_A 303
#define IDC_PATTERN_B 304
#define IDC_PATTERN_CUSTOM 305
#define IDC_PATTERN_TEXT 306
#define IDC_PATTERN_HELP1 307
#define IDC_PATTERN_HELP2 308
#define IDC_SECURE 309
#define IDC_KEEPDAMAGED 310
#define IDC_READOFFSET_LABEL 311
#define IDC_READOFFSET 312

// Tag editor.
#define IDC_TAG_TITLE 101
#define IDC_TAG_ARTIST 102
#define IDC_TAG_ALBUM 103
#define IDC_TAG_GENRE 104
#define IDC_TAG_TRACK 105
#define IDC_TAG_YEAR 106
#define IDC_TAG_COMMENT 107
#define IDC_TAG_PICTURE 108

// Strings: status-bar rotation texts (menu hints use the command id as string id).
#define IDS_STATUS_FIRST 3000
#define IDS_STATUS_COUNT 5

#define IDR_MAINMENU 100
