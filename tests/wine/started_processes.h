// The programs a test program has started and not yet ended. Whatever way a
// test program ends, its time limit included, none of them is left running
// (a running dozemark.exe would hold its file for the next try).
#pragma once

#include <windows.h>

void TrackStartedProcess(HANDLE process);
void ForgetStartedProcess(HANDLE process);
// Ends every tracked program that is still running; returns how many were.
int EndStartedProcesses();
