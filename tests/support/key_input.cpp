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
