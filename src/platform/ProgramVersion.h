#pragma once

namespace tharvel {

// The program's version, set once by the build (the CMake project version).
class ProgramVersion {
public:
    static const char* text();
};

}  // namespace tharvel
