// Resource identifiers of norvane.exe.
#pragma once

// Icons: the program, and the three pictures of the protection state.
#define IDI_QUELLIX 1
#define IDI_IMABL 101
#define IDI_IMDIS 102
#define IDI_IMFLS 103
#define IDB_LOGO 110

// Menus.
#define IDR_MAINMENU 200
#define IDR_TRAYMENU 201

// Menu commands.
#define IDM_EXITM 300
#define IDM_TOOLSOPTIONS 301
#define IDM_TIPS 302
#define IDM_HELPCONTENTS 303
#define IDM_HELPABOUT 304
#define IDM_POPUPLOG 305
#define IDM_SHOW 310
#define IDM_ENABLE 311
#define IDM_ABOUT 312
#define IDM_EXIT 313
#define IDM_TRAYPOPUPLOG 314

// Controls of the main window.
#define IDC_BLOCKEDURLS 400
#define IDC_WHITELIST 401
#define IDC_HIDE 402
#define IDC_QUIT 403
#define IDC_ENABLE 404
#define IDC_FRAME1 405
#define IDC_FRAME2 406

// Controls of the smaller windows; OK and Cancel are IDOK and IDCANCEL.
#define IDC_LABEL1 500
#define IDC_OPEN 501
#define IDC_CHKSTARTUP 510
#define IDC_CHKHIDEONSTART 511
#define IDC_CHKBEEP 512
#define IDC_CHKFLASH 513
#define IDC_CHKLIST 514
#define IDC_CHKICON 515
#define IDC_OPTIONSFRAME 516
#define IDC_CHKNOTICE 517
#define IDC_LINK_MAIL 520
#define IDC_LINK_WEB 521
#define IDC_LOGO 522
#define IDC_TITLE 523
#define IDC_MANAGED 524

// Controls of the pop-up log window.
#define IDC_LOG_LIST 600
#define IDC_LOG_OPEN 601
#define IDC_LOG_ALLOWADDRESS 602
#define IDC_LOG_ALLOWSITE 603
#define IDC_LOG_COPY 604
#define IDC_LOG_CLEAR 605
#define IDC_SITES_LABEL 606
#define IDC_SITES_LIST 607
#define IDC_SITES_REMOVE 608
