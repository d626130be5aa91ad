#include "platform/dialogs.h"

#include <windows.h>

#include "prompt_dialog_ids.h"
#include "wide_text.h"

namespace {

struct Prompt {
    std::wstring title;
    std::wstring message;
    std::wstring defaultText;
    std::wstring answer;
};

INT_PTR CALLBACK PromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        auto* prompt = reinterpret_cast<Prompt*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetWindowTextW(dialog, prompt->title.c_str());
        SetDlgItemTextW(dialog, IDC_PROMPT_MESSAGE, prompt->message.c_str());
        HWND edit = GetDlgItem(dialog, IDC_PROMPT_TEXT);
        SetWindowTextW(edit, prompt->defaultText.c_str());
        // The user types straight on after the default text.
        SetFocus(edit);
        const auto end = static_cast<WPARAM>(prompt->defaultText.size());
        SendMessageW(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
        return FALSE; // the focus is set already
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            auto* prompt = reinterpret_cast<Prompt*>(GetWindowLongPtrW(dialog, DWLP_USER));
            HWND edit = GetDlgItem(dialog, IDC_PROMPT_TEXT);
            const int length = GetWindowTextLengthW(edit);
            prompt->answer.assign(static_cast<size_t>(length) + 1, L'\0');
            const int copied = GetWindowTextW(edit, prompt->answer.data(), length + 1);
            prompt->answer.resize(static_cast<size_t>(copied));
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        // The close box and Close on the system menu cancel, like Escape.
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default: return FALSE;
    }
}

} // namespace

void ShowMessageBox(std::u16string_view title, std::u16string_view text) {
    const std::wstring wideTitle = ToWide(title);
    const std::wstring wideText = ToWide(text);
    MessageBoxW(nullptr, wideText.c_str(), wideTitle.c_str(), 0);
}

std::u16string PromptForText(std::u16string_view title, std::u16string_view message,
                             std::u16string_view defaultText) {
    Prompt prompt{ToWide(title), ToWide(message), ToWide(defaultText), {}};
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROMPT), nullptr,
                                           PromptProc, reinterpret_cast<LPARAM>(&prompt));
    // Cancelling, or a dialog that never came up, gives the empty text.
    if (result != IDOK) return {};
    return FromWide(prompt.answer);
}
