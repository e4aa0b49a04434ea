// The program's DLL command table: which external function each declaration
// index names. WinHttp, WinInet, the two COM calls and the code-page functions
// are reached only through these declarations (bound by name on first call).
#pragma once

#include <cstdint>

namespace web {

enum DllCommand : int32_t {
    kVariantTimeToSystemTime = 0,
    kWinHttpCheckPlatform = 1,
    kWinHttpCrackUrl = 2,
    kWinHttpOpen = 3,
    kWinHttpConnect = 4,
    kWinHttpOpenRequest = 5,
    kWinHttpSetTimeouts = 6,
    kWinHttpSetCredentials = 7,
    kWinHttpCloseHandle = 8,
    kWinHttpSetOption = 9,
    kWinHttpAddRequestHeaders = 10,
    kWinHttpSendRequest = 11,
    kWinHttpReceiveResponse = 12,
    kWinHttpQueryDataAvailable = 13,
    kWinHttpReadData = 14,
    kWinHttpQueryHeaders = 15,
    kCoInitialize = 16,
    kCoUninitialize = 17,
    kMultiByteToWideChar = 18,  // no library named: the standard system libraries are searched
    kWideCharToMultiByte = 19,
    kWideCharToMultiByteAgain = 20,  // the same export declared a second time, bound separately
    kInternetOpenW = 21,
    kInternetCloseHandle = 22,
    kInternetConnectW = 23,
    kHttpOpenRequestW = 24,
    kHttpSendRequestW = 25,
    kHttpSendRequestWAgain = 26,
    kInternetReadFile = 27,
    kHttpQueryInfoW = 28,
    kInternetSetOptionW = 29,
    // Only for a download with a deadline.
    kInternetSetStatusCallbackW = 30,
    kWinHttpSetStatusCallback = 31,
};

constexpr uint32_t kDllCommandCount = 32;

// Library file names and export names by declaration index, as the program
// declares them (handed to the runtime in the program header).
extern const char* const kDllLibraryNames[kDllCommandCount];
extern const char* const kDllExportNames[kDllCommandCount];

}  // namespace web
