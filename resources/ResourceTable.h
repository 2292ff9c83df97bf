// The module's resources: skin images, the user guide and the linked font, found by number and
// type as on Windows. On Linux they are a table linked into the module at build time.
#pragma once

#include <cstddef>

// Liberation Sans (metric-compatible with Arial), taken from the installed fonts at build time.
constexpr int kResourceFontRegular = 900;
constexpr int kResourceFontBold = 901;

// Resource `number` of `type` ("PNG", "txt", "TTF"); false when the module has none.
bool findResource(int number, const char* type, const unsigned char** data, std::size_t* size);
