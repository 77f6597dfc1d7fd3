// The process-status functions, looked up by name in "psapi" on each call.
#pragma once
#include <windows.h>

BOOL PsapiEnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded);
DWORD PsapiGetModuleBaseName(HANDLE hProcess, HMODULE hModule, LPSTR lpBaseName, DWORD nSize);
DWORD PsapiGetModuleFileNameEx(HANDLE hProcess, HMODULE hModule, LPSTR lpFilename, DWORD nSize);
