// The ids of the window's resources: the dialogs, their controls, the icon,
// the strings and the system menu command. Shared by the resource scripts
// and the C++ views, so it holds #define lines only.
#pragma once

// Dialogs.
#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_COMPUTER_NAME 103
#define IDD_OBJECTS 105
#define IDD_OBJECT_EDIT 106
#define IDD_MASKS 132
#define IDD_MASK_EDIT 133

// The program's icon, and the text of the system menu item of the about box.
#define IDI_KELDAR 128
#define IDS_ABOUT 101
// The system menu command of the about box.
#define IDM_ABOUT 16

// The buttons every dialog shares.
#define IDC_OK 1
#define IDC_CANCEL 2

// Main window (IDD_MAIN).
#define IDC_MAIN_LOG 1006
#define IDC_MAIN_MASKS 9
#define IDC_MAIN_OBJECTS 8
#define IDC_MAIN_COMPARE 6
#define IDC_MAIN_SYNCHRONIZE 7
#define IDC_MAIN_EXIT 2  // Выход / Стоп: the dialog's cancel command, so Esc too
#define IDC_MAIN_PROGRESS 1026
#define IDC_MAIN_STATUS 1007

// About box (IDD_ABOUT): an OK button and unnamed statics only.

// Computer name (IDD_COMPUTER_NAME).
#define IDC_NAME_PROMPT 1001
#define IDC_NAME_EDIT 1000

// Objects (IDD_OBJECTS).
#define IDC_OBJECTS_GRID 1005
#define IDC_OBJECTS_INFO 1022
#define IDC_OBJECTS_COMPARE 1030
#define IDC_OBJECTS_COPY 1032
#define IDC_OBJECTS_REPLACE 1031
#define IDC_OBJECTS_ETALON 1034
#define IDC_OBJECTS_FROM_CARRIER 1035
#define IDC_OBJECTS_STATE 1033
#define IDC_OBJECTS_ADD 3
#define IDC_OBJECTS_EDIT 4
#define IDC_OBJECTS_DELETE 5
#define IDC_OBJECTS_CLEAR 6
#define IDC_OBJECTS_INDEX 1019
#define IDC_OBJECTS_ID 1021

// Object edit (IDD_OBJECT_EDIT): per computer 0..3 its name, path and two
// permissions.
#define IDC_EDIT_NAME0 1014
#define IDC_EDIT_NAME1 1016
#define IDC_EDIT_NAME2 1017
#define IDC_EDIT_NAME3 1018
#define IDC_EDIT_MARKER 1019
#define IDC_EDIT_FROM_CARRIER0 1035
#define IDC_EDIT_FROM_CARRIER1 1037
#define IDC_EDIT_FROM_CARRIER2 1038
#define IDC_EDIT_FROM_CARRIER3 1039
#define IDC_EDIT_TO_CARRIER0 1036
#define IDC_EDIT_TO_CARRIER1 1040
#define IDC_EDIT_TO_CARRIER2 1041
#define IDC_EDIT_TO_CARRIER3 1042
#define IDC_EDIT_PATH0 1010
#define IDC_EDIT_PATH1 1011
#define IDC_EDIT_PATH2 1012
#define IDC_EDIT_PATH3 1013
#define IDC_EDIT_ID 1009
#define IDC_EDIT_NESTED 1015
#define IDC_EDIT_BROWSE 1020

// Masks (IDD_MASKS).
#define IDC_MASKS_GRID 1005
#define IDC_MASKS_INFO 1022
#define IDC_MASKS_INDEX 1019
#define IDC_MASKS_INSERT 3
#define IDC_MASKS_EDIT 4
#define IDC_MASKS_DELETE 5

// Mask edit (IDD_MASK_EDIT).
#define IDC_MASK_COPY 1024
#define IDC_MASK_DELETE 1027
#define IDC_MASK_ASK_REPLACE 1025
#define IDC_MASK_ASK_DELETE 1026
#define IDC_MASK_PATTERN 1023
