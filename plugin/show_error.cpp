#include "show_error.h"

#include <windows.h>

void ShowError(const wchar_t* text)
{
    MessageBoxW(nullptr, text, L"Kavrinリサイズフィルタ", MB_SYSTEMMODAL | MB_ICONERROR);
}
