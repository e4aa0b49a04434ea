#include "app/web/dll_declarations.h"

namespace web {

const char* const kDllLibraryNames[kDllCommandCount] = {
    "oleaut32.dll", "Winhttp.dll",  "Winhttp.dll",  "Winhttp.dll",  "Winhttp.dll",  "Winhttp.dll",
    "Winhttp.dll",  "Winhttp.dll",  "Winhttp.dll",  "Winhttp.dll",  "Winhttp.dll",  "Winhttp.dll",
    "Winhttp.dll",  "Winhttp.dll",  "Winhttp.dll",  "Winhttp.dll",  "ole32.dll",    "ole32.dll",
    "",             "kernel32.dll", "kernel32.dll", "wininet.dll",  "wininet.dll",  "wininet.dll",
    "wininet.dll",  "wininet.dll",  "wininet.dll",  "wininet.dll",  "wininet.dll",  "wininet.dll",
    "wininet.dll",  "Winhttp.dll",
};

const char* const kDllExportNames[kDllCommandCount] = {
    "VariantTimeToSystemTime",
    "WinHttpCheckPlatform",
    "WinHttpCrackUrl",
    "WinHttpOpen",
    "WinHttpConnect",
    "WinHttpOpenRequest",
    "WinHttpSetTimeouts",
    "WinHttpSetCredentials",
    "WinHttpCloseHandle",
    "WinHttpSetOption",
    "WinHttpAddRequestHeaders",
    "WinHttpSendRequest",
    "WinHttpReceiveResponse",
    "WinHttpQueryDataAvailable",
    "WinHttpReadData",
    "WinHttpQueryHeaders",
    "CoInitialize",
    "CoUninitialize",
    "MultiByteToWideChar",
    "WideCharToMultiByte",
    "WideCharToMultiByte",
    "InternetOpenW",
    "InternetCloseHandle",
    "InternetConnectW",
    "HttpOpenRequestW",
    "HttpSendRequestW",
    "HttpSendRequestW",
    "InternetReadFile",
    "HttpQueryInfoW",
    "InternetSetOptionW",
    "InternetSetStatusCallbackW",
    "WinHttpSetStatusCallback",
};

}  // namespace web
