/* Resource ids shared by the .rc files and the code. */
#pragma once

#define IDD_MENU 102
#define IDB_LOGO 133
#define IDD_LANGUAGE 134
#define IDI_MENU 128
#define IDC_MENU_HAND 129
#define IDC_MENU_ARROW 136
#define IDD_ABOUT 131
#define IDD_SPLASH 155
#define IDB_SPLASH 156
#define IDC_SPLASH_PICTURE 1003
#define IDC_MENU_ARROW_MONO 158
#define IDC_MENU_HAND_MONO 159
