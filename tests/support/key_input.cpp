#include "tests/support/key_input.h"

#include <vector>

void SendKeyChord(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> input;
    for (WORD k : keys) {
        INPUT down{};
        down.type = INPUT_KEYBOARD;
        down.ki.wVk = k;
        input.push_back(down);
    }
    for (size_t i = keys.size(); i-- > 0;) {
        INPUT up = input[i];
        up.ki.dwFlags = KEYEVENTF_KEYUP;
        input.push_back(up);
    }
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

void HoldKey(WORD key, int repeats)
{
    INPUT down{};
    down.type = INPUT_KEYBOARD;
    down.ki.wVk = key;
    std::vector<INPUT> input(static_cast<size_t>(repeats) + 1, down);
    INPUT up = down;
    up.ki.dwFlags = KEYEVENTF_KEYUP;
    input.push_back(up);
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}
