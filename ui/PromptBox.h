// The program's plain message box: a text, a caption and an OK button, no
// owner window. Modal; returns when the presenter dismisses it. GUI thread
// only.
#pragma once
#include <string>

void ShowPromptBox(const std::wstring& text, const std::wstring& caption);
