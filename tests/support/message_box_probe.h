// Finds a message box shown by another process, reads it and presses a
// button, as a person would.
#pragma once

#include <cstdint>
#include <string>

struct MessageBoxSeen {
    bool found = false;
    std::wstring caption;
    std::wstring text;
};

// Looks for a dialog box owned by the process (0 = any) with the caption;
// reads its message and presses OK (or its only button).
MessageBoxSeen FindAndDismissMessageBox(uint32_t processId, const std::wstring& caption);

// GBK bytes to UTF-16 through code page 936, for comparing with texts read
// back from windows.
std::wstring FromGbk(const std::string& gbk);
