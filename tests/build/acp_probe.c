/* Reports what the Wine session gives every test: the ANSI code page, GBK
 * conversion through code page 936, and a font with CJK glyphs.
 * "--exit N" ends with exit code N instead, to check it reaches the caller. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--exit") == 0) {
        ExitProcess((UINT)atoi(argv[2]));
    }

    /* "中" in GBK. */
    static const char kGbk[] = "\xD6\xD0";
    WCHAR wide[4] = {0};
    int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, kGbk, 2, wide, 4);

    const char* glyphs = "no";
    HDC dc = CreateCompatibleDC(NULL);
    if (dc != NULL) {
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        WORD index[2] = {0xFFFF, 0xFFFF};
        if (GetGlyphIndicesW(dc, L"\x4E2D\x6587", 2, index, GGI_MARK_NONEXISTING_GLYPHS) == 2 && index[0] != 0xFFFF &&
            index[1] != 0xFFFF) {
            glyphs = "yes";
        }
        SelectObject(dc, old);
        DeleteDC(dc);
    }

    char line[96];
    snprintf(line, sizeof line, "acp=%u gbk=%04x glyphs=%s", GetACP(), n == 1 ? wide[0] : 0u, glyphs);
    puts(line);
    return 0;
}
