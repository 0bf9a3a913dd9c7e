#pragma once

// The plug-in's one error message box: system-modal, no owner, fixed caption.
void ShowError(const wchar_t* text);
