// Where the tests find the build's products.
#pragma once

#include <cstdlib>
#include <string>

inline std::string buildDir() {
    const char* dir = std::getenv("ZORNBECK_BUILD");
    return dir != nullptr ? dir : ".";
}

inline std::string buildPath(const std::string& name) { return buildDir() + "/" + name; }
