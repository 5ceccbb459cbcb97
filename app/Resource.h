#pragma once
// Control, menu and dialog ids of the main window, the About box and the
// result dialog. Menu commands use wx's own ids (Open for File > Load, Save,
// Exit, About): wx refuses ids of 32768 and above.

#include <wx/defs.h>

// Dialog templates
#define IDD_ABOUTBOX          100
#define IDD_QVLUTILITY_DIALOG 102
#define IDR_MAINFRAME         128
#define IDR_MENU1             130
#define IDD_WRITE_RESULT      137

// WWAN1
#define IDC_STATIC_APN1  1000
#define IDC_STATIC_USER1 1001
#define IDC_STATIC_PW1   1002
#define IDC_STATIC_AUTH1 1003
#define IDC_STATIC_PDP1  1004
#define IDC_EDIT_APN1    1005
#define IDC_EDIT_USER1   1006
#define IDC_EDIT_PW1     1007
#define IDC_COMBO_AUTH1  1008
#define IDC_COMBO_PDP1   1009
#define IDC_LOADPRESET1  1010
#define IDC_SAVEPRESET1  1011
// WWAN2
#define IDC_STATIC_APN2  1012
#define IDC_STATIC_USER2 1013
#define IDC_STATIC_PW2   1014
#define IDC_STATIC_AUTH2 1015
#define IDC_STATIC_PDP2  1016
#define IDC_LOADPRESET2  1017
#define IDC_SAVEPRESET2  1018
#define IDC_EDIT_APN2    1019
#define IDC_EDIT_USER2   1020
#define IDC_EDIT_PW2     1021
#define IDC_COMBO_AUTH2  1022
#define IDC_COMBO_PDP2   1023
// WWAN3
#define IDC_STATIC_APN3  1024
#define IDC_STATIC_USER3 1025
#define IDC_STATIC_PW3   1026
#define IDC_STATIC_AUTH3 1027
#define IDC_STATIC_PDP3  1028
#define IDC_LOADPRESET3  1029
#define IDC_SAVEPRESET3  1030
#define IDC_EDIT_APN3    1031
#define IDC_EDIT_USER3   1032
#define IDC_EDIT_PW3     1033
#define IDC_COMBO_AUTH3  1034
#define IDC_COMBO_PDP3   1035
// WWAN4
#define IDC_STATIC_APN4  1036
#define IDC_STATIC_USER4 1037
#define IDC_STATIC_PW4   1038
#define IDC_STATIC_AUTH4 1039
#define IDC_STATIC_PDP4  1040
#define IDC_LOADPRESET4  1041
#define IDC_SAVEPRESET4  1042
#define IDC_EDIT_APN4    1043
#define IDC_EDIT_USER4   1044
#define IDC_EDIT_PW4     1045
#define IDC_COMBO_AUTH4  1046
#define IDC_COMBO_PDP4   1047
// Unit panel
#define IDC_EDIT_MCUID  1048
#define IDC_EDIT_FWVER  1049
#define IDC_RELOAD      1050
#define IDC_WRITE       1051
#define IDC_EDIT_STATUS 1052
// Wi-Fi
#define IDC_LOADPRESET5       1053
#define IDC_SAVEPRESET5       1054
#define IDC_STATIC_SSID       1055
#define IDC_STATIC_SECURITY   1056
#define IDC_EDIT_SSID         1057
#define IDC_COMBO_SECURITY    1058
#define IDC_EDIT_PASSPHRASE   1059
#define IDC_STATIC_PASSPHRASE 1060
#define IDC_EDIT_PORT         1061
#define IDC_ERASE             1062
#define IDC_STATIC_KEYFORMAT  1063
#define IDC_COMBO_KEYFORMAT   1064
#define IDC_EDIT_SERIAL       1065 // also the About box's version line
#define IDC_STATIC_VERSION    1065
// Hidden check boxes whose ids name the File > Load group check buttons
#define IDC_CHECK1 1068
#define IDC_CHECK2 1069
#define IDC_CHECK3 1070
#define IDC_CHECK4 1071
#define IDC_CHECK5 1072
// Group boxes
#define IDC_GROUP_WWAN1 1073
#define IDC_GROUP_WWAN2 1074
#define IDC_GROUP_WWAN3 1075
#define IDC_GROUP_WWAN4 1076
#define IDC_GROUP_WIFI  1077
// Result dialog lines
#define IDC_STATIC_LINE1 1078
#define IDC_STATIC_LINE2 1079
#define IDC_STATIC_LINE3 1080

// Menu commands
#define ID_FILE_LOAD   wxID_OPEN
#define ID_FILE_SAVE   wxID_SAVE
#define ID_FILE_EXIT   wxID_EXIT
#define ID_ABOUT_ABOUT wxID_ABOUT

// Timer id of the connection supervisor
#define IDT_SUPERVISOR 1

// Lost-link notification the receive thread posts when it ends: a
// wxThreadEvent with this id.
#define ID_CLOSE_QVL_SERIAL 4097
// End of a connection attempt, which runs on a thread of its own: a
// wxThreadEvent with this id, its int the attempt's outcome.
#define ID_CONNECT_DONE 4098
// A port the system announced, from the port monitor's thread: a
// wxThreadEvent with this id, its string the port's name.
#define ID_PORT_ARRIVED 4099
