// Resource and control numbers, shared by the resource script and the code.
#pragma once

#define IDD_MAIN 100
#define IDD_PASSWORD 200
#define IDD_VERSION 300

// The settings window (main form)
#define IDC_PAGECONTROL 101
#define IDC_OKBUTTON 102
#define IDC_CANBUTTON 103
#define IDC_VERBTN 104
#define IDC_ZEPHOENDBTN 105

// The password prompt
#define IDC_PW_LABEL 201
#define IDC_PW_EDIT 202

// The version window
#define IDC_VER_IMAGE 301
#define IDC_VER_LABEL4 302
#define IDC_VER_LABEL1 303
#define IDC_VER_LABEL5 304
#define IDC_VER_LABEL3 305
#define IDC_VER_LABEL2 306
