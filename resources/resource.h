// Numbers of the program's resources and of the main dialog's controls,
// shared by installzelm.rc and the code. Plain macros: the resource
// compiler reads nothing else.
#pragma once

// The main window's icon.
#define IDI_MAIN 1001

// The tree's artwork: item images (closed folder, open folder, package)
// and check-box states, 16 by 16 pixels each.
#define IDB_TREE_IMAGES 2
#define IDB_TREE_STATES 400

// The main dialog and its controls (the exit button is IDCANCEL).
#define IDD_MAIN 2000
#define IDC_PROGRESS 101
#define IDC_DOWNLOAD_INSTALL 102
#define IDC_TREE 103
#define IDC_LOG 104
#define IDC_HELP_TOPIC 105
#define IDC_CANCEL_DOWNLOAD 107
#define IDC_UNINSTALL_UNSELECTED 109
