// Every resource id named once: shared by the resource scripts and the C++ code.
#pragma once

// Dialog templates.
#define IDD_ABOUT 103
#define IDD_MAIN 131
#define IDD_DISCOVER 145
#define IDD_HELP_WIZARD 147
#define IDD_VERSION_INFORMATION 158
#define IDD_NOTES 159
#define IDD_SPLASH 160
#define IDD_ENTER_BOOTLOAD 161
#define IDD_RACK 162

// Menu and accelerator table of the main window.
#define IDR_MAIN_MENU 110
#define IDR_MAIN_ACCELERATORS 110

// Icons: class icon and the four tray animation frames.
#define IDI_UPDATER 133
#define IDI_TRAY_FRAME_1 137
#define IDI_TRAY_FRAME_2 139
#define IDI_TRAY_FRAME_3 141
#define IDI_TRAY_FRAME_4 143

// Splash and About picture (382 x 192, 24-bit).
#define IDB_SPLASH 146

// Menu commands.
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_UPDATE 32771
#define IDM_UNIT_PREPARATIONS 32772
#define IDM_UPDATE_INSTRUCTIONS 32773
#define IDM_UPDATE_RACK 32774

// Main window controls.
#define IDC_IP_ADDRESS 1000
#define IDC_DISCOVER 1001
#define IDC_PRODUCT_NAME 1002
#define IDC_PROGRESS_BAR 1003
#define IDC_UPDATE 1004
#define IDC_OVERWRITE_GROUP 1005
#define IDC_FACTORY_DEFAULTS 1007
#define IDC_CONNECTION_GROUP 1010
#define IDC_STATUS_LINE 1011
#define IDC_BUILD_VERSION 1014
#define IDC_PARSER_PORT 1020
#define IDC_MORE 1023
#define IDC_FIRMWARE 1030
#define IDC_EXIT_BOOTLOAD 1039
#define IDC_ENTER_BOOTLOAD 1043
#define IDC_APPLICATION_VERSION_LABEL 1049
#define IDC_APPLICATION_VERSION 1051
#define IDC_IP_RADIO 1053
#define IDC_COM_RADIO 1055
#define IDC_COM_PORT_LIST 1057
#define IDC_PARSER_PORT_LABEL 1059

// Discover dialog controls (1049 and 1051 are shared with the main window: same role).
#define IDC_UNIT_LIST 1012
#define IDC_BOOTLOADER_VERSION 1045
#define IDC_BOOTLOADER_VERSION_LABEL 1047
#define IDC_UPDATE_ALL_BOOTLOAD 1090

// Enter Bootload dialog.
#define IDC_PIN 1022

// About box title line.
#define IDC_ABOUT_TITLE 1016

// Help wizard.
#define IDC_HELP_PREVIOUS 1017
#define IDC_HELP_NEXT 1018
#define IDC_HELP_TEXT 1019

// Notes dialog.
#define IDC_NOTES_TEXT 1021

// Version Information dialog: label and value controls by display position.
#define IDC_VERSION_LABEL_1 1031
#define IDC_VERSION_VALUE_1 1033
#define IDC_VERSION_LABEL_2 1034
#define IDC_VERSION_VALUE_2 1046
#define IDC_VERSION_LABEL_3 1036
#define IDC_VERSION_VALUE_3 1048
#define IDC_VERSION_LABEL_4 1038
#define IDC_VERSION_VALUE_4 1050
#define IDC_VERSION_LABEL_5 1040
#define IDC_VERSION_VALUE_5 1052
#define IDC_VERSION_LABEL_6 1044
#define IDC_VERSION_VALUE_6 1054

// Rack window.
#define IDC_RACK_UNITS 1060
#define IDC_RACK_FACTORY_DEFAULTS 1061
#define IDC_RACK_FIRMWARE 1062
#define IDC_RACK_ALLOW_OLDER 1063
#define IDC_RACK_PARALLEL 1064
#define IDC_RACK_MAX_FAILURES 1065
#define IDC_RACK_UPDATE_ALL 1066
#define IDC_RACK_STOP 1067
#define IDC_RACK_RETRY 1068
#define IDC_RACK_REPORT 1069
#define IDC_RACK_ROWS 1070
#define IDC_RACK_SUMMARY 1071
#define IDC_RACK_RECEIPTS 1072
#define IDC_RACK_UNITS_LABEL 1073
#define IDC_RACK_ROWS_LABEL 1074
#define IDC_RACK_PARALLEL_LABEL 1075
#define IDC_RACK_MAX_FAILURES_LABEL 1076

// Unnamed static controls in templates.
#define IDC_STATIC_TEXT (-1)
