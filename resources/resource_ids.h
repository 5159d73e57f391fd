/* Resource ids shared by the .rc files and the code. */
#pragma once

#define IDD_MENU 102
#define IDB_LOGO 133
#define IDD_LANGUAGE 134
