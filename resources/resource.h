// Resource and control identifiers, shared by the code and dozemark.rc.
#pragma once

#define IDD_MAIN 103
#define IDI_DOZEMARK 107
#define IDI_DOZEMARK_SMALL 108

#define IDC_RUN 1000
#define IDC_CALL_SETPROCESSINFORMATION 1001
#define IDC_CALL_TIMEBEGINPERIOD 1002
#define IDC_SECONDS 1003
#define IDC_MINIMIZE 1004
#define IDC_HIDE 1005
#define IDC_SEPARATE_THREAD 1006
