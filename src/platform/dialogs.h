#pragma once

#include <string>
#include <string_view>

// A modal box with one OK button and no icon, owned by no window.
void ShowMessageBox(std::u16string_view title, std::u16string_view text);

// A modal one-line prompt. Confirming returns the edit text as it stands
// (possibly empty); cancelling returns the empty text.
std::u16string PromptForText(std::u16string_view title, std::u16string_view message,
                             std::u16string_view defaultText);
