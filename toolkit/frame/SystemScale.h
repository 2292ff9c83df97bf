// Where an editor's scale comes from when its host says none: the user's override, else the
// system's setting for the window.
#pragma once

#include <optional>

// ZORNBECK_SCALE from the environment (1 .. 3), when it holds a number.
std::optional<double> scaleOverride();
// The system's scale for a window in `parent` (null: the one a new window would get). X11: the
// resource manager's Xft.dpi / 96, else GDK_SCALE; Windows: the parent window's DPI / 96.
double systemScale(void* parent);

// Xft.dpi / 96 from a resource manager string ("Xft.dpi:\t192\n..."), when it has one.
std::optional<double> scaleFromXResources(const char* resources);
// A factor written as text ("2", "1.5"), limited to 1 .. 3; none for anything else.
std::optional<double> scaleFromText(const char* text);
