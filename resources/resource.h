// Resource and control numbers, shared by the resource script and the code.
#pragma once

#define IDD_MAIN 100
#define IDD_PASSWORD 200
#define IDD_VERSION 300
#define IDD_CHECKADDRESS 400

// The settings window (main form)
#define IDC_PAGECONTROL 101
#define IDC_OKBUTTON 102
#define IDC_CANBUTTON 103
#define IDC_VERBTN 104
#define IDC_ZEPHOENDBTN 105
// Tab 接続: 110-129
#define IDC_GROUPBOX2 110
#define IDC_LABEL1 111
#define IDC_POPADRESS 112
#define IDC_LABEL2 113
#define IDC_POPPORT 114
#define IDC_LABEL3 115
#define IDC_POPACOUNT 116
#define IDC_LABEL5 117
#define IDC_PASSEDIT 118
#define IDC_GROUPBOX3 119
#define IDC_LABEL4 120
#define IDC_POPTIME 121
#define IDC_UPDOWN1 122
#define IDC_LABEL6 123
#define IDC_CHECKAPOP 124
#define IDC_LABELTLS 125
#define IDC_COMBOTLS 126
// Tab チェックアドレス: 130-139
#define IDC_GROUPBOX1 130
#define IDC_CHECKBOX2 131
#define IDC_LISTVIEW1 132
#define IDC_CHKNEWBUTTON 133
#define IDC_CHKMODBUTTON 134
#define IDC_CHKDELBUTTON 135
// Tab その他: 140-159
#define IDC_GROUPBOX4 140
#define IDC_CHECKBOX3 141
#define IDC_ALLICONCHECK 142
#define IDC_CHECKBOX1 143
#define IDC_GROUPBOX5 144
#define IDC_TCHECKRECVDO 145
#define IDC_CHECKINBOXMOVE 146
#define IDC_CHECKNOZARI 147
#define IDC_GROUPBOX6 148
#define IDC_LABEL7 149
#define IDC_COMBOACCOUNT 150
#define IDC_ACCOUNTRELOAD 151
#define IDC_CHECKBALLOON 152

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

// The results window
#define IDD_RESULTS 500
#define IDC_RS_STATUS 501
#define IDC_RS_LIST 502
#define IDC_RS_COPY 503
#define IDC_RS_CLOSE 504

// The check-address editor (its OK and Cancel are IDOK and IDCANCEL)
#define IDC_CA_LABEL2 401
#define IDC_CA_COMBOBOX1 402
#define IDC_CA_LABEL1 403
#define IDC_CA_EDIT1 404
