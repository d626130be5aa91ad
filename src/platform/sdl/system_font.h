#pragma once

// The one font of the SDL backend: the system's default sans-serif face, as
// fontconfig picks it, sized to the 16-pixel cell of the Windows system font.
// Looked up once, on first use, and kept until CloseSystemFont.

typedef struct _TTF_Font TTF_Font;

// Null when no font could be found or opened; text is then simply not drawn.
TTF_Font* SystemFont();
void CloseSystemFont();
