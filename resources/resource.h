// Names for every resource and control id of the program. Kept free of
// <windows.h> so that portable code can name pictures too; the resource
// script and the dialogs include it.
#pragma once

// Dialogs
#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDD_SETTINGS 129
#define IDD_LED_WARNING 151
#define IDD_SELECT_PRINTER 153

// Strings
#define IDS_ABOUTBOX 101

// Icon
#define IDR_MAINFRAME 128

// Bitmaps: button faces, printer pictures, the LED notice
#define IDB_BUTTON_NORMAL 139
#define IDB_BUTTON_PRESSED 140
#define IDB_BUTTON_DISABLED 141
#define IDB_PRINTER_TQ110 142
#define IDB_PRINTER_TQ130 143
#define IDB_LED_WARNING 150
#define IDB_PRINTER_TQ140F 156
#define IDB_PRINTER_TQ120 157
#define IDB_PRINTER_TQ140 160

// System menu entry of the main window
#define IDM_ABOUTBOX 0x0010

// Unnamed labels and group boxes. The templates are DIALOGEX, which keep
// a control id in 32 bits, so GetDlgCtrlID reports -1 for them (a plain
// DIALOG template would give 65535).
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Main window (Exit is IDOK)
#define IDC_DOWNLOAD 1002
#define IDC_SELECT_FILE 1003
#define IDC_HELP_TEXT 1004
#define IDC_TITLE_STRIP 1011
#define IDC_CONFIGURATION 1014
#define IDC_PRINTER_PICTURE 1017

// Connection settings dialog
#define IDC_PORT_LIST 1000
#define IDC_BAUD_LIST 1001
#define IDC_DATABITS_LIST 1002
#define IDC_PARITY_LIST 1003
#define IDC_STOPBIT_LIST 1004
#define IDC_HANDSHAKE_LIST 1005
#define IDC_KIND_COM 1006
#define IDC_KIND_LPT 1007
#define IDC_KIND_USB 1008
#define IDC_SETTINGS_OK 1009
#define IDC_KIND_GROUP 1015
#define IDC_SETTINGS_CANCEL 1016
#define IDC_KIND_ETHERNET 1019
#define IDC_IP_ADDRESS 1020
#define IDC_TCP_PORT 1021
#define IDC_BAUD_LABEL 1022
#define IDC_PORT_LABEL 1023

// Printer model selection
#define IDC_MODEL_LIST 1018

// LED notice
#define IDC_LED_OK 1016
