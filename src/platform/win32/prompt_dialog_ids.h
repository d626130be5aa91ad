#pragma once

// Shared by prompt_dialog.rc and dialogs.cpp.
#define IDD_PROMPT 100
#define IDC_PROMPT_MESSAGE 101
#define IDC_PROMPT_TEXT 102
